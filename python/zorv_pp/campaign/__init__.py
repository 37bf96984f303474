"""Campaign files and the batch analysis of many state points."""

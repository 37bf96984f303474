"""What an analysis leaves on disk: results files, figures and the report page."""

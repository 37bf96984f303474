"""From a run's tables to estimates: per-run fits, the first RDF shell, replica combination and the values
derived from them (Yeh–Hummer, Nernst–Einstein, Haven)."""

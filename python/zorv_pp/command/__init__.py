"""The subcommands of ``zorv-pp`` and the options they share; :mod:`zorv_pp.cli` assembles them."""

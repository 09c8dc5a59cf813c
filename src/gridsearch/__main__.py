"""`python -m gridsearch`: the command line (see gridsearch._cli)."""

from ._cli import main

if __name__ == "__main__":
    raise SystemExit(main())

"""`python -m tessmar` runs the `tessmar` command."""

import sys

from tessmar.cli import main

if __name__ == "__main__":
    sys.exit(main())

"""`python -m folioscan`: the command line, which lives in folioscan.cli."""

import sys

from .cli import Failure, build_parser, convert_file, main, write_text

__all__ = ["Failure", "build_parser", "convert_file", "main", "write_text"]

if __name__ == "__main__":
    sys.exit(main())

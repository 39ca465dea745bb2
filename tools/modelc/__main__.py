"""Runs the model compiler: `python3 tools/modelc ARGS`, or `python3 -m modelc
ARGS` from tools/."""

import os
import sys

if not __package__:
    # Run as a folder: its parent, not the folder itself, goes on the path, so
    # that the package's modules are found as the package's and shadow nothing.
    sys.path[0] = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

from modelc.driver import main  # noqa: E402

sys.exit(main(sys.argv))

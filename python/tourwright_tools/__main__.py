"""`python -m tourwright_tools`: the `tourwright` command."""

import sys

from .cli import command

sys.exit(command())

"""`python -m tourwright_tools`: the `tourwright` command."""

import sys

from .command.cli import command

sys.exit(command())

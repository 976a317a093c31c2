"""What the command's two modes share: how a mistake of its user ends it, how text from files
and names is shown on a terminal, and what a cut-short search tells its user."""

from __future__ import annotations

from ..solve.options import SolveOptions

# The exit status of a tour whose search ended before its first descent finished: a tour, but
# not one a script should take for a plan.
CUT_SHORT_STATUS = 3


class UserError(Exception):
    """A mistake in the command line or its files: one line, exit status 2."""


def shown(text: str, keep_lines: bool = False) -> str:
    """`text` for a terminal: control and other invisible characters (an escape sequence in a
    name, a file name) written as Python escapes ('\\x1b'); line breaks kept on request."""
    if text.isprintable():
        return text
    return "".join(
        character
        if character.isprintable() or (keep_lines and character == "\n")
        else character.encode("unicode_escape").decode("ascii")
        for character in text
    )


def cut_short_advice(options: SolveOptions) -> str:
    """What a cut-short search tells its user, and what to do."""
    limit = (
        "the search was stopped"
        if options.time_limit is None
        else (f"the time limit of {options.time_limit:g} s ended the search")
    )
    return (
        f"{limit} before its first descent finished, so the tour is only partly improved; "
        "give a longer --time-limit, or none for the default search"
    )

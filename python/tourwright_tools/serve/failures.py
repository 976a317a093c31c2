"""How a request fails: one status and the one-line message the command would print."""

from __future__ import annotations

import dataclasses

from ..solve.options import SolveOptions
from ..solve.solving import SolveError

# Messages about these name the option first ("time_limit: ..."): invalid options, 422.
OPTION_NAMES = frozenset(field.name for field in dataclasses.fields(SolveOptions)) | {"options"}


class RequestError(Exception):
    def __init__(self, status: int, message: str) -> None:
        super().__init__(message)
        self.status = status
        self.message = message


def refused(error: Exception) -> RequestError:
    """A fault of the input found by the reader or the search: 422 for an option, else 400."""
    message = message_of(error)
    if isinstance(error, SolveError):
        return RequestError(400, message)
    named = message.partition(":")[0].partition("[")[0]
    return RequestError(422 if named in OPTION_NAMES else 400, message)


def message_of(error: Exception) -> str:
    """The first line of the error's message (a value out of range says so, as the command)."""
    if isinstance(error, OverflowError):
        return f"a value out of range: {error}"
    text = str(error) or type(error).__name__
    return text.splitlines()[0]

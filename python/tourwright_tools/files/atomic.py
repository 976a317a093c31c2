"""Writing a file whole or not at all: a failed or interrupted write never leaves half a file."""

from __future__ import annotations

import os
import secrets
import stat
from typing import Union

PathLike = Union[str, "os.PathLike[str]"]


def write_text_atomically(path: PathLike, text: str, *, follow_links: bool = True) -> None:
    """Write `text` (UTF-8) to `path`: into a new file beside it, flushed to disk, that then
    takes the place of `path` in one step. On failure `path` is as it was and no file is left.
    A link is followed (its target is replaced); a path that is no regular file (a terminal,
    a pipe such as /dev/stdout) cannot be replaced and is written directly.

    With `follow_links=False` the new file takes the place of whatever has the name `path` (a
    link itself, not its target; a pipe): the text always lands as a regular file at `path`."""
    if not follow_links:
        _replace(os.path.abspath(path), text)
        return
    target = os.path.realpath(path)
    try:
        regular = stat.S_ISREG(os.stat(target).st_mode)
    except FileNotFoundError:
        regular = True
    if not regular:
        with open(target, "w", encoding="utf-8") as file:
            file.write(text)
        return
    _replace(target, text)


def _replace(target: str, text: str) -> None:
    descriptor, temporary = _new_file_beside(target)
    try:
        with open(descriptor, "w", encoding="utf-8") as file:
            file.write(text)
            file.flush()
            os.fsync(file.fileno())
        os.replace(temporary, target)
    except BaseException:
        os.unlink(temporary)
        raise


def _new_file_beside(target: str) -> tuple[int, str]:
    """A new, empty file in the folder of `target` (the same file system, so that it can be
    renamed over it), created with the permissions the process gives new files."""
    folder, name = os.path.split(target)
    while True:
        temporary = os.path.join(folder, f".{name}.{secrets.token_hex(6)}.tmp")
        try:
            return os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666), temporary
        except FileExistsError:
            continue

"""Files written whole or not at all: a reader (or a run restarted after a crash) never sees a
half-written file."""
from __future__ import annotations

import contextlib
import os
import secrets
from typing import Union

PathLike = Union[str, "os.PathLike[str]"]


def write_text_atomically(path: PathLike, text: str) -> None:
    """Write `text` (UTF-8) to `path` through a temporary file in the same folder, flushed to
    disk and then renamed over `path`; on any failure the temporary file is removed."""
    target = os.fspath(path)
    folder, name = os.path.split(target)
    temporary = os.path.join(folder, f".{name}.{secrets.token_hex(6)}.tmp")
    # Created like an ordinary file (mode 0o666 less the umask), never over an existing one.
    descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
    try:
        with open(descriptor, "w", encoding="utf-8", newline="") as file:
            file.write(text)
            file.flush()
            os.fsync(file.fileno())
        os.replace(temporary, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise

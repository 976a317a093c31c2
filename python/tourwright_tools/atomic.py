"""Writing an output file whole or not at all, so that a failure never leaves half a file."""
from __future__ import annotations

import os
import secrets
from typing import Union


def write_text_atomically(path: Union[str, os.PathLike[str]], text: str) -> None:
    """Write `text` (UTF-8) to `path` through a temporary file in the same folder, flushed to
    disk and renamed over the target; on any failure the temporary file is removed and the
    target left as it was. A new file gets the permissions the umask allows, as with open()."""
    folder, name = os.path.split(os.path.abspath(path))
    temporary = os.path.join(folder, f".{name}.{secrets.token_hex(6)}.tmp")
    descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666)
    try:
        with os.fdopen(descriptor, "w", encoding="utf-8", newline="") as file:
            file.write(text)
            file.flush()
            os.fsync(file.fileno())
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise

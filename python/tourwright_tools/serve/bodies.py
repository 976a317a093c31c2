"""A request's body: read from the stream within the size limit and the time allowed, before
any of it is parsed, then decoded."""

from __future__ import annotations

import asyncio
import json
import time
from collections.abc import AsyncIterator
from typing import Any

from starlette.requests import ClientDisconnect, Request

from .failures import RequestError


async def body_text(request: Request, limit: int, deadline: float) -> str:
    """The body as text; 413 beyond `limit` bytes, 408 when not all of it has come by
    `deadline` (a `time.monotonic()` instant)."""
    length = request.headers.get("content-length", "")
    if length.isdigit() and int(length) > limit:
        raise _too_large(limit)
    chunks: list[bytes] = []
    size = 0
    stream: AsyncIterator[bytes] = request.stream().__aiter__()
    while True:
        left = deadline - time.monotonic()
        try:
            if left <= 0:
                raise asyncio.TimeoutError
            chunk = await asyncio.wait_for(stream.__anext__(), left)
        except StopAsyncIteration:
            break
        except asyncio.TimeoutError:
            raise RequestError(408, "the request's body did not arrive in time") from None
        except ClientDisconnect:
            raise RequestError(400, "the client went away before sending the body") from None
        size += len(chunk)
        if size > limit:
            raise _too_large(limit)
        chunks.append(chunk)
    try:
        return b"".join(chunks).decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise RequestError(400, f"not UTF-8 text ({error.reason})") from None


def _too_large(limit: int) -> RequestError:
    return RequestError(413, f"the body is larger than {limit} bytes, the most this service reads")


def json_object(text: str) -> dict[str, Any]:
    """A body that is one JSON object."""
    try:
        data = json.loads(text)
    except json.JSONDecodeError as error:
        raise RequestError(400, f"not valid JSON: {error.msg} (line {error.lineno})") from None
    except RecursionError:
        raise RequestError(400, "lists or objects nested too deeply") from None
    except ValueError as error:  # an integer of thousands of digits
        raise RequestError(400, f"not valid JSON: {error}") from None
    if not isinstance(data, dict):
        raise RequestError(400, f"expected a JSON object, found {type(data).__name__}")
    return data

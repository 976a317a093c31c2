"""Text made safe for SVG and HTML documents, whatever characters a name or a file name holds."""

from __future__ import annotations

import re
from xml.sax.saxutils import escape as _escape

# Characters XML 1.0 cannot hold at all (not even as references), and lone surrogates, which no
# encoding can write.
_UNFIT = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ud800-\udfff\ufffe\uffff]")


def escape(text: str) -> str:
    """`text` for an element or a double-quoted attribute: markup characters escaped, characters
    XML cannot hold replaced by U+FFFD."""
    return _escape(_UNFIT.sub("\ufffd", text), {'"': "&quot;"})


def element(tag: str, attributes: dict[str, object], content: str | None = None) -> str:
    """One element, empty (`<tag/>`) without `content`; `content` is markup already (escape text
    first), attribute values are text (None leaves the attribute out)."""
    pairs = "".join(
        f' {name}="{escape(_value(value))}"'
        for name, value in attributes.items()
        if value is not None
    )
    return f"<{tag}{pairs}/>" if content is None else f"<{tag}{pairs}>{content}</{tag}>"


def _value(value: object) -> str:
    return f"{value:.1f}".rstrip("0").rstrip(".") if isinstance(value, float) else str(value)

"""The keys of a JSON problem file, described once: the reader refuses any other key, and the
service's OpenAPI description derives the problem's JSON Schema from the same table."""

from __future__ import annotations

from typing import Any

from ..solve.options import file_option_names

_INSTANT = {
    "description": "Unix seconds, or ISO 8601 text (local to timezone without an offset)",
    "oneOf": [{"type": "integer", "minimum": 0}, {"type": "string"}],
}
_DURATION = {
    "description": "seconds, or an ISO 8601 duration (PT20M)",
    "oneOf": [{"type": "integer", "minimum": 0}, {"type": "string"}],
}
_MATRIX = {"type": "array", "items": {"type": "array", "items": {"type": "integer", "minimum": 0}}}
_LOCATION = {"type": "integer", "minimum": 0}
_PAIRS = {
    "type": "array",
    "items": {"type": "array", "items": {"type": "number"}, "minItems": 2, "maxItems": 2},
}
_WINDOW = {"type": "array", "items": _INSTANT, "minItems": 2, "maxItems": 2}
_TIME_OF_DAY = {
    "description": "HH:MM, or seconds after midnight",
    "oneOf": [{"type": "integer", "minimum": 0}, {"type": "string"}],
}
_HOURS_PAIR = {"type": "array", "items": _TIME_OF_DAY, "minItems": 2, "maxItems": 2}
_RULE = {"enum": ["whole", "start"]}

# Each key with what it holds, as JSON Schema.
PROBLEM_KEYS: dict[str, dict[str, Any]] = {
    "distance_matrix": {**_MATRIX, "description": "distance from row to column"},
    "duration_matrix": {**_MATRIX, "description": "travel seconds from row to column"},
    "job_durations": {"type": "array", "items": _DURATION},
    "time_windows": {
        "description": "per location, its windows (start, end) in time order",
        "type": "array",
        "items": {"type": "array", "items": _WINDOW},
    },
    "operation_times": {**_WINDOW, "description": "the working hours of each day"},
    "hours": {
        "description": "open hours: a pair of times ('08:00', '17:00'; closing before opening "
        "runs past midnight), a list of pairs, or an object of weekday names (mon ... sun) and "
        "ISO dates to a pair, a list of pairs or null (closed)",
        "oneOf": [
            _HOURS_PAIR,
            {"type": "array", "items": _HOURS_PAIR},
            {
                "type": "object",
                "additionalProperties": {
                    "oneOf": [
                        {"type": "null"},
                        _HOURS_PAIR,
                        {"type": "array", "items": _HOURS_PAIR},
                    ]
                },
            },
        ],
    },
    "breaks": {
        "type": "array",
        "items": {
            "type": "object",
            "required": ["length", "start_between"],
            "additionalProperties": False,
            "properties": {
                "length": _DURATION,
                "start_between": {
                    **_HOURS_PAIR,
                    "description": "the earliest and latest start, local times of day",
                },
                "days": {
                    "description": "weekday names and ISO dates (default: every open day)",
                    "type": "array",
                    "items": {"type": "string"},
                },
                "except_dates": {
                    "description": "ISO dates on which it is not taken",
                    "type": "array",
                    "items": {"type": "string"},
                },
            },
        },
    },
    "window_rule": {
        "description": "'whole': the job within a window; 'start': only its start; or one per "
        "location",
        "oneOf": [_RULE, {"type": "array", "items": _RULE}],
    },
    "clock_changes": {
        "description": "how a local time the clocks skip or show twice is read",
        "enum": ["refuse", "earlier", "later"],
    },
    "names": {"type": "array", "items": {"type": "string"}},
    "coordinates": _PAIRS,
    "required": {
        "description": "per location, whether every tour serves it (false: optional)",
        "type": "array",
        "items": {"type": "boolean"},
    },
    "priority": {
        "description": "per location, the class of an optional one (higher is more important; "
        "null: 0), null for a required one",
        "type": "array",
        "items": {
            "oneOf": [
                {"type": "null"},
                {"type": "integer", "minimum": -(2**31), "maximum": 2**31 - 1},
            ]
        },
    },
    "check_units": {"type": "boolean", "description": "refuse implausible units (default true)"},
    "start": {**_LOCATION, "description": "the location the tour leaves from"},
    "end": {
        "description": "the location the tour finishes at, or 'open'",
        "oneOf": [_LOCATION, {"const": "open"}],
    },
    "depot": {**_LOCATION, "description": "start and end"},
    "timezone": {"type": "string", "description": "an IANA zone such as Europe/Berlin"},
    "places": {
        **_PAIRS,
        "description": "per location, (lat, lon) in degrees; with a speed, instead of the matrices",
    },
    "speed": {"type": "number", "exclusiveMinimum": 0, "description": "km/h between places"},
    "detour": {
        "type": "number",
        "exclusiveMinimum": 0,
        "description": "road length over great-circle length between places (default 1.3)",
    },
    "unit": {"enum": ["m", "km"], "description": "of distances between places (default m)"},
}
# Keys a person may add for their own notes, read and then ignored.
NOTE_KEYS: dict[str, dict[str, Any]] = {
    "description": {"type": "string"},
    "comment": {"type": "string"},
}
# The search options under "options", by name.
_OPTION_TYPES: dict[str, dict[str, Any]] = {
    "time_limit": {"type": "number", "minimum": 0},
    "max_descents": {"type": "integer", "minimum": 0},
    "seed": {"type": "integer"},
    "departure": {"enum": ["latest", "earliest"]},
    "threads": {"type": "integer", "minimum": 0},
    "strategy": {"enum": ["iterated", "multistart"]},
    "pinned": {"type": "array", "items": _LOCATION},
}


def problem_schema() -> dict[str, Any]:
    """The JSON Schema of a problem file."""
    options = {name: _OPTION_TYPES[name] for name in file_option_names()}
    return {
        "type": "object",
        "anyOf": [{"required": ["distance_matrix"]}, {"required": ["places", "speed"]}],
        "additionalProperties": False,
        "properties": {
            **PROBLEM_KEYS,
            **NOTE_KEYS,
            "options": {"type": "object", "additionalProperties": False, "properties": options},
        },
    }

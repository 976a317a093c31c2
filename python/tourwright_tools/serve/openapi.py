"""The service's OpenAPI 3.1 description; the problem's schema is the file reader's own table
of keys (files/schema.py)."""

from __future__ import annotations

from typing import Any

from .. import __version__
from ..files.schema import problem_schema

_REF = "#/components/schemas/"


def _ref(name: str) -> dict[str, str]:
    return {"$ref": _REF + name}


def _json(schema: dict[str, Any], description: str) -> dict[str, Any]:
    return {"description": description, "content": {"application/json": {"schema": schema}}}


_ERRORS = {
    "400": "bad JSON or a bad problem",
    "401": "no valid bearer token",
    "408": "the body did not arrive in time",
    "413": "the body or the problem is too large",
    "422": "invalid options",
    "429": "every solve slot and place in the queue is taken",
    "503": "shutting down",
}
_LOCATION = {"type": "integer", "minimum": 0}
_SCHEMAS: dict[str, Any] = {
    "Problem": problem_schema(),
    "Tour": {
        "type": "object",
        "description": "a result as `tourwright solve --json` writes it",
        "required": ["route", "distance"],
        "properties": {
            "route": {"type": "array", "items": _LOCATION},
            "distance": {"type": "integer"},
            "lateness": {"type": ["integer", "null"]},
            "schedule": {"type": ["array", "null"], "items": {"type": "object"}},
            "skipped": {
                "type": "array",
                "items": _LOCATION,
                "description": "optional stops left out",
            },
            "skipped_classes": {"type": "array", "items": {"type": "integer"}},
            "readable": {"type": "object"},
        },
    },
    "CheckRequest": {
        "type": "object",
        "required": ["problem"],
        "properties": {
            "problem": _ref("Problem"),
            "route": {"type": "array", "items": _LOCATION},
            "tour": _ref("Tour"),
        },
        "oneOf": [{"required": ["route"]}, {"required": ["tour"]}],
    },
    "CheckedTour": {"allOf": [_ref("Tour")], "properties": {"on_time": {"type": "boolean"}}},
    "ReplanRequest": {
        "type": "object",
        "required": ["problem", "tour", "now"],
        "properties": {
            "problem": _ref("Problem"),
            "tour": _ref("Tour"),
            "now": {"oneOf": [{"type": "string"}, {"type": "integer"}]},
            "done": {"type": "array", "items": _LOCATION},
            "position": {
                "oneOf": [_LOCATION, {"type": "array", "minItems": 3, "maxItems": 3}],
                "description": "a location, or [FROM, TO, ELAPSED] on the way",
            },
            "in_progress": {
                "oneOf": [_LOCATION, {"type": "array", "minItems": 2, "maxItems": 2}],
                "description": "a location, or [L, REMAINING]",
            },
            "keep_next": {"type": "integer", "minimum": 0},
            "options": {
                "type": "object",
                "additionalProperties": False,
                "properties": {
                    "time_limit": {"type": "number", "minimum": 0},
                    "seed": {"type": "integer"},
                    "max_descents": {"type": "integer", "minimum": 0},
                },
            },
        },
    },
    "Job": {
        "type": "object",
        "required": ["id", "status", "progress", "tour", "error"],
        "properties": {
            "id": {"type": "string"},
            "status": {"enum": ["queued", "running", "done", "stopped", "failed"]},
            "progress": {
                "type": "object",
                "properties": {
                    "elapsed": {"type": "number"},
                    "descents": {"type": "integer"},
                    "best": {"type": ["array", "null"], "items": {"type": "integer"}},
                },
            },
            "tour": {"oneOf": [_ref("Tour"), {"type": "null"}]},
            "error": {"type": ["string", "null"]},
        },
    },
    "Health": {
        "type": "object",
        "properties": {
            "status": {"enum": ["ok", "shutting down"]},
            "solving": {"type": "integer"},
            "queued": {"type": "integer"},
        },
    },
    "Error": {"type": "object", "required": ["error"], "properties": {"error": {"type": "string"}}},
}


def _operation(summary: str, body: str | None, answers: dict[str, Any]) -> dict[str, Any]:
    errors = {code: _json(_ref("Error"), what) for code, what in _ERRORS.items()}
    operation: dict[str, Any] = {"summary": summary, "responses": {**answers, **errors}}
    if body is not None:
        operation["requestBody"] = {"required": True, **_json(_ref(body), body)}
    return operation


def description() -> dict[str, Any]:
    job_path = {"name": "id", "in": "path", "required": True, "schema": {"type": "string"}}
    job = {"200": _json(_ref("Job"), "the job's record")}
    return {
        "openapi": "3.1.0",
        "info": {"title": "tourwright", "version": __version__},
        "components": {
            "schemas": _SCHEMAS,
            "securitySchemes": {"bearer": {"type": "http", "scheme": "bearer"}},
        },
        "paths": {
            "/solve": {
                "post": _operation(
                    "solve a problem", "Problem", {"200": _json(_ref("Tour"), "the tour")}
                )
            },
            "/check": {
                "post": _operation(
                    "time a route",
                    "CheckRequest",
                    {"200": _json(_ref("CheckedTour"), "the route timed")},
                )
            },
            "/replan": {
                "post": _operation(
                    "plan the rest of a day",
                    "ReplanRequest",
                    {"200": _json(_ref("Tour"), "the new plan")},
                )
            },
            "/jobs": {
                "post": _operation(
                    "start solving a problem",
                    "Problem",
                    {"202": _json(_ref("Job"), "the job, queued or running")},
                )
            },
            "/jobs/{id}": {
                "parameters": [job_path],
                "get": _operation("a job's record", None, job),
                "delete": _operation("stop a job, keeping its best tour", None, job),
            },
            "/health": {
                "get": {
                    "summary": "whether the service is up, and its load",
                    "security": [],
                    "responses": {
                        "200": _json(_ref("Health"), "up"),
                        "503": _json(_ref("Health"), "shutting down"),
                    },
                }
            },
            "/metrics": {
                "get": {
                    "summary": "counters in the Prometheus text format",
                    "responses": {"200": {"description": "metrics", "content": {"text/plain": {}}}},
                }
            },
            "/openapi.json": {
                "get": {
                    "summary": "this description",
                    "responses": {"200": {"description": "OpenAPI 3.1"}},
                }
            },
        },
        "security": [{"bearer": []}],
    }

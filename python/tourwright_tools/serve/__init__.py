"""`tourwright serve`: the engine behind an HTTP service (Starlette, run by uvicorn)."""

"""The `tourwright` command: `solve` and `batch`, their progress bar and their interruption."""

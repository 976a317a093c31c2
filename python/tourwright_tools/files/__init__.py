"""Files: problem files read (JSON and the classic formats), their reports written, and writes
that replace a file whole or not at all."""

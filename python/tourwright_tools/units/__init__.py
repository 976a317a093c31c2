"""Values and units: integers, seconds and instants read and checked, local time in a zone,
times shown as text, and distance matrices. Imports nothing of this package above it."""

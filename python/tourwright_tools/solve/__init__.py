"""Solving: the options record, the engine calls, `Tour` and its events, the check of a tour
against its problem, batches, and the classes of the native module."""

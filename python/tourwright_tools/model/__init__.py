"""The problem model: `Problem`, a problem's data checked and normalised when it is built."""

// DisplayWindow: filled in by the window change.

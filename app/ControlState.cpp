// ControlState: filled in by the window change.

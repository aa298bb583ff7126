// ObjectDetector: filled in by the detectors change.

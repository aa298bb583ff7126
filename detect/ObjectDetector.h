#pragma once

// A clapperboard detector: one OpenCV cascade classifier loaded from a data
// file. Two process-wide instances are built before main runs; a cascade that
// cannot be found or read ends the process with status -1.

#include <opencv2/objdetect.hpp>

class ObjectDetector {
public:
    // Loads the first candidate of dataFileCandidates(cascadeFileName) that
    // reads as a cascade; when none does, writes the error to standard error
    // and ends the process with status -1.
    explicit ObjectDetector(const char* cascadeFileName);
    ObjectDetector(const ObjectDetector&) = delete;
    ObjectDetector& operator=(const ObjectDetector&) = delete;

    cv::CascadeClassifier cascade;
    char cascadeFile[2048] = {};
};

// Constructed in this order during static initialisation, released in the
// reverse order at exit.
extern ObjectDetector whiteClapperDetector;
extern ObjectDetector blackClapperDetector;

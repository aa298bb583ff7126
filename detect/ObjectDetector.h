#pragma once

// A clapperboard detector: one OpenCV cascade classifier loaded from a data
// file. Two process-wide instances are built before main runs; a cascade that
// cannot be found or read ends the process with status -1.

#include <opencv2/objdetect.hpp>

#include <string>
#include <vector>

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

// Where a data file is looked for, in order: the working directory, the
// installed data directory, and the data directory of the build tree
// (../data beside the running executable). An absolute name is its own only
// candidate.
std::vector<std::string> dataFileCandidates(const char* fileName);

// Constructed in this order during static initialisation, released in the
// reverse order at exit.
extern ObjectDetector whiteClapperDetector;
extern ObjectDetector blackClapperDetector;

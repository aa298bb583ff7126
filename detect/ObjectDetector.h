#pragma once

// A clapperboard detector: one OpenCV cascade classifier loaded from a data
// file. The player makes both at start-up, before anything else, and does
// not start without them (see clapperDetectorsLoad).

#include <opencv2/objdetect.hpp>

#include <string>

class ObjectDetector {
public:
    // Loads the first candidate of dataFileCandidates(cascadeFileName) that
    // reads as a cascade; loaded() tells whether one did.
    explicit ObjectDetector(const char* cascadeFileName);
    ObjectDetector(const ObjectDetector&) = delete;
    ObjectDetector& operator=(const ObjectDetector&) = delete;

    bool loaded() const { return !cascade.empty(); }

    cv::CascadeClassifier cascade;
    std::string cascadeFile;
};

// The error the player writes to standard error, and then ends with -1,
// when a cascade cannot be loaded.
inline constexpr const char* CASCADE_LOAD_ERROR =
    "ObjectDetector::detect. ERROR: Could not load classifier cascade\n";

// The start-up check: the white, then the black clapperboard cascade. False
// at the first that cannot be loaded.
bool clapperDetectorsLoad();

#include "ObjectDetector.h"

#include "DataFiles.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr const char* loadError =
    "ObjectDetector::detect. ERROR: Could not load classifier cascade\n";

// Opening the file ourselves first keeps OpenCV from reporting a missing
// candidate on its own, and a malformed file throws from its parser.
bool loadCascade(cv::CascadeClassifier& cascade, const std::string& path) {
    if (!std::ifstream(path).is_open()) {
        return false;
    }
    try {
        return cascade.load(path) && !cascade.empty();
    } catch (const cv::Exception&) {
        return false;
    }
}

} // namespace

ObjectDetector::ObjectDetector(const char* cascadeFileName) {
    std::snprintf(cascadeFile, sizeof cascadeFile, "%s", cascadeFileName);
    for (const std::string& candidate : dataFileCandidates(cascadeFile)) {
        if (loadCascade(cascade, candidate)) {
            return;
        }
    }
    std::fputs(loadError, stderr);
    std::exit(-1);
}

#include "ObjectDetector.h"

#include "DataFiles.h"

#include <fstream>

namespace {

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

ObjectDetector::ObjectDetector(const char* cascadeFileName) : cascadeFile(cascadeFileName) {
    for (const std::string& candidate : dataFileCandidates(cascadeFileName)) {
        if (loadCascade(cascade, candidate)) {
            return;
        }
    }
}

bool clapperDetectorsLoad() {
    return ObjectDetector("claquetasBlancas.xml").loaded() &&
           ObjectDetector("claquetasNegras.xml").loaded();
}

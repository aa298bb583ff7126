#include "ObjectDetector.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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

std::vector<std::string> dataFileCandidates(const char* fileName) {
    const std::filesystem::path name(fileName);
    if (name.is_absolute()) {
        return {name.string()};
    }
    std::vector<std::string> candidates = {
        name.string(), (std::filesystem::path(TESSARO_DATA_INSTALL_DIR) / name).string()};
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        candidates.push_back((executable.parent_path().parent_path() / "data" / name).string());
    }
    return candidates;
}

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

#include "DataFiles.h"

#include <filesystem>

std::vector<std::string> dataFileCandidates(const char* fileName) {
    const std::filesystem::path name(fileName);
    std::vector<std::string> candidates = {name.string()};
    // Relative to the program rather than a folder fixed at build time, so
    // that an installed copy finds its files under any prefix.
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path above = executable.parent_path().parent_path();
        candidates.push_back((above / "share" / "tessaro" / name).string());
        candidates.push_back((above / "data" / name).string());
    }
    return candidates;
}

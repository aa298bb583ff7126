#include "BatchPlan.h"

#include <filesystem>
#include <set>
#include <utility>

namespace fs = std::filesystem;

std::vector<BatchItem> planBatch(const std::vector<std::string>& videos,
                                 const std::string& outDir) {
    std::vector<BatchItem> items;
    // Folders are compared as absolute paths, so that "./a" and "a" clash.
    std::vector<std::string> places;
    std::set<std::pair<std::string, std::string>> taken;
    std::vector<bool> named;
    for (const std::string& video : videos) {
        const fs::path path(video);
        BatchItem item{video, outDir, path.filename().string()};
        if (outDir.empty()) {
            item.folder = path.parent_path().string();
            if (item.folder.empty())
                item.folder = ".";
        }
        std::error_code ignored;
        places.push_back(fs::absolute(item.folder, ignored).lexically_normal().string());
        named.push_back(taken.emplace(places.back(), item.name).second);
        items.push_back(std::move(item));
    }
    for (size_t i = 0; i < items.size(); ++i) {
        if (named[i])
            continue;
        const fs::path name(items[i].name);
        const std::string stem = name.stem().string();
        const std::string extension = name.extension().string();
        for (int k = 2;; ++k) {
            std::string other = stem + "-" + std::to_string(k) + extension;
            if (taken.emplace(places[i], other).second) {
                items[i].name = std::move(other);
                break;
            }
        }
    }
    return items;
}

std::vector<size_t> shardOf(size_t count, int shard, int shards) {
    std::vector<size_t> positions;
    for (size_t i = static_cast<size_t>(shard - 1); i < count; i += static_cast<size_t>(shards))
        positions.push_back(i);
    return positions;
}

bool readVideoList(std::istream& in, std::vector<std::string>* videos) {
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            videos->push_back(line);
    }
    return in.eof() && !in.bad();
}

#include "QualityBaselines.h"

#include "QualityVideos.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

int fragmentCount(int totalFrames) {
    return (totalFrames + kBenchFragmentFrames - 1) / kBenchFragmentFrames;
}

int wantedFragments(int totalFrames, double target) {
    return std::clamp(static_cast<int>(std::lround(target * totalFrames / kBenchFragmentFrames)), 1,
                      fragmentCount(totalFrames));
}

// Fragment indices i of n spread evenly over `of` places.
int spread(int i, int n, int of) {
    return (2 * i + 1) * of / (2 * n);
}

std::vector<KeptFrames> framesOf(const std::set<int>& fragments, int totalFrames) {
    std::vector<KeptFrames> kept;
    for (int f : fragments) {
        const int first = f * kBenchFragmentFrames;
        kept.push_back({first, std::min(kBenchFragmentFrames, totalFrames - first)});
    }
    return kept;
}

} // namespace

std::vector<KeptFrames> uniformSkim(int totalFrames, double target) {
    const int wanted = wantedFragments(totalFrames, target);
    std::set<int> fragments;
    for (int i = 0; i < wanted; ++i)
        fragments.insert(spread(i, wanted, fragmentCount(totalFrames)));
    return framesOf(fragments, totalFrames);
}

bool sceneChanges(const std::string& videoPath, std::vector<int>* frames, int* pictures) {
    const std::string list = videoPath + ".scdet.txt";
    if (!std::filesystem::exists(list)) {
        const std::string partial = list + ".partial";
        if (!runProgram({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i",
                         videoPath, "-vf", "scdet,metadata=mode=print:file=" + partial, "-f",
                         "null", "-"}) ||
            std::rename(partial.c_str(), list.c_str()) != 0)
            return false;
    }
    // A "frame:N ..." line for every frame, each followed by its metadata; a
    // change has lavfi.scd.time among them.
    std::ifstream in(list);
    std::string line;
    int frame = -1;
    frames->clear();
    *pictures = 0;
    while (std::getline(in, line)) {
        if (line.rfind("frame:", 0) == 0) {
            frame = std::atoi(line.c_str() + 6);
            ++*pictures;
        } else if (line.rfind("lavfi.scd.time=", 0) == 0 && frame >= 0)
            frames->push_back(frame);
    }
    return true;
}

std::vector<KeptFrames> sceneChangeSkim(int totalFrames, double target,
                                        const std::vector<int>& changes) {
    const int count = fragmentCount(totalFrames);
    const int wanted = wantedFragments(totalFrames, target);
    std::vector<int> afterChange{0};
    for (int frame : changes) {
        const int f = (frame + kBenchFragmentFrames - 1) / kBenchFragmentFrames;
        if ((f + 1) * kBenchFragmentFrames <= totalFrames && f != afterChange.back())
            afterChange.push_back(f);
    }
    std::set<int> fragments;
    if (static_cast<int>(afterChange.size()) >= wanted) {
        for (int i = 0; i < wanted; ++i)
            fragments.insert(afterChange[spread(i, wanted, static_cast<int>(afterChange.size()))]);
        return framesOf(fragments, totalFrames);
    }
    fragments.insert(afterChange.begin(), afterChange.end());
    for (int i = 0; i < wanted && static_cast<int>(fragments.size()) < wanted; ++i)
        fragments.insert(spread(i, wanted, count));
    for (int f = 0; f < count && static_cast<int>(fragments.size()) < wanted; ++f)
        fragments.insert(f);
    return framesOf(fragments, totalFrames);
}

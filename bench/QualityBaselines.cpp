#include "QualityBaselines.h"

#include "QualityVideos.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

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

namespace {

// The clip's number under key; -1 when it has none (or is no object).
double clipNumber(const nlohmann::json& clip, const char* key) {
    const auto value = clip.find(key);
    return value != clip.end() && value->is_number() ? value->get<double>() : -1.0;
}

} // namespace

bool autoEditorCuts(const std::string& videoPath, int frameRate, std::vector<KeptFrames>* kept) {
    const std::string timeline = videoPath + ".auto-editor.json";
    if (!std::filesystem::exists(timeline)) {
        const std::string partial = videoPath + ".auto-editor.partial.json";
        if (!runProgram({"auto-editor", videoPath, "--export", "json", "-o", partial, "--no-open",
                         "--progress", "none", "--quiet"},
                        "/dev/null") ||
            std::rename(partial.c_str(), timeline.c_str()) != 0)
            return false;
    }
    // Under "timeline": "timebase": "25/1" and the video tracks "v":
    // [[{"start", "dur", ..., "offset", "speed", ...}, ...]]: each clip shows
    // dur x speed frames of the source from frame offset, in the timebase.
    std::ifstream in(timeline);
    const nlohmann::json read = nlohmann::json::parse(in, nullptr, false);
    const auto nested = read.find("timeline");
    const nlohmann::json& cuts = nested != read.end() ? *nested : read;
    const auto base = cuts.find("timebase");
    const auto tracks = cuts.find("v");
    int num = 0;
    int den = 0;
    if (base == cuts.end() || !base->is_string() || tracks == cuts.end() || !tracks->is_array() ||
        std::sscanf(base->get_ref<const std::string&>().c_str(), "%d/%d", &num, &den) != 2 ||
        num <= 0 || den <= 0)
        return false;
    const double scale = static_cast<double>(frameRate) * den / num;
    kept->clear();
    for (const nlohmann::json& track : *tracks) {
        if (!track.is_array())
            return false;
        for (const nlohmann::json& clip : track) {
            const double offset = clipNumber(clip, "offset");
            const double dur = clipNumber(clip, "dur");
            const double speed = clipNumber(clip, "speed");
            if (offset < 0.0 || dur < 0.0 || speed <= 0.0)
                return false;
            const int first = static_cast<int>(std::lround(offset * scale));
            const int last = static_cast<int>(std::lround((offset + dur * speed) * scale));
            if (last > first)
                kept->push_back({first, last - first});
        }
    }
    return true;
}

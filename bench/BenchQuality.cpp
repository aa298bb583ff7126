// tessaro-bench quality [FOLDER]: how good Tessaro's summaries are, against
// uniform skimming (evenly spaced fragments totalling the target), on videos
// whose every frame is known (QualityVideos.h), made once into FOLDER.

#include "Bench.h"
#include "HeadlessSummary.h"
#include "QualityVideos.h"
#include "SummarySettings.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kFragmentFrames = 25;
constexpr double kTargets[] = {0.05, 0.1, 0.2, 0.3, 0.5, 1.0};

struct KeptSpan {
    double start; // seconds
    double end;
};

// The summariser under test: the fragments it keeps of the video at path.
std::vector<KeptSpan> summarize(const std::string& path, const SummarySettings& settings) {
    HeadlessSummary summary(path, settings);
    std::vector<KeptSpan> spans;
    if (!summary.run({}))
        return spans;
    for (const KeptFragment& f : summary.keptFragments())
        spans.push_back({f.start, f.end});
    return spans;
}

struct Fragment {
    int first;
    int frames;
};

std::vector<Fragment> fragmentsOf(const std::vector<KeptSpan>& spans) {
    std::vector<Fragment> fragments;
    for (const KeptSpan& s : spans) {
        const int first = static_cast<int>(std::lround(s.start * kQualityFrameRate));
        const int end = static_cast<int>(std::lround(s.end * kQualityFrameRate));
        fragments.push_back({first, end - first});
    }
    return fragments;
}

std::vector<Fragment> uniformSkim(int totalFrames, double target) {
    const int fragments = (totalFrames + kFragmentFrames - 1) / kFragmentFrames;
    const int wanted = std::clamp(
        static_cast<int>(std::lround(target * totalFrames / kFragmentFrames)), 1, fragments);
    std::vector<Fragment> kept;
    for (int i = 0; i < wanted; ++i) {
        const int first = (2 * i + 1) * fragments / (2 * wanted) * kFragmentFrames;
        kept.push_back({first, std::min(kFragmentFrames, totalFrames - first)});
    }
    return kept;
}

// Counts over one or more summaries, summed before the shares are taken.
struct Tally {
    int keptFrames = 0;
    int shots = 0;   // distinct content shots in the videos
    int covered = 0; // of those, shots that most of a kept fragment shows
    int repeatFrames = 0;
    int junkFrames = 0;
    int fragments = 0;
    int straddling = 0;
    double minRatio = 1e9; // kept / target length, over the videos long enough
    double maxRatio = 0.0;

    void add(const Tally& t) {
        keptFrames += t.keptFrames;
        shots += t.shots;
        covered += t.covered;
        repeatFrames += t.repeatFrames;
        junkFrames += t.junkFrames;
        fragments += t.fragments;
        straddling += t.straddling;
        minRatio = std::min(minRatio, t.minRatio);
        maxRatio = std::max(maxRatio, t.maxRatio);
    }
};

Tally measure(const std::vector<FrameTruth>& truth, const std::vector<Fragment>& kept,
              double target) {
    Tally t;
    std::set<Shot> shots;
    for (const FrameTruth& f : truth)
        if (!f.junk)
            shots.insert(f.shot);
    t.shots = static_cast<int>(shots.size());

    std::set<Shot> covered;
    std::map<Shot, int> shownFrom; // the scene a shot was first kept from
    for (const Fragment& fragment : kept) {
        std::map<Shot, int> frames;
        bool cut = false;
        for (int k = fragment.first; k < fragment.first + fragment.frames; ++k) {
            const FrameTruth& f = truth.at(static_cast<size_t>(k));
            cut |= k > fragment.first && f.scene != truth[static_cast<size_t>(k) - 1].scene;
            ++t.keptFrames;
            if (f.junk) {
                ++t.junkFrames;
                continue;
            }
            ++frames[f.shot];
            const auto shown = shownFrom.emplace(f.shot, f.scene).first;
            if (shown->second != f.scene)
                ++t.repeatFrames;
        }
        const auto most = std::max_element(frames.begin(), frames.end(),
                                           [](auto& a, auto& b) { return a.second < b.second; });
        if (most != frames.end() && 2 * most->second >= fragment.frames)
            covered.insert(most->first);
        ++t.fragments;
        t.straddling += cut ? 1 : 0;
    }
    t.covered = static_cast<int>(covered.size());
    const int fragments = (static_cast<int>(truth.size()) + kFragmentFrames - 1) / kFragmentFrames;
    if (fragments * target >= 10.0) {
        t.minRatio = t.maxRatio = t.keptFrames / (target * static_cast<double>(truth.size()));
    }
    return t;
}

double share(int part, int whole) {
    return whole > 0 ? static_cast<double>(part) / whole : 0.0;
}

std::string fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// The engine writes the player's console messages to standard output: they go
// to /dev/null, and the figures to a copy of the real standard output.
std::FILE* takeStandardOutput() {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    return saved >= 0 ? fdopen(saved, "w") : stdout;
}

std::string defaultFolder() {
    char path[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string exe = n > 0 ? std::string(path, static_cast<size_t>(n)) : "./x";
    return exe.substr(0, exe.find_last_of('/')) + "/quality-media";
}

int benchQuality(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: tessaro-bench %s [FOLDER]\n", argv[0]);
        return 2;
    }
    const std::string folder = argc == 2 ? argv[1] : defaultFolder();
    std::FILE* out = takeStandardOutput();

    struct Video {
        const QualityVideo* recipe;
        std::string path;
        std::vector<FrameTruth> truth;
    };
    std::vector<Video> videos;
    for (const QualityVideo& recipe : qualityVideos()) {
        std::string error;
        const std::string path = qualityVideoFile(recipe, folder, &error);
        if (path.empty()) {
            std::fprintf(stderr, "tessaro-bench %s: %s\n", argv[0], error.c_str());
            return 1;
        }
        videos.push_back({&recipe, path, frameTruth(recipe)});
    }

    std::fprintf(out, "%d videos:", static_cast<int>(videos.size()));
    for (const Video& v : videos)
        std::fprintf(out, " %s %.0f s", v.recipe->name,
                     static_cast<double>(v.truth.size()) / kQualityFrameRate);
    std::fprintf(out, "\nlength: kept / (target x duration), min-max over the videos of at least "
                      "10 / target fragments\n");
    std::fprintf(out, "target filter method  length     coverage repeats junk  cut-straddle\n");

    // Kept frames by video, filter and target, for the checks after the table.
    std::map<std::string, std::map<bool, std::vector<int>>> keptByTarget;
    std::vector<std::string> failures;
    Tally ours02, uniform02;
    for (bool filter : {false, true}) {
        for (double target : kTargets) {
            SummarySettings settings;
            settings.target = target;
            settings.junkFilter = filter;
            Tally ours, uniform;
            for (const Video& v : videos) {
                const std::vector<Fragment> kept = fragmentsOf(summarize(v.path, settings));
                const Tally t = measure(v.truth, kept, target);
                ours.add(t);
                uniform.add(measure(v.truth, uniformSkim(static_cast<int>(v.truth.size()), target),
                                    target));
                keptByTarget[v.recipe->name][filter].push_back(t.keptFrames);
                if (!filter && t.maxRatio > 0.0 && (t.minRatio < 0.75 || t.maxRatio > 1.25))
                    failures.push_back(std::string(v.recipe->name) + ": target " + fixed(target) +
                                       " keeps " + fixed(t.minRatio) + " of its length");
                if (target == 1.0) {
                    // Every fragment kept, or with the filter every one that
                    // holds no junk frame and no cut.
                    std::vector<bool> keptFrame(v.truth.size(), false);
                    for (const Fragment& f : kept)
                        for (int k = f.first; k < f.first + f.frames; ++k)
                            keptFrame[static_cast<size_t>(k)] = true;
                    int leftOut = 0;
                    for (size_t first = 0; first < v.truth.size(); first += kFragmentFrames) {
                        const size_t end = std::min(v.truth.size(), first + kFragmentFrames);
                        bool clean = true;
                        for (size_t k = first; k < end; ++k)
                            clean &= !v.truth[k].junk && v.truth[k].scene == v.truth[first].scene;
                        leftOut += (!filter || clean) && !keptFrame[first] ? 1 : 0;
                    }
                    if (leftOut > 0)
                        failures.push_back(std::string(v.recipe->name) + ": target 1.0" +
                                           (filter ? " with the filter" : "") + " leaves out " +
                                           std::to_string(leftOut) + " fragments it should keep");
                }
                if (v.truth.size() <= 3 * kFragmentFrames && target == 0.05 && !filter &&
                    kept.size() > 1)
                    failures.push_back(std::string(v.recipe->name) + ": three fragments keep " +
                                       std::to_string(kept.size()) + " at 0.05");
            }
            for (const auto& [name, tally] : {std::pair{"tessaro", ours}, {"uniform", uniform}})
                std::fprintf(out, "%6.2f %-6s %-7s %4.2f-%-4.2f  %5.2f    %5.2f   %5.2f %5.2f\n",
                             target, filter ? "on" : "off", name, tally.minRatio, tally.maxRatio,
                             share(tally.covered, tally.shots),
                             share(tally.repeatFrames, tally.keptFrames),
                             share(tally.junkFrames, tally.keptFrames),
                             share(tally.straddling, tally.fragments));
            if (target == 0.2 && !filter) {
                ours02 = ours;
                uniform02 = uniform;
            }
        }
    }

    for (const auto& [name, byFilter] : keptByTarget)
        for (const auto& [filter, kept] : byFilter)
            for (size_t i = 1; i < kept.size(); ++i)
                if (kept[i] < kept[i - 1] - kFragmentFrames)
                    failures.push_back(name + (filter ? " with the filter" : "") + ": target " +
                                       fixed(kTargets[i]) + " keeps " + std::to_string(kept[i]) +
                                       " frames, " + fixed(kTargets[i - 1]) + " keeps " +
                                       std::to_string(kept[i - 1]));
    const double coverage = share(ours02.covered, ours02.shots);
    const double junk = share(ours02.junkFrames, ours02.keptFrames);
    const double uniformCoverage = share(uniform02.covered, uniform02.shots);
    const double uniformJunk = share(uniform02.junkFrames, uniform02.keptFrames);
    if (coverage < uniformCoverage || junk > uniformJunk + 0.05)
        failures.push_back("target 0.20: less coverage or more junk than uniform skimming");
    for (const std::string& f : failures)
        std::fprintf(out, "wrong: %s\n", f.c_str());
    std::fprintf(out,
                 "quality: coverage %.2f (uniform %.2f), junk %.2f (uniform %.2f), length "
                 "ratio min %.2f max %.2f\n",
                 coverage, uniformCoverage, junk, uniformJunk, ours02.minRatio, ours02.maxRatio);
    std::fflush(out);
    return failures.empty() ? 0 : 1;
}

const BenchRegistration registration("quality", "[FOLDER]", &benchQuality);
} // namespace

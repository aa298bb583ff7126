// tessaro-bench quality [FOLDER]: how good Tessaro's summaries are, against
// uniform skimming and a scene-change skim (QualityBaselines.h), on videos
// whose every frame is known (QualityVideos.h), made once into FOLDER.

#include "Bench.h"
#include "HeadlessSummary.h"
#include "QualityBaselines.h"
#include "QualityVideos.h"
#include "SummarySettings.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr double kTargets[] = {0.05, 0.1, 0.2, 0.3};

struct Video {
    const QualityVideo* recipe;
    std::string path;
    std::vector<FrameTruth> truth;
    std::vector<int> sceneChanges;
    int frames() const { return static_cast<int>(truth.size()); }
};

// The engine's summary of the video: the frames it keeps.
std::vector<KeptFrames> summarize(const Video& video, const SummarySettings& settings) {
    HeadlessSummary summary(video.path, settings);
    std::vector<KeptFrames> kept;
    if (!summary.run({}))
        return kept;
    for (const KeptFragment& f : summary.keptFragments()) {
        const int first = static_cast<int>(std::lround(f.start * kQualityFrameRate));
        kept.push_back({first, f.frames});
    }
    return kept;
}

struct Method {
    const char* name;
    std::function<std::vector<KeptFrames>(const Video&, double target)> keep;
};

std::vector<Method> methods() {
    auto engine = [](bool filter, bool shotAware) {
        return [filter, shotAware](const Video& v, double target) {
            SummarySettings settings;
            settings.target = target;
            settings.junkFilter = filter;
            settings.shotAware = shotAware;
            return summarize(v, settings);
        };
    };
    return {
        {"parts", engine(false, false)},
        {"filter", engine(true, false)},
        {"shot-aware", engine(false, true)},
        {"uniform", [](const Video& v, double t) { return uniformSkim(v.frames(), t); }},
        {"scene-change",
         [](const Video& v, double t) { return sceneChangeSkim(v.frames(), t, v.sceneChanges); }},
    };
}

double share(int part, int whole) {
    return whole > 0 ? static_cast<double>(part) / whole : 0.0;
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
    double coverage() const { return share(covered, shots); }
    double junk() const { return share(junkFrames, keptFrames); }
    double straddle() const { return share(straddling, fragments); }
};

Tally measure(const std::vector<FrameTruth>& truth, const std::vector<KeptFrames>& kept,
              double target) {
    Tally t;
    std::set<Shot> shots;
    for (const FrameTruth& f : truth)
        if (!f.junk)
            shots.insert(f.shot);
    t.shots = static_cast<int>(shots.size());

    std::set<Shot> covered;
    std::map<Shot, int> shownFrom; // the scene a shot was first kept from
    for (const KeptFrames& fragment : kept) {
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
    const int fragments =
        (static_cast<int>(truth.size()) + kBenchFragmentFrames - 1) / kBenchFragmentFrames;
    if (fragments * target >= 10.0)
        t.minRatio = t.maxRatio = t.keptFrames / (target * static_cast<double>(truth.size()));
    return t;
}

// What the junk filter does to ordinary footage and to junk when it may keep
// everything else: clean fragments of ordinary shots kept, junk frames left out.
struct FilterTally {
    int ordinary = 0;
    int ordinaryKept = 0;
    int junk = 0;
    int junkLeftOut = 0;
};

void measureFilter(const std::vector<FrameTruth>& truth, const std::vector<KeptFrames>& kept,
                   FilterTally* tally) {
    std::vector<bool> keptFrame(truth.size(), false);
    for (const KeptFrames& f : kept)
        for (int k = f.first; k < f.first + f.frames; ++k)
            keptFrame[static_cast<size_t>(k)] = true;
    for (size_t first = 0; first + kBenchFragmentFrames <= truth.size();
         first += kBenchFragmentFrames) {
        bool ordinary = true;
        for (size_t k = first; k < first + kBenchFragmentFrames; ++k)
            ordinary &=
                isOrdinary(truth[k].shot) && !truth[k].junk && truth[k].scene == truth[first].scene;
        tally->ordinary += ordinary ? 1 : 0;
        tally->ordinaryKept += ordinary && keptFrame[first] ? 1 : 0;
    }
    for (size_t k = 0; k < truth.size(); ++k)
        if (truth[k].junk) {
            ++tally->junk;
            tally->junkLeftOut += keptFrame[k] ? 0 : 1;
        }
}

std::string fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// What falls short at one target: the weighted ranking's length, and
// shot-aware ranking against the two baselines, junk, straddling and length.
std::vector<std::string> shortfalls(double target, std::map<std::string, Tally>& m) {
    std::vector<std::string> wrong;
    const std::string at = ": target " + fixed(target) + " ";
    const Tally& parts = m["parts"];
    if (parts.minRatio < 0.75 || parts.maxRatio > 1.25)
        wrong.push_back("parts" + at + "keeps " + fixed(parts.minRatio) + "-" +
                        fixed(parts.maxRatio) + " of its length");
    const Tally& ours = m["shot-aware"];
    const double sceneChange = m["scene-change"].coverage();
    const double uniform = m["uniform"].coverage();
    if (ours.coverage() < sceneChange - 0.05 || ours.coverage() < uniform + 0.05)
        wrong.push_back("shot-aware" + at + "covers " + fixed(ours.coverage()) + " (scene-change " +
                        fixed(sceneChange) + ", uniform " + fixed(uniform) + ")");
    if (ours.junk() > 0.02 || ours.straddle() > 0.02)
        wrong.push_back("shot-aware" + at + "junk " + fixed(ours.junk()) + ", straddle " +
                        fixed(ours.straddle()));
    if (ours.minRatio < 0.9 || ours.maxRatio > 1.1)
        wrong.push_back("shot-aware" + at + "keeps " + fixed(ours.minRatio) + "-" +
                        fixed(ours.maxRatio) + " of its length");
    return wrong;
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

    std::vector<Video> videos;
    for (const QualityVideo& recipe : qualityVideos()) {
        std::string error;
        Video v{&recipe, qualityVideoFile(recipe, folder, &error), frameTruth(recipe), {}};
        if (v.path.empty() || !sceneChanges(v.path, &v.sceneChanges)) {
            std::fprintf(stderr, "tessaro-bench %s: %s\n", argv[0],
                         v.path.empty() ? error.c_str() : "ffmpeg's scene detector failed");
            return 1;
        }
        videos.push_back(std::move(v));
    }

    std::fprintf(out, "%d videos:", static_cast<int>(videos.size()));
    for (const Video& v : videos)
        std::fprintf(out, " %s %.0f s", v.recipe->name, v.frames() / double(kQualityFrameRate));
    std::fprintf(out, "\nlength: kept / (target x duration), min-max over the videos of at least "
                      "10 / target fragments\n");
    std::fprintf(out, "target method       length     coverage repeats junk  straddle\n");

    const std::vector<Method> all = methods();
    // Kept frames by method and video, target by target.
    std::map<std::string, std::vector<int>> keptByTarget;
    std::map<std::string, Tally> pooled; // by method, over the targets
    std::vector<std::string> failures;
    for (double target : kTargets) {
        std::map<std::string, Tally> byMethod;
        for (const Method& method : all) {
            Tally& tally = byMethod[method.name];
            for (const Video& v : videos) {
                const Tally t = measure(v.truth, method.keep(v, target), target);
                tally.add(t);
                keptByTarget[std::string(method.name) + " " + v.recipe->name].push_back(
                    t.keptFrames);
            }
            pooled[method.name].add(tally);
            std::fprintf(out, "%6.2f %-12s %4.2f-%-4.2f  %5.2f    %5.2f   %5.2f %5.2f\n", target,
                         method.name, tally.minRatio, tally.maxRatio, tally.coverage(),
                         share(tally.repeatFrames, tally.keptFrames), tally.junk(),
                         tally.straddle());
        }
        for (const std::string& f : shortfalls(target, byMethod))
            failures.push_back(f);
    }
    for (const auto& [name, kept] : keptByTarget)
        for (size_t i = 1; i < kept.size(); ++i)
            if (kept[i] < kept[i - 1] - kBenchFragmentFrames)
                failures.push_back(name + ": target " + fixed(kTargets[i]) + " keeps " +
                                   std::to_string(kept[i]) + " frames, " + fixed(kTargets[i - 1]) +
                                   " keeps " + std::to_string(kept[i - 1]));

    FilterTally filter;
    for (const Video& v : videos) {
        SummarySettings settings;
        settings.target = 1.0;
        settings.junkFilter = true;
        measureFilter(v.truth, summarize(v, settings), &filter);
    }
    const double ordinaryKept = share(filter.ordinaryKept, filter.ordinary);
    const double junkLeftOut = share(filter.junkLeftOut, filter.junk);
    std::fprintf(out, "filter at 1.00: keeps %.2f of ordinary footage, leaves out %.2f of junk\n",
                 ordinaryKept, junkLeftOut);
    if (ordinaryKept < 0.95 || junkLeftOut < 0.90)
        failures.push_back("the filter keeps " + fixed(ordinaryKept) +
                           " of ordinary footage and leaves out " + fixed(junkLeftOut) +
                           " of junk");

    for (const std::string& f : failures)
        std::fprintf(out, "wrong: %s\n", f.c_str());
    // Pooled over the targets.
    const Tally& ours = pooled["shot-aware"];
    std::fprintf(out,
                 "quality: shot-aware coverage %.2f (scene-change %.2f, uniform %.2f), junk %.2f, "
                 "straddle %.2f; filter keeps %.2f of ordinary footage\n",
                 ours.coverage(), pooled["scene-change"].coverage(), pooled["uniform"].coverage(),
                 ours.junk(), ours.straddle(), ordinaryKept);
    std::fflush(out);
    return failures.empty() ? 0 : 1;
}

const BenchRegistration qualityRegistration("quality", "[FOLDER]", &benchQuality);
} // namespace

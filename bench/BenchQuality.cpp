// tessaro-bench quality [FOLDER]: how good Tessaro's summaries are, against
// uniform skimming and a scene-change skim (QualityBaselines.h), on videos
// whose every frame is known (QualityVideos.h, SampleVideos.h), and how whole
// they keep the speech of talks whose every sentence is timed (BenchTalks.h),
// all made once into FOLDER.

#include "Bench.h"
#include "BenchTalks.h"
#include "EngineSummary.h"
#include "QualityBaselines.h"
#include "QualityTalks.h"
#include "QualityTally.h"
#include "QualityVideos.h"
#include "SampleVideos.h"
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
constexpr int kTargetCount = static_cast<int>(std::size(kTargets));

struct Video {
    QualityVideo recipe;
    std::string path;
    std::vector<int> sceneChanges;
    int frames() const { return static_cast<int>(recipe.truth.size()); }
};

// The engine's summary of the video: the frames it keeps.
std::vector<KeptFrames> summarize(const Video& video, const SummarySettings& settings) {
    return engineSummary(video.path, settings);
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

std::string fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

using ByMethod = std::map<std::string, Tally>;

// Every method's tally of every video at every target.
struct Results {
    const std::vector<Video>& videos;
    std::map<std::string, std::vector<std::vector<Tally>>> tallies; // [method][video][target]

    // By method, pooled over the chosen videos at one target, or at all
    // (target -1).
    ByMethod pooled(const std::function<bool(const QualityVideo&)>& chosen, int target) const {
        ByMethod m;
        for (const auto& [method, byVideo] : tallies)
            for (size_t v = 0; v < videos.size(); ++v)
                if (chosen(videos[v].recipe))
                    for (int i = 0; i < kTargetCount; ++i)
                        if (target < 0 || i == target)
                            m[method].add(byVideo[v][static_cast<size_t>(i)]);
        return m;
    }
};

auto inGroup(Group group, char half = 0) {
    return [group, half](const QualityVideo& v) {
        return v.group == group && (half == 0 || v.half == half);
    };
}

// What falls short on the synthetic videos at one target: the weighted
// ranking's length, and shot-aware ranking's one-second coverage against the
// scene-change skim's, junk, straddling and length, as on hard cuts.
std::vector<std::string> shortfalls(double target, ByMethod& m) {
    std::vector<std::string> wrong;
    const std::string at = ": target " + fixed(target) + " ";
    const Tally& parts = m["parts"];
    if (parts.minRatio < 0.75 || parts.maxRatio > 1.25)
        wrong.push_back("parts" + at + "keeps " + fixed(parts.minRatio) + "-" +
                        fixed(parts.maxRatio) + " of its length");
    const Tally& ours = m["shot-aware"];
    const double sceneChange = m["scene-change"].oneSecond();
    if (ours.oneSecond() < sceneChange - 0.02)
        wrong.push_back("shot-aware" + at + "one-second coverage " + fixed(ours.oneSecond()) +
                        " (scene-change " + fixed(sceneChange) + ")");
    if (ours.junk() > 0.02 || ours.straddle() > 0.02)
        wrong.push_back("shot-aware" + at + "junk " + fixed(ours.junk()) + ", straddle " +
                        fixed(ours.straddle()));
    if (ours.minRatio < 0.9 || ours.maxRatio > 1.1)
        wrong.push_back("shot-aware" + at + "keeps " + fixed(ours.minRatio) + "-" +
                        fixed(ours.maxRatio) + " of its length");
    return wrong;
}

// What falls short for shot-aware ranking on one group of one half at one
// target (index i).
std::vector<std::string> groupShortfalls(Group group, char half, int i, ByMethod& m) {
    std::vector<std::string> wrong;
    const std::string at = std::string("half ") + half + ": target " + fixed(kTargets[i]) + " ";
    const Tally& ours = m["shot-aware"];
    const Tally& sceneChange = m["scene-change"];
    if (group == Group::Hard) {
        if (ours.oneSecond() < sceneChange.oneSecond() - 0.02)
            wrong.push_back("hard cuts " + at + "one-second coverage " + fixed(ours.oneSecond()) +
                            " (scene-change " + fixed(sceneChange.oneSecond()) + ")");
        if (ours.shortShare() > 0.02 || ours.junk() > 0.02 || ours.straddle() > 0.02)
            wrong.push_back("hard cuts " + at + "pieces under a second " +
                            fixed(ours.shortShare()) + ", junk " + fixed(ours.junk()) +
                            ", straddle " + fixed(ours.straddle()));
        if (ours.lengthMeasured() && (ours.minRatio < 0.9 || ours.maxRatio > 1.1))
            wrong.push_back("hard cuts " + at + "keeps " + fixed(ours.minRatio) + "-" +
                            fixed(ours.maxRatio) + " of its length");
    } else if (group == Group::Soft) {
        // No summary covers more than everything.
        if (ours.oneSecond() < std::min(1.0, sceneChange.oneSecond() + 0.05))
            wrong.push_back("soft " + at + "coverage " + fixed(ours.oneSecond()) +
                            " (scene-change " + fixed(sceneChange.oneSecond()) + ")");
        if (ours.transitions() > 0.02)
            wrong.push_back("soft " + at + "transitions " + fixed(ours.transitions()));
    } else if (group == Group::Rushes) {
        if (ours.junk() > 0.05)
            wrong.push_back("rushes " + at + "slates and bars " + fixed(ours.junk()));
        if (kTargets[i] <= 0.1 && ours.repeats() > 0.10)
            wrong.push_back("rushes " + at + "further takes " + fixed(ours.repeats()));
    }
    return wrong;
}

struct Column {
    const char* head;
    double (Tally::*value)() const;
};

const std::vector<Column> kSyntheticColumns = {
    {"coverage", &Tally::coverage}, {"1s-cover", &Tally::oneSecond}, {"short", &Tally::shortShare},
    {"repeats", &Tally::repeats},   {"junk", &Tally::junk},          {"straddle", &Tally::straddle},
};
const std::vector<Column> kSampleColumns = {
    {"coverage", &Tally::coverage}, {"1s-cover", &Tally::oneSecond},
    {"short", &Tally::shortShare},  {"repeats", &Tally::repeats},
    {"junk", &Tally::junk},         {"transit", &Tally::transitions},
    {"straddle", &Tally::straddle}, {"dwell", &Tally::dwell},
};
// In rushes, a subject is a scene, a repeat a further take, junk the slates
// and bars.
const std::vector<Column> kRushesColumns = {
    {"coverage", &Tally::coverage}, {"1s-cover", &Tally::oneSecond},
    {"short", &Tally::shortShare},  {"further", &Tally::repeats},
    {"slates", &Tally::junk},       {"transit", &Tally::transitions},
    {"straddle", &Tally::straddle}, {"dwell", &Tally::dwell},
};

void printTable(std::FILE* out, const char* title, const std::vector<Column>& columns,
                const std::function<bool(const QualityVideo&)>& chosen, const Results& results,
                const std::vector<Method>& all) {
    std::fprintf(out, "\n%s:", title);
    for (const Video& v : results.videos)
        if (chosen(v.recipe))
            std::fprintf(out, " %s", v.recipe.name.c_str());
    std::fprintf(out, "\ntarget method       length   ");
    for (const Column& c : columns)
        std::fprintf(out, " %8s", c.head);
    std::fprintf(out, "\n");
    for (int i = 0; i < kTargetCount; ++i) {
        ByMethod m = results.pooled(chosen, i);
        for (const Method& method : all) {
            const Tally& t = m[method.name];
            const std::string length =
                t.lengthMeasured() ? fixed(t.minRatio) + "-" + fixed(t.maxRatio) : std::string("-");
            std::fprintf(out, "%6.2f %-12s %-9s  ", kTargets[i], method.name, length.c_str());
            for (const Column& c : columns)
                std::fprintf(out, " %8.2f", (t.*c.value)());
            std::fprintf(out, "\n");
        }
    }
}

std::string hardFigures(ByMethod& m) {
    const Tally& ours = m["shot-aware"];
    return "shot-aware coverage " + fixed(ours.coverage()) + " (scene-change " +
           fixed(m["scene-change"].coverage()) + ", uniform " + fixed(m["uniform"].coverage()) +
           "), one-second coverage " + fixed(ours.oneSecond()) + " (scene-change " +
           fixed(m["scene-change"].oneSecond()) + "), pieces under a second " +
           fixed(ours.shortShare()) + ", junk " + fixed(ours.junk()) + ", straddle " +
           fixed(ours.straddle());
}

std::string softFigures(ByMethod& m) {
    return "shot-aware coverage " + fixed(m["shot-aware"].oneSecond()) + " (scene-change " +
           fixed(m["scene-change"].oneSecond()) + "), transitions " +
           fixed(m["shot-aware"].transitions());
}

std::string rushesFigures(ByMethod& m) {
    const Tally& ours = m["shot-aware"];
    return "shot-aware coverage " + fixed(ours.oneSecond()) + ", slates and bars " +
           fixed(ours.junk()) + ", further takes " + fixed(ours.repeats());
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
    const std::vector<std::string> missing = missingSamples();
    if (!missing.empty()) {
        std::fprintf(stderr,
                     "tessaro-bench %s: %zu of opencv-doc's samples are missing (%s in %s): "
                     "install them with scripts/install-deps --bench\n",
                     argv[0], missing.size(), missing.front().c_str(), kSampleFolder);
        return 1;
    }
    std::FILE* out = takeStandardOutput();

    std::vector<QualityVideo> recipes = syntheticVideos();
    for (QualityVideo& v : sampleVideos())
        recipes.push_back(std::move(v));
    std::vector<Video> videos;
    for (QualityVideo& recipe : recipes) {
        std::string error;
        Video v{std::move(recipe), {}, {}};
        v.path = qualityVideoFile(v.recipe, folder, &error);
        int pictures = 0;
        if (!v.path.empty() && !sceneChanges(v.path, &v.sceneChanges, &pictures))
            error = "ffmpeg's scene detector failed on " + v.path;
        else if (!v.path.empty() && pictures != v.frames())
            error = v.path + " has " + std::to_string(pictures) + " frames, not " +
                    std::to_string(v.frames());
        if (!error.empty()) {
            std::fprintf(stderr, "tessaro-bench %s: %s\n", argv[0], error.c_str());
            return 1;
        }
        videos.push_back(std::move(v));
    }

    std::vector<Talk> talks;
    std::string talkError;
    if (!makeTalks(folder, &talks, &talkError)) {
        std::fprintf(stderr, "tessaro-bench %s: %s\n", argv[0], talkError.c_str());
        return 1;
    }

    std::fprintf(out, "%d videos:", static_cast<int>(videos.size()));
    for (const Video& v : videos)
        std::fprintf(out, " %s %.0f s", v.recipe.name.c_str(),
                     v.frames() / double(kQualityFrameRate));
    std::fprintf(
        out,
        "\nlength: kept / (target x duration), min-max over the videos of at least 10 / target "
        "fragments\ncoverage: subjects (a picture or clip seen again counts once; in rushes a "
        "scene) that most of a kept fragment shows\n1s-cover: subjects that one piece (a run of "
        "kept frames of one shot) shows for a second outside transitions\nshort: pieces under a "
        "second; repeats: kept time in a subject shown from an earlier shot (in rushes: further "
        "takes)\njunk (in rushes: slates and bars), transit: kept time in junk, in transitions; "
        "straddle: kept fragments across a cut\ndwell: kept time past a subject's third second "
        "while another is not shown\n");

    const std::vector<Method> all = methods();
    Results results{videos, {}};
    std::vector<std::string> failures;
    for (const Method& method : all) {
        auto& byVideo = results.tallies[method.name];
        for (const Video& v : videos) {
            std::vector<Tally> byTarget;
            for (double target : kTargets)
                byTarget.push_back(measure(v.recipe.truth, method.keep(v, target), target));
            for (size_t i = 1; i < byTarget.size(); ++i)
                if (byTarget[i].keptFrames < byTarget[i - 1].keptFrames - kBenchFragmentFrames)
                    failures.push_back(std::string(method.name) + " " + v.recipe.name +
                                       ": target " + fixed(kTargets[i]) + " keeps " +
                                       std::to_string(byTarget[i].keptFrames) + " frames, " +
                                       fixed(kTargets[i - 1]) + " keeps " +
                                       std::to_string(byTarget[i - 1].keptFrames));
            byVideo.push_back(std::move(byTarget));
        }
    }

    const auto synthetic = inGroup(Group::Synthetic);
    printTable(out, "synthetic", kSyntheticColumns, synthetic, results, all);
    for (int i = 0; i < kTargetCount; ++i) {
        ByMethod m = results.pooled(synthetic, i);
        for (const std::string& f : shortfalls(kTargets[i], m))
            failures.push_back(f);
    }
    struct GroupTable {
        Group group;
        const char* name;
        const std::vector<Column>& columns;
    };
    const GroupTable tables[] = {{Group::Hard, "hard cuts", kSampleColumns},
                                 {Group::Soft, "soft", kSampleColumns},
                                 {Group::Rushes, "rushes", kRushesColumns}};
    for (const GroupTable& table : tables)
        for (char half : {'A', 'B'}) {
            const std::string title = std::string(table.name) + ", half " + half;
            printTable(out, title.c_str(), table.columns, inGroup(table.group, half), results, all);
            for (int i = 0; i < kTargetCount; ++i) {
                ByMethod m = results.pooled(inGroup(table.group, half), i);
                for (const std::string& f : groupShortfalls(table.group, half, i, m))
                    failures.push_back(f);
            }
        }

    const std::string speech = benchTalks(out, talks, &failures);

    FilterTally filter;
    for (const Video& v : videos)
        if (v.recipe.group == Group::Synthetic) {
            SummarySettings settings;
            settings.target = 1.0;
            settings.junkFilter = true;
            measureFilter(v.recipe.truth, summarize(v, settings), &filter);
        }
    const double ordinaryKept = share(filter.ordinaryKept, filter.ordinary);
    const double junkLeftOut = share(filter.junkLeftOut, filter.junk);
    std::fprintf(out, "\nfilter at 1.00: keeps %.2f of ordinary footage, leaves out %.2f of junk\n",
                 ordinaryKept, junkLeftOut);
    if (ordinaryKept < 0.95 || junkLeftOut < 0.90)
        failures.push_back("the filter keeps " + fixed(ordinaryKept) +
                           " of ordinary footage and leaves out " + fixed(junkLeftOut) +
                           " of junk");

    // Pooled over the targets.
    for (char half : {'A', 'B'}) {
        ByMethod hard = results.pooled(inGroup(Group::Hard, half), -1);
        ByMethod soft = results.pooled(inGroup(Group::Soft, half), -1);
        ByMethod rushes = results.pooled(inGroup(Group::Rushes, half), -1);
        std::fprintf(out, "half %c hard cuts: %s\nhalf %c soft: %s\nhalf %c rushes: %s\n", half,
                     hardFigures(hard).c_str(), half, softFigures(soft).c_str(), half,
                     rushesFigures(rushes).c_str());
    }
    for (const std::string& f : failures)
        std::fprintf(out, "wrong: %s\n", f.c_str());
    ByMethod quality = results.pooled(
        [](const QualityVideo& v) { return v.group == Group::Synthetic || v.group == Group::Hard; },
        -1);
    ByMethod soft = results.pooled(inGroup(Group::Soft), -1);
    ByMethod rushes = results.pooled(inGroup(Group::Rushes), -1);
    std::fprintf(out, "quality: %s; filter keeps %.2f of ordinary footage\nsoft: %s\nrushes: %s\n",
                 hardFigures(quality).c_str(), ordinaryKept, softFigures(soft).c_str(),
                 rushesFigures(rushes).c_str());
    std::fprintf(out, "%s\n", speech.c_str());
    std::fflush(out);
    return failures.empty() ? 0 : 1;
}

const BenchRegistration qualityRegistration("quality", "[FOLDER]", &benchQuality);
} // namespace

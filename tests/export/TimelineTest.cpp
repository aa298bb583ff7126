// The editor timelines read back by readers of the tests' own: each clip at
// the frames of its segment, the structure an editor needs, and awkward
// sources, empty summaries and varying rates.

#include "EditorTimeline.h"
#include "TimelineReaders.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct Rate {
    int num;
    int den;
};

// A report whose segments begin and end exactly on the given frames.
SummaryReport reportOf(const std::string& video, Rate rate, bool sound,
                       const std::vector<std::pair<int64_t, int64_t>>& cuts) {
    SummaryReport r;
    r.video = video;
    r.frameRateNum = rate.num;
    r.frameRateDen = rate.den;
    r.hasAudio = sound;
    r.width = 320;
    r.height = 240;
    r.duration = 900.0;
    for (const auto& [in, frames] : cuts)
        r.segments.push_back({static_cast<double>(in) * rate.den / rate.num,
                              static_cast<double>(in + frames) * rate.den / rate.num,
                              static_cast<int>(frames)});
    return r;
}

// Each reader's view of the three files of one report.
struct ReadBack {
    ReadTimeline otio, fcpxml, mlt;
};

ReadBack readAll(const SummaryReport& r) {
    return {readOtio(formatOtio(r)), readFcpxml(formatFcpxml(r)), readMlt(formatMlt(r))};
}

void expectCuts(const ReadTimeline& t, const std::vector<std::pair<int64_t, int64_t>>& cuts,
                bool sound) {
    ASSERT_TRUE(t.problems.empty()) << t.problems;
    ASSERT_EQ(t.video.size(), cuts.size());
    int64_t record = 0;
    for (size_t i = 0; i < cuts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t.video[i].in, cuts[i].first);
        EXPECT_EQ(t.video[i].frames, cuts[i].second);
        EXPECT_EQ(t.video[i].record, record);
        EXPECT_EQ(t.video[i].name.rfind("Segment " + std::to_string(i + 1) + " (", 0), 0u)
            << t.video[i].name;
        record += cuts[i].second;
    }
    EXPECT_EQ(t.hasAudio, sound);
    if (sound && t.audioClips >= 0) {
        EXPECT_EQ(t.audioClips, static_cast<int>(cuts.size()));
    }
}

} // namespace

// Every clip falls on its segment's frames at the source's own rate, even
// ten minutes in at 29.97, and the sound is a track only when there is sound.
TEST(EditorTimeline, ClipsFallOnTheSegmentsFrames) {
    struct Case {
        const char* name;
        Rate rate;
        bool sound;
        std::vector<std::pair<int64_t, int64_t>> cuts; // first frame, frames
    };
    const Case cases[] = {
        {"25", {25, 1}, true, {{0, 25}, {60, 13}, {301, 7}}},
        {"29.97", {30000, 1001}, true, {{1, 30}, {17982, 29}, {17983 + 29, 1}}},
        {"23.976", {24000, 1001}, false, {{48, 24}, {14386, 47}}},
        {"50", {50, 1}, true, {{99, 1}, {100, 250}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SummaryReport r = reportOf("/media/clips/film.mp4", c.rate, c.sound, c.cuts);
        const ReadBack read = readAll(r);
        for (const ReadTimeline* t : {&read.otio, &read.fcpxml, &read.mlt}) {
            SCOPED_TRACE(t->format);
            expectCuts(*t, c.cuts, c.sound);
            EXPECT_DOUBLE_EQ(t->rate, static_cast<double>(c.rate.num) / c.rate.den);
            EXPECT_EQ(t->source, "/media/clips/film.mp4");
        }
        EXPECT_EQ(read.mlt.width, 320);
        EXPECT_EQ(read.fcpxml.width, 320);
    }
    const SummaryReport r = reportOf("/v/a.mp4", {25, 1}, false, {{0, 5}, {1530, 5}});
    EXPECT_EQ(timelineCuts(r)[1].name, "Segment 2 (1:01.20)");
}

// Names that need escaping, a relative path, an empty summary and a varying
// rate: each file still parses, names the source exactly and counts at the
// rate it says.
TEST(EditorTimeline, AwkwardSourcesStayReadable) {
    const std::string here = std::filesystem::current_path().string();
    struct Case {
        const char* name;
        std::string video;
        std::string opened; // the path an editor opens
        std::vector<std::pair<int64_t, int64_t>> cuts;
        bool varying;
    };
    const Case cases[] = {
        {"escaped",
         "/tmp/My \"best\" & <worst> 'clip' #1 ñandú 100%.mp4",
         "/tmp/My \"best\" & <worst> 'clip' #1 ñandú 100%.mp4",
         {{0, 10}, {40, 10}},
         false},
        {"relative", "clips/../clips/film.mp4", here + "/clips/film.mp4", {{5, 5}}, false},
        {"empty", "/v/film.mp4", "/v/film.mp4", {}, false},
        {"varying", "/v/film.mp4", "/v/film.mp4", {{0, 37}, {112, 37}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SummaryReport r = reportOf(c.video, {2500, 67}, true, c.cuts);
        if (c.varying) {
            r.frameRateNum = 50; // the quickest the pictures come
            r.frameRateDen = 1;
            r.variableRate = true;
            r.averageRateNum = 2500;
            r.averageRateDen = 67;
        }
        const ReadBack read = readAll(r);
        for (const ReadTimeline* t : {&read.otio, &read.fcpxml, &read.mlt}) {
            SCOPED_TRACE(t->format);
            expectCuts(*t, c.cuts, true);
            // An empty OTIO timeline has no clip to name the file.
            if (!c.cuts.empty() || t->format != "otio") {
                EXPECT_EQ(t->source, c.opened);
            }
            EXPECT_DOUBLE_EQ(t->rate, 2500.0 / 67);
        }
    }
}

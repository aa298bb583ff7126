// The timelines tessaro-summarize writes of real videos: the clips where
// the segment list says, a varying rate told once, and melt rendering the
// very source frames the summary keeps.

#include "ChildProcess.h"
#include "TestMedia.h"
#include "TimelineReaders.h"
#include "ToolTestSupport.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

ReadTimeline readAs(const std::string& format, const std::string& text) {
    if (format == "otio")
        return readOtio(text);
    return format == "fcpxml" ? readFcpxml(text) : readMlt(text);
}

const char* const kVaryingNote = "has a varying frame rate";

// First frame and length of each segment of the JSON list, at `rate`.
std::vector<std::pair<int64_t, int64_t>> listedFrames(const std::string& list, double rate) {
    std::vector<std::pair<int64_t, int64_t>> frames;
    const nlohmann::json json = nlohmann::json::parse(list);
    for (const auto& s : json["segments"]) {
        const int64_t in = std::llround(s["start"].get<double>() * rate);
        frames.emplace_back(in, std::llround(s["end"].get<double>() * rate) - in);
    }
    return frames;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Per-picture checksums of the luma of a video's pictures (those `select`
// keeps), as FFmpeg decodes them.
std::vector<std::string> lumaChecksums(const std::string& video, const std::string& select) {
    std::string filter = "format=gray";
    if (!select.empty())
        filter = "select='" + select + "'," + filter;
    const ChildRun run =
        runChild({{"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", video, "-map", "0:v:0",
                   "-vf", filter, "-fps_mode", "passthrough", "-f", "framemd5", "-"}});
    std::vector<std::string> sums;
    for (const std::string& line : lines(run.out))
        if (!line.empty() && line[0] != '#')
            sums.push_back(line.substr(line.find_last_of(", ") + 1));
    return sums;
}

} // namespace

// The clips of each timeline fall on the frames of the tool's own segment
// list, at 25 and 29.97 fps; a source without sound has no sound track, a
// varying rate is told once, only when a timeline is written.
TEST(EditorTimelineTool, ClipsMatchTheSegmentList) {
    struct Case {
        const char* video;
        const char* format;
        double rate; // the timeline's
        bool sound;
        bool varying;
    };
    const Case cases[] = {
        {kScenes, "mlt", 25.0, true, false},
        {kScenes, "fcpxml", 25.0, true, false},
        {kNtscAac, "otio", 30000.0 / 1001, true, false},
        {kNtscAac, "fcpxml", 30000.0 / 1001, true, false},
        {kVideoOnly, "otio", 25.0, false, false},
        {kVideoOnly, "mlt", 25.0, false, false},
        {kVaryingRate, "mlt", 2500.0 / 67, false, true},
        {kVaryingRate, "edl", 0.0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.video) + " " + c.format);
        const std::string video = testMedia(c.video);
        const ChildRun run = runProgram(
            {"--no-store", "-q", "-t", "0.5", "--continuity-weight", "0", "-f", c.format, video});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(occurrences(run.err, kVaryingNote), c.varying ? 1u : 0u) << run.err;
        if (c.rate == 0.0)
            continue;
        const ChildRun list =
            runProgram({"--no-store", "-q", "-t", "0.5", "--continuity-weight", "0", video});
        ASSERT_EQ(list.status, 0) << list.err;
        const ReadTimeline t = readAs(c.format, run.out);
        ASSERT_TRUE(t.problems.empty()) << t.problems;
        EXPECT_DOUBLE_EQ(t.rate, c.rate);
        EXPECT_EQ(t.hasAudio, c.sound);
        const auto expected = listedFrames(list.out, c.rate);
        ASSERT_EQ(t.video.size(), expected.size());
        ASSERT_FALSE(expected.empty());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(t.video[i].in, expected[i].first) << i;
            EXPECT_EQ(t.video[i].frames, expected[i].second) << i;
        }
    }
}

// An empty summary is an empty timeline an editor still opens, told as the
// other lists tell it.
TEST(EditorTimelineTool, EmptySummaryIsAnEmptyTimeline) {
    const std::string video = testMedia(kH264Aac);
    const std::vector<std::string> empty = {
        "--no-store", "-q", "-t", "0", "--length-weight", "1", "--continuity-weight", "0"};
    std::vector<std::string> edl = empty;
    edl.insert(edl.end(), {"-f", "edl", video});
    const ChildRun reference = runProgram(edl);
    for (const std::string format : {"otio", "fcpxml", "mlt"}) {
        SCOPED_TRACE(format);
        std::vector<std::string> arguments = empty;
        arguments.insert(arguments.end(), {"-f", format, video});
        const ChildRun run = runProgram(arguments);
        EXPECT_EQ(run.status, reference.status) << run.err;
        EXPECT_EQ(run.err, reference.err);
        const ReadTimeline t = readAs(format, run.out);
        EXPECT_TRUE(t.problems.empty()) << t.problems;
        EXPECT_TRUE(t.video.empty());
    }
}

// melt renders the .mlt to the very source frames the summary keeps: the
// luma of each picture it writes (losslessly) is that of the source frame
// at the kept frame number.
TEST(EditorTimelineTool, MeltRendersTheKeptSourceFrames) {
    const std::string melt = "/usr/bin/melt";
    if (!std::filesystem::exists(melt))
        GTEST_SKIP() << "melt is not installed (scripts/install-deps installs it)";
    for (const char* name : {kScenes, kNtscAac}) {
        SCOPED_TRACE(name);
        const std::string folder = scratchDirectory(std::string("melt-") + name);
        const std::string video = testMedia(name);
        const std::string project = folder + "/summary.mlt";
        const std::string rendered = folder + "/rendered.mkv";
        const ChildRun run = runProgram(
            {"--no-store", "-q", "-t", "0.5", "--continuity-weight", "0", "-f", "mlt", video});
        ASSERT_EQ(run.status, 0) << run.err;
        std::ofstream(project) << run.out;
        const ChildRun rendering =
            runChild({{melt, "-quiet", project, "-consumer", std::string("avformat:") + rendered,
                       "vcodec=ffv1", "an=1"}});
        ASSERT_EQ(rendering.status, 0) << rendering.err;

        const ReadTimeline t = readMlt(fileText(project));
        ASSERT_TRUE(t.problems.empty()) << t.problems;
        ASSERT_FALSE(t.video.empty());
        std::string select;
        for (const ReadClip& clip : t.video)
            select += (select.empty() ? "" : "+") + std::string("between(n\\,") +
                      std::to_string(clip.in) + "\\," + std::to_string(clip.in + clip.frames - 1) +
                      ")";
        const std::vector<std::string> kept = lumaChecksums(video, select);
        const std::vector<std::string> played = lumaChecksums(rendered, "");
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(played, kept);
    }
}

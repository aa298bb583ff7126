// tessaro-summarize run as a user runs it, and the segments it prints
// against the engine's run in this process.

#include "ContactSheet.h"
#include "HeadlessSummary.h"
#include "SummarizeOptions.h"
#include "TestMedia.h"
#include "ToolTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

QJsonObject parseJson(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
}

TEST(SummarizeProgram, EachOutcomeHasItsStatusAndLeavesNoPartialFile) {
    const std::string dir = scratchDirectory("ProgramStatus");
    const std::string inputs = scratchDirectory("ProgramStatusInputs");
    const std::string out = dir + "/s.mp4", sheet = dir + "/s.png", copy = inputs + "/copy.mp4";
    std::filesystem::copy_file(testMedia(kScenes), copy);
    const std::string scenes = testMedia(kScenes);
    const struct {
        std::vector<std::string> arguments;
        bool withOutputs; // -o and --contact-sheet into the scratch folder
        int status;
        int errLines;
        bool interrupted = false; // SIGTERM once the outputs are begun
        const char* listStart = "";
    } cases[] = {
        {{"--help"}, false, 0, 0},
        {{"--version"}, false, 0, 0},
        // Not a terminal: no progress line.
        {{"-f", "csv", scenes}, false, 0, 0, false, "segment,start,end"},
        {{"--format=edl", scenes}, false, 0, 0, false, "TITLE: "},
        {{"-f", "chapters", "--no-store", scenes}, false, 0, 0, false, ";FFMETADATA1\n"},
        {{"--bogus", scenes}, true, 2, 1},
        {{"-o", copy, copy}, false, 2, 1},
        {{"--contact-sheet", copy, copy}, false, 2, 1},
        {{"-o", out, "--contact-sheet", out, scenes}, false, 2, 1},
        {{testMedia(kMissing)}, true, 3, 1},
        {{inputs}, true, 3, 1},
        {{testMedia(kEmpty)}, true, 4, 1},
        {{testMedia(kText)}, true, 4, 1},
        {{testMedia(kAudioOnly)}, true, 4, 1},
        {{testMedia(kAudioCover)}, true, 4, 1},
        {{testMedia(kTooLarge)}, true, 4, 1},
        {{testMedia(kGarbageAfterHeader)}, true, 4, 1},
        {{"-o", dir + "/no/such/out.mp4", "--contact-sheet", sheet, scenes}, false, 5, 1},
        // A picture every million seconds: more than an MP4 summary can time.
        {{testMedia(kRateTiny)}, true, 5, 1},
        {{testMedia(kH264_720p)}, true, 130, 1, true},
        // One picture: the engine drops a lone last frame, so the summary is
        // empty, and each output not written is said.
        {{testMedia(kOnePicture)}, true, 0, 2},
        // Sound that cannot be decoded, or that ends before the pictures:
        // summarised all the same, with speech kept whole, and said once.
        {{"--whole-speech", "--no-store", "-f", "csv", testMedia(kNoAudioDecoder)}, false, 0, 1,
         false, "segment,start,end"},
        {{"--whole-speech", "--no-store", "-f", "csv", testMedia(kSoundCutShort)}, false, 0, 1,
         false, "segment,start,end"},
    };
    for (const auto& c : cases) {
        Child program{.command = {TESSARO_SUMMARIZE_PROGRAM}};
        if (c.withOutputs)
            program.command.insert(program.command.end(), {"-o", out, "--contact-sheet", sheet});
        program.command.insert(program.command.end(), c.arguments.begin(), c.arguments.end());
        if (c.interrupted)
            program.ready = [&](const std::string&) { return fileCount(dir) > 0; };
        const ChildRun run = runChild(program);
        SCOPED_TRACE(program.command.back() + "\n" + run.err);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out.empty(), c.status != 0);
        EXPECT_EQ(run.out.rfind(c.listStart, 0), 0u);
        const std::vector<std::string> said = lines(run.err);
        EXPECT_EQ(said.size(), size_t(c.errLines));
        for (const std::string& line : said)
            EXPECT_EQ(line.rfind("tessaro-summarize: ", 0), 0u);
        EXPECT_EQ(fileCount(dir), 0u);
    }
    EXPECT_EQ(inspectMedia(copy).videoStreams, 1);
}

TEST(SummarizeProgram, SummaryVideoAndContactSheetMatchTheSegments) {
    const struct {
        const char* file;
        std::vector<std::string> settings;
        // Where the chapters begin and end, in milliseconds, when known by hand.
        std::vector<std::pair<int, int>> chapters = {};
    } cases[] = {
        {kScenes, {"-t", "0.3"}},
        // All of it, cut at its cuts: frames 38, 90 and 125 of 150 at 25 fps.
        {kCuts, {"-t", "1", "--shot-aware"}, {{0, 1520}, {1520, 3600}, {3600, 5000}, {5000, 6000}}},
        // Frames 40 to 42 missing: its segment spans more time than frames.
        {kMpeg4Mp3, {}},
        {kVideoOnly, {}},
        // Four pictures at one a second with 5.1 sound: one short fragment.
        {kSparseVideo, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string dir = scratchDirectory("ProgramOutputs");
        std::vector<std::string> arguments = c.settings;
        arguments.insert(arguments.end(), {"-o", dir + "/s.mp4", "--contact-sheet", dir + "/s.png",
                                           testMedia(c.file)});
        const ChildRun run = runProgram(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        const QJsonObject o = parseJson(run.out);
        const double summary = o["summary_duration"].toDouble();
        const int segments = o["segments"].toArray().size();
        ASSERT_GT(segments, 0);
        EXPECT_EQ(fileCount(dir), 2u); // no temporary file left

        const StreamInfo source = inspectMedia(testMedia(c.file));
        const StreamInfo info = inspectMedia(dir + "/s.mp4");
        EXPECT_EQ(info.videoStreams, 1);
        EXPECT_EQ(info.width, source.width);
        EXPECT_EQ(info.height, source.height);
        EXPECT_DOUBLE_EQ(info.frameRate, source.frameRate);
        EXPECT_EQ(info.videoFrames, std::llround(summary * source.frameRate));
        EXPECT_TRUE(info.timestampsContinuous);
        EXPECT_NEAR(info.duration, summary, 1.0 / source.frameRate);
        EXPECT_EQ(info.audioStreams, source.audioStreams);
        // A chapter where each segment begins in the summary.
        ASSERT_EQ(info.chapterStarts.size(), size_t(segments));
        double begins = 0.0;
        for (int i = 0; i < segments; ++i) {
            EXPECT_NEAR(info.chapterStarts[i], begins, 0.001);
            const QJsonObject s = o["segments"].toArray()[i].toObject();
            begins += s["end"].toDouble() - s["start"].toDouble();
        }
        if (!c.chapters.empty()) {
            ASSERT_EQ(info.chapterEnds.size(), c.chapters.size());
            for (size_t i = 0; i < c.chapters.size(); ++i) {
                EXPECT_NEAR(info.chapterStarts[i], c.chapters[i].first / 1000.0, 1e-9);
                EXPECT_NEAR(info.chapterEnds[i], c.chapters[i].second / 1000.0, 1e-9);
            }
        }
        if (source.audioStreams > 0) {
            EXPECT_NEAR(info.audioDuration, summary, 0.05);
        }

        // One cell per segment, not per fragment.
        ContactSheet expected(source.width, source.height);
        for (int i = 0; i < segments; ++i)
            expected.add(solidPicture(source.width, source.height, 0, 128, 128).get(), i);
        const DecodedPng png = decodePng(dir + "/s.png");
        EXPECT_EQ(png.width, expected.layout().width);
        EXPECT_EQ(png.height, expected.layout().height);
    }
}

TEST(SummarizeProgram, TheStoreChangesNoByteAndFfmpegTakesTheChapterList) {
    const std::string dir = scratchDirectory("ProgramStore");
    const std::string video = testMedia(kScenes);
    const std::string cache = getenv("XDG_CACHE_HOME") ? getenv("XDG_CACHE_HOME") : "";
    setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
    const std::vector<std::string> chapters = {"-t", "0.3", "-f", "chapters", video};
    // With pictures to write: decoded as the tree goes, then read from the
    // store after the whole tree.
    auto withPictures = [&](const std::string& name) {
        std::vector<std::string> arguments = {"--threads",
                                              "1",
                                              "-o",
                                              dir + "/" + name + ".mp4",
                                              "--contact-sheet",
                                              dir + "/" + name + ".png"};
        arguments.insert(arguments.end(), chapters.begin(), chapters.end());
        return arguments;
    };
    const ChildRun empty = runProgram(withPictures("decoded"));
    const ChildRun full = runProgram(withPictures("stored"));
    std::vector<std::string> noStore = chapters;
    noStore.insert(noStore.begin(), "--no-store");
    const ChildRun off = runProgram(noStore);
    const ChildRun csv = runProgram({"-t", "0.3", "-f", "csv", video});
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    ASSERT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(full.out, empty.out);
    EXPECT_EQ(off.out, empty.out);
    EXPECT_EQ(empty.err + full.err + off.err, "");
    EXPECT_EQ(fileCount(dir + "/cache/tessaro"), 1u); // the database alone, no journal left
    for (const char* suffix : {".mp4", ".png"}) {
        const auto bytes = [&](const std::string& name) {
            std::ifstream in(dir + "/" + name + suffix, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        EXPECT_FALSE(bytes("decoded").empty());
        EXPECT_TRUE(bytes("stored") == bytes("decoded")) << suffix;
    }

    std::ofstream(dir + "/chapters.txt") << empty.out;
    const ChildRun ffmpeg = runChild(
        {.command = {"/usr/bin/ffmpeg", "-v", "error", "-i", video, "-i", dir + "/chapters.txt",
                     "-map", "0", "-map_chapters", "1", "-c", "copy", dir + "/with-chapters.mkv"}});
    ASSERT_EQ(ffmpeg.status, 0) << ffmpeg.err;
    const std::vector<std::string> rows = lines(csv.out);
    const StreamInfo info = inspectMedia(dir + "/with-chapters.mkv");
    ASSERT_EQ(info.chapterStarts.size() + 1, rows.size());
    for (size_t i = 0; i < info.chapterStarts.size(); ++i)
        EXPECT_NEAR(info.chapterStarts[i], std::stod(rows[i + 1].substr(rows[i + 1].find(',') + 1)),
                    0.001);
}

TEST(SummarizeProgram, TheProgressLineShowsOnlyOnATerminalAndNotWhenQuiet) {
    const std::string dir = scratchDirectory("ProgressLine");
    const std::string video = testMedia(kH264_720p);
    // Decoded, not read back from the store in a blink.
    const struct {
        std::vector<std::string> arguments;
        const char* line;
    } runs[] = {
        {{"--no-store", video}, "\rsummarizing "},
        // The summary video's writing follows its analysis.
        {{"--no-store", "-o", dir + "/summary.mp4", video}, "\rwriting summary.mp4"},
        // The report on standard output, the line on standard error.
        {{"--no-store", "-j", "2", "--out-dir", dir, video, testMedia(kScenes)}, " of 2 done  "},
    };
    for (const auto& r : runs)
        for (const bool quiet : {false, true}) {
            SCOPED_TRACE(r.line);
            Child program{.command = {TESSARO_SUMMARIZE_PROGRAM}, .terminal = true};
            program.command.insert(program.command.end(), r.arguments.begin(), r.arguments.end());
            if (quiet)
                program.command.push_back("-q");
            const ChildRun run = runChild(program);
            EXPECT_EQ(run.status, 0) << run.err;
            // One line, redrawn in place, and cleared at the end.
            EXPECT_EQ(run.err.find('\n'), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find_first_not_of(" \r", run.err.rfind('\r', run.err.size() - 2)),
                      std::string::npos)
                << run.err;
            EXPECT_EQ(run.err.find(r.line) == std::string::npos, quiet) << run.err;
        }
}

TEST(HeadlessSummary, TheProgramPrintsTheEnginesSegments) {
    const std::vector<std::string> settings[] = {
        {},
        {"-t", "1"},
        {"--junk-filter"},
        {"--shot-aware", "-t", "0.3"},
        {"--target=0.3", "--length-weight=0.5", "--continuity-weight=0.3",
         "--redundancy-weight=0.1", "--activity-weight=0.6", "--depth=20", "--nodes=100"},
    };
    const std::string video = testMedia(kScenes);
    int keptFrames[std::size(settings)] = {};
    for (size_t row = 0; row < std::size(settings); ++row) {
        SCOPED_TRACE(row);
        std::vector<std::string> arguments = settings[row];
        arguments.insert(arguments.end(), {"-q", video});
        HeadlessSummary headless(video, parseCommandLine(arguments).options.settings);
        double position = -1.0;
        int64_t pictures = -1;
        ASSERT_TRUE(headless.run({}, [&](double seconds, int64_t decoded) {
            EXPECT_GE(seconds, position);
            EXPECT_GE(decoded, pictures);
            position = seconds;
            pictures = decoded;
            return true;
        }));
        // The progress reaches the whole video.
        EXPECT_EQ(pictures, 250);
        EXPECT_NEAR(position, 10.0, 1e-9);
        for (const KeptFragment& f : headless.keptFragments())
            keptFrames[row] += f.frames;

        const std::vector<Segment> expected = mergeFragments(headless.keptFragments());
        const ChildRun run = runProgram(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        const QJsonObject o = parseJson(run.out);
        EXPECT_EQ(o["video"].toString().toStdString(), video);
        EXPECT_NEAR(o["duration"].toDouble(), 10.0, 0.05);
        const QJsonArray segments = o["segments"].toArray();
        ASSERT_EQ(size_t(segments.size()), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const QJsonObject s = segments[int(i)].toObject();
            EXPECT_NEAR(s["start"].toDouble(), expected[i].start, 0.0005);
            EXPECT_NEAR(s["end"].toDouble(), expected[i].end, 0.0005);
            EXPECT_EQ(s["frames"].toInt(), expected[i].frames);
        }
    }
    // The settings reach the engine: a longer target keeps more.
    EXPECT_GT(keptFrames[1], keptFrames[0]);
}

} // namespace

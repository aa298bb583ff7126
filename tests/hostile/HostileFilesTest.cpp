// Damaged and misleading files, read in this process as the player reads
// them, and two of them played by the real player: each is refused or gives
// what it holds, without a crash, a hang or a runaway allocation.

#include "ChildProcess.h"
#include "FragmentDecoder.h"
#include "Glance.h"
#include "PlayerLoopFixture.h"
#include "TestMedia.h"

#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

// Ample for these small files (sanitizers included), far below one picture
// of the size too_large.y4m claims.
constexpr long kMemoryBoundKilobytes = 1024L * 1024;

struct Reading {
    const char* file;
    bool opens;
    int frames; // pictures in its fragments; -1: some, not all of the 100 made
    // The glance at its key frames: at least this many pictures, the last
    // at or past this time.
    int glanced = 0;
    double glanceReaches = 0.0;
};

// What the glance at a file's key frames gives, as the player takes it
// before the analysis: pictures in order over the time it can read.
void expectGlance(const Reading& c) {
    const std::optional<Glance> glance = glanceAt(testMedia(c.file), [] { return true; });
    const size_t pictures = glance ? glance->pictures.size() : 0;
    EXPECT_GE(pictures, static_cast<size_t>(c.glanced));
    if (pictures == 0)
        return;
    for (size_t i = 1; i < pictures; ++i)
        EXPECT_GT(glance->pictures[i].seconds, glance->pictures[i - 1].seconds);
    EXPECT_GE(glance->pictures.back().seconds, c.glanceReaches - 0.01);
    EXPECT_GE(glance->end, glance->pictures.back().seconds);
    for (const GlancePicture& picture : glance->pictures)
        EXPECT_FALSE(picture.thumbnail.empty());
}

TEST(HostileFiles, ReadAsThePlayerReadsThem) {
    const Reading cases[] = {
        {kEmpty, false, 0},
        {kText, false, 0},
        {kAudioOnly, false, 0},
        {kAudioCover, false, 0},
        {kTooLarge, false, 0},
        {kTruncated, true, -1, 1, 0.0},
        {kTruncatedMkv, true, -1, 1, 0.0},
        {kGarbageAfterHeader, true, 0},
        {kOnePicture, true, 0},
        {kRateZero, true, 20, 1, 0.0},
        {kRateHuge, true, 20, 1, 0.0},
        {kRateTiny, true, 20, 20, 19e6},
        {kOnePixel, true, 25, 1, 0.0},
        {kBackwards, true, 50, 1, 0.0},
        {kSizeChange, true, 50, 1, 0.0},
        {kTinyFragments, true, 25, 1, 0.0},
        // No index: key frames 1 s apart, taken 2 s apart from the packets in order.
        {kNoCues, true, 200, 4, 6.0},
        {kSparseKeys, true, 480, 4, 180.0},
        {kOpenGop, true, 100, 2, 2.0},
        {kVaryingRate, true, 149, 2, 2.0},
    };
    for (const Reading& c : cases) {
        SCOPED_TRACE(c.file);
        expectGlance(c);
        FragmentDecoder decoder(testMedia(c.file).c_str());
        VideoReader& reader = decoder.videoReader();
        ASSERT_EQ(reader.status() == VideoReader::OK, c.opens);
        if (!c.opens)
            continue;
        int width = 0, height = 0, frames = 0;
        reader.getVideoSize(&width, &height);
        // An endless stream of fragments is a hang too: these files hold a few.
        int fragments = 0;
        for (; fragments < 50; ++fragments) {
            const std::unique_ptr<FrameBuffer> fragment = decoder.decodeFragment();
            if (!fragment)
                break;
            for (const Frame& frame : fragment->frames) {
                ++frames;
                EXPECT_EQ(frame.descriptors.width, width);
                EXPECT_EQ(frame.descriptors.height, height);
                EXPECT_TRUE(std::isfinite(frame.frameTime));
            }
        }
        EXPECT_LT(fragments, 50);
        if (c.frames >= 0)
            EXPECT_EQ(frames, c.frames);
        else
            EXPECT_TRUE(frames > 0 && frames < 100) << frames;
        // A seek as the position slider makes one, then a fragment more.
        const double seconds = reader.timestampToSeconds(reader.getVideoLength());
        decoder.seekFrameWKey(std::isfinite(seconds) ? seconds / 2 : 0.0);
        decoder.decodeFragment();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        EXPECT_LT(usage.ru_maxrss, kMemoryBoundKilobytes);
    }
}

TEST(HostileFiles, ThePlayerPlaysDamagedStreamsAndClosesOrderly) {
    for (const char* file : {kTruncated, kSizeChange}) {
        SCOPED_TRACE(file);
        // From a folder without cascades, so that the build tree's copies are
        // found; long enough for the analysis to read past the damage.
        const Child player{
            .command = {TESSARO_PLAYER, testMedia(file)},
            .directory = "/",
            .ready = [](const std::string& out) { return out.find("Visualitation") != out.npos; },
            .delayMs = 1500};
        const ChildRun run = runChild(player);
        EXPECT_FALSE(run.hung);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_LT(run.peakKilobytes, kMemoryBoundKilobytes);
    }
}

// The end of the last picture a reader gives from the first one on.
double lastPictureEnd(const char* file) {
    VideoReader reader(testMedia(file).c_str());
    AVFrame* picture = nullptr;
    double last = 0.0;
    while (reader.getNextFrame(&picture))
        last = reader.timestampToSeconds(picture->pts);
    return last + 1.0 / reader.getFrameRate();
}

using PartlyReadVideo = PlayerLoopTest;

// A file whose data ends half way through the length it claims: Play and
// Summary both end where the data ends, from the start and after a seek
// past it, and the state tells where that is.
TEST_F(PartlyReadVideo, PlayAndSummaryEndWhereTheDataEnds) {
    struct Run {
        const char* file;
        PlayerMode mode;
        bool seekPastData;
    };
    const Run runs[] = {
        {kTruncated, PlayerMode::Play, false},     {kTruncated, PlayerMode::Summary, false},
        {kTruncated, PlayerMode::Play, true},      {kTruncated, PlayerMode::Summary, true},
        {kTruncatedMkv, PlayerMode::Play, true},   {kTruncatedMkv, PlayerMode::Summary, true},
        {kTruncatedMkv, PlayerMode::Summary, false},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(std::string(run.file) + (run.mode == PlayerMode::Play ? " Play" : " Summary") +
                     (run.seekPastData ? " after a seek past the data" : ""));
        const double end = lastPictureEnd(run.file);
        core.setDuration(4.0);
        core.screen.handedAll = false;
        open(run.mode, run.file);
        if (run.seekPastData)
            seek(3.5);
        const std::vector<double> times = runToEnd();
        EXPECT_TRUE(loop->ended());
        EXPECT_TRUE(core.screen.handedAll);
        const double readable = core.state.snapshot().readableEnd;
        EXPECT_NEAR(readable, end, 0.1);
        EXPECT_LT(end, 3.0); // the file itself is cut short
        if (run.seekPastData) {
            // The last readable picture, or nothing more.
            for (const double t : times) {
                EXPECT_LT(t, readable);
            }
        } else {
            ASSERT_FALSE(times.empty());
            EXPECT_LT(times.back(), readable);
            if (run.mode == PlayerMode::Play) {
                EXPECT_GT(times.back(), readable - 0.1);
            }
        }
        loop.reset();
        core.state.update([](PlayerState& s) { return changeTo(s.readableEnd, -1.0); });
    }
}

// The tool summarises what can be read of a file cut short, says so even
// when quiet, gives the readable length, and ends with a status of its own;
// a batch that meets it again does it again.
TEST(HostileFiles, TheToolSummarisesWhatCanBeReadOfAFileCutShort) {
    for (const char* file : {kTruncated, kTruncatedMkv}) {
        SCOPED_TRACE(file);
        const ChildRun run = runChild(
            {.command = {TESSARO_SUMMARIZE, "--no-store", "-q", "-f", "json", testMedia(file)}});
        EXPECT_EQ(run.status, 7);
        EXPECT_EQ(run.err.rfind("tessaro-summarize: warning: '", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("; the rest cannot be read\n"), std::string::npos) << run.err;
        const nlohmann::json list = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_TRUE(list.is_object()) << run.out;
        EXPECT_NEAR(list.value("duration", 0.0), lastPictureEnd(file), 0.1);
        EXPECT_NEAR(list.value("claimed_duration", 0.0), 4.0, 0.1);
        EXPECT_EQ(list.value("partly_read", false), true);

        const std::string folder = std::filesystem::temp_directory_path() /
                                   ("tessaro-partly-read-" + std::to_string(getpid()));
        std::filesystem::remove_all(folder);
        for (int time = 0; time < 2; ++time) {
            const ChildRun batch =
                runChild({.command = {TESSARO_SUMMARIZE, "--no-store", "--skip-done", "--out-dir",
                                      folder, testMedia(file)}});
            EXPECT_EQ(batch.status, 7);
            EXPECT_NE(batch.out.find(R"("status": "partly read", "exit": 7)"), std::string::npos)
                << batch.out;
        }
        std::filesystem::remove_all(folder);
    }
}

// Damaged subtitles do not touch the summary: the video with --subtitles
// keeps what a copy of it alone keeps (no subtitle file beside it), with the
// lines that can be read, and says once what it passed over.
TEST(HostileFiles, TheToolSummarisesAVideoWithDamagedSubtitlesAlike) {
    const struct {
        const char* video;
        const char* said; // in the one notice
        std::vector<std::string> texts; // the .srt's lines of text, in order
    } cases[] = {
        {kSubsDamaged, "Some lines of the subtitles could not be read",
         {"Line 1", "Line 1", "Line 2", "Line 3"}},
        {kSideGarbage, "cannot be read (side_garbage.srt holds no subtitles)", {}},
        {kSideLatin1, "are not UTF-8; they are read as Latin-1",
         {"Caf\u00e9 cr\u00e8me", "Na\u00efve"}},
    };
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tessaro-hostile-subs-" + std::to_string(getpid()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.video);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        const std::string alone = folder / c.video;
        std::filesystem::copy_file(testMedia(c.video), alone);
        const std::string srt = folder / "s.srt";
        const ChildRun with = runChild({.command = {TESSARO_SUMMARIZE, "--no-store", "-q", "-t",
                                                    "1", "-f", "csv", "--subtitles", srt,
                                                    testMedia(c.video)}});
        const ChildRun without = runChild(
            {.command = {TESSARO_SUMMARIZE, "--no-store", "-q", "-t", "1", "-f", "csv", alone}});
        EXPECT_EQ(with.status, 0);
        EXPECT_EQ(without.status, 0);
        EXPECT_EQ(with.out, without.out);
        EXPECT_NE(with.out.find("segment,start,end"), std::string::npos);
        EXPECT_EQ(std::count(with.err.begin(), with.err.end(), '\n'), 1) << with.err;
        EXPECT_NE(with.err.find(c.said), std::string::npos) << with.err;
        std::ifstream in(srt, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::vector<std::string> texts;
        // Each entry: its number, its times, its one line of text, a blank line.
        size_t at = 0;
        for (int row = 0; at < text.size(); ++row) {
            const size_t end = text.find('\n', at);
            if (row % 4 == 2)
                texts.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 1;
        }
        EXPECT_EQ(texts, c.texts);
    }
    std::filesystem::remove_all(folder);
}

} // namespace

// Damaged and misleading files, read in this process as the player reads
// them, and two of them played by the real player: each is refused or gives
// what it holds, without a crash, a hang or a runaway allocation.

#include "ChildProcess.h"
#include "FragmentDecoder.h"
#include "TestMedia.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// Ample for these small files (sanitizers included), far below one picture
// of the size too_large.y4m claims.
constexpr long kMemoryBoundKilobytes = 1024L * 1024;

struct Reading {
    const char* file;
    bool opens;
    int frames; // pictures in its fragments; -1: some, not all of the 100 made
};

TEST(HostileFiles, ReadAsThePlayerReadsThem) {
    const Reading cases[] = {
        {kEmpty, false, 0},
        {kText, false, 0},
        {kAudioOnly, false, 0},
        {kAudioCover, false, 0},
        {kTooLarge, false, 0},
        {kTruncated, true, -1},
        {kGarbageAfterHeader, true, 0},
        {kOnePicture, true, 0},
        {kRateZero, true, 20},
        {kRateHuge, true, 20},
        {kRateTiny, true, 20},
        {kOnePixel, true, 25},
        {kBackwards, true, 50},
        {kSizeChange, true, 50},
        {kTinyFragments, true, 25},
    };
    for (const Reading& c : cases) {
        SCOPED_TRACE(c.file);
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

} // namespace

// Damaged, misleading and odd files given to the player and to
// tessaro-summarize: each gets a clear refusal or plays what it can, and
// neither program crashes, hangs or runs away with memory.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string kMediaDir = std::string(TESSARO_BINARY_DIR) + "/hostile-media";
// Ample for a small video, far below what a runaway allocation reaches.
constexpr long kMemoryBoundKilobytes = 1536L * 1024;
// Play time once the threads run (and SIGTERM closes the window).
constexpr int kPlayMilliseconds = 4000;
// Only detects a hang: a sound run ends long before.
constexpr int kHangMilliseconds = 120000;

enum class Player { Refuses, Plays };

struct HostileCase {
    const char* file;
    Player player;
    // tessaro-summarize's exit status: 0 summary written, 3 the file cannot be
    // read, 4 it holds no decodable video.
    int summarizeStatus;
};

// Made once for all the cases; every case fails if they could not be made.
bool hostileFilesMade() {
    static const bool made = [] {
        const std::string command =
            std::string(TESSARO_MAKE_HOSTILE_FILES) + " '" + kMediaDir + "'";
        return std::system(command.c_str()) == 0;
    }();
    return made;
}

std::string hostileFile(const char* name) {
    return kMediaDir + "/" + name;
}

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.file;
}

class HostileFile : public ::testing::TestWithParam<HostileCase> {
protected:
    void SetUp() override { ASSERT_TRUE(hostileFilesMade()); }
};

std::string environmentNote(const ChildOutcome& run) {
    return "status " + std::to_string(run.status) + ", signal " + std::to_string(run.signal) +
           "\nstdout: " + run.out.substr(0, 2000) + "\nstderr: " + run.err.substr(0, 2000);
}

TEST_P(HostileFile, PlayerRefusesOrPlaysAndClosesOrderly) {
    const HostileCase& c = GetParam();
    const std::string path = hostileFile(c.file);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const ChildOutcome run =
        runChild({TESSARO_PLAYER, path}, c.player == Player::Plays ? kPlayMilliseconds : -1,
                 kHangMilliseconds, TESSARO_BINARY_DIR, "Visualitation thread initiated");
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.hung) << environmentNote(run);
    EXPECT_TRUE(run.exited) << environmentNote(run);
    EXPECT_LT(run.peakKilobytes, kMemoryBoundKilobytes);
    if (c.player == Player::Refuses) {
        EXPECT_EQ(run.status, 255) << environmentNote(run);
        EXPECT_EQ(run.out, "\nERROR: Cannot open video " + path) << environmentNote(run);
        EXPECT_NE(run.err.find("VideoReader::VideoReader: "), std::string::npos)
            << environmentNote(run);
    } else {
        EXPECT_EQ(run.status, 0) << environmentNote(run);
        EXPECT_NE(run.out.find("Decoding thread initiated"), std::string::npos)
            << environmentNote(run);
        const std::string ending = "\nFinished 0";
        EXPECT_TRUE(run.out.size() >= ending.size() &&
                    run.out.compare(run.out.size() - ending.size(), ending.size(), ending) == 0)
            << environmentNote(run);
    }
}

#ifdef TESSARO_SUMMARIZE
TEST_P(HostileFile, SummarizerEndsWithADefinedStatus) {
    const HostileCase& c = GetParam();
    const std::string path = hostileFile(c.file);
    const ChildOutcome run =
        runChild({TESSARO_SUMMARIZE, "-q", path}, -1, kHangMilliseconds, TESSARO_BINARY_DIR);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.hung) << environmentNote(run);
    EXPECT_TRUE(run.exited) << environmentNote(run);
    EXPECT_LT(run.peakKilobytes, kMemoryBoundKilobytes);
    EXPECT_EQ(run.status, c.summarizeStatus) << environmentNote(run);
    if (c.summarizeStatus != 0)
        EXPECT_EQ(run.err.rfind("tessaro-summarize: ", 0), 0u) << environmentNote(run);
    else
        EXPECT_EQ(run.out.rfind("{", 0), 0u) << environmentNote(run);
}
#endif

const HostileCase kCases[] = {
    {"missing.mp4", Player::Refuses, 3},
    {"directory.mkv", Player::Refuses, 3},
    {"empty.mp4", Player::Refuses, 4},
    {"text.mp4", Player::Refuses, 4},
    {"image.png", Player::Plays, 0},
    {"audio_only.m4a", Player::Refuses, 4},
    {"audio_with_cover.mp3", Player::Refuses, 4},
    {"truncated_10.mp4", Player::Plays, 0},
    {"truncated_50.mp4", Player::Plays, 0},
    {"truncated_90.mp4", Player::Plays, 0},
    {"header_noise.mkv", Player::Plays, 4},
    {"huge_size.y4m", Player::Refuses, 4},
    {"large_size.y4m", Player::Refuses, 4},
    {"one_pixel.nut", Player::Plays, 0},
    {"rate_zero.y4m", Player::Plays, 0},
    {"rate_huge.y4m", Player::Plays, 0},
    {"rate_tiny.y4m", Player::Plays, 0},
    {"backwards.ts", Player::Plays, 0},
    {"size_change.ts", Player::Plays, 0},
    {"tiny_fragments.mp4", Player::Plays, 0},
};

INSTANTIATE_TEST_SUITE_P(Files, HostileFile, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             std::string name = info.param.file;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

} // namespace

// Replays every input the fuzzer once broke on (the sanitizer builds check
// that nothing on the way is misused), and checks that the harness reads.

#include "ReaderHarness.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzRegression, EveryKeptInputRunsThrough) {
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TESSARO_FUZZ_REGRESSIONS)) {
        if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.')
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::vector<uint8_t> bytes = readAll(entry.path().string());
        runReaderHarness(bytes.data(), bytes.size());
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

TEST(FuzzRegression, HarnessReadsAVideoWholeAndRefusesOtherBytes) {
    // A short copy of the bytes would end the video early.
    const std::vector<uint8_t> video = readAll(testMedia(kH264Aac));
    const ReaderRun run = runReaderHarness(video.data(), video.size());
    EXPECT_TRUE(run.opened);
    EXPECT_EQ(run.fragments, 4);
    EXPECT_EQ(run.frames, 100);
    EXPECT_GT(run.afterSeek, 0);

    const std::string text = "this is not a video\n";
    EXPECT_FALSE(
        runReaderHarness(reinterpret_cast<const uint8_t*>(text.data()), text.size()).opened);
    EXPECT_FALSE(runReaderHarness(nullptr, 0).opened);
}

} // namespace

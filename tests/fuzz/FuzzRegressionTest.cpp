// Replays every input the fuzzer once broke on (run under the sanitizers in
// CI), and checks that the in-memory reader sees what the file reader sees.

#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "ReaderHarness.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::vector<std::filesystem::path> regressionInputs() {
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(TESSARO_FUZZ_REGRESSIONS))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
            inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

TEST(FuzzRegression, EveryKeptInputRunsThrough) {
    const auto inputs = regressionInputs();
    ASSERT_FALSE(inputs.empty());
    for (const auto& path : inputs) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<uint8_t> bytes = readAll(path.string());
        // That it returns is the check here; the sanitizer builds check
        // that nothing on the way is misused.
        runReaderHarness(bytes.data(), bytes.size());
    }
}

// Fragments and frames the file reader gives for the first fragments.
std::pair<int, int> readFromFile(const std::string& path, int maxFragments) {
    FragmentDecoder decoder(path.c_str());
    int fragments = 0, frames = 0;
    for (; fragments < maxFragments; ++fragments) {
        FrameBuffer* fragment = decoder.decodeFragment();
        if (fragment == nullptr)
            break;
        frames += fragment->count;
        fragment->deleteAllFrames();
        delete fragment;
    }
    return {fragments, frames};
}

TEST(FuzzRegression, MemoryInputReadsLikeTheFile) {
    for (const char* name :
         {kH264Aac, kMpeg4Mp3, kVp9Opus, kAudioFirst, kRgb24, kPal8, kOddSize, kFrames51}) {
        SCOPED_TRACE(name);
        const std::string path = testMedia(name);
        const std::vector<uint8_t> bytes = readAll(path);
        const ReaderRun run = runReaderHarness(bytes.data(), bytes.size());
        ASSERT_TRUE(run.opened);
        const auto [fragments, frames] = readFromFile(path, kHarnessFragments);
        EXPECT_EQ(run.fragments, fragments);
        EXPECT_EQ(run.frames, frames);
        EXPECT_GT(run.frames, 0);
        EXPECT_GT(run.afterSeek, 0);
    }
}

TEST(FuzzRegression, BytesThatAreNoVideoAreRefused) {
    const std::string text = "this is not a video\n";
    const ReaderRun run =
        runReaderHarness(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    EXPECT_FALSE(run.opened);
    EXPECT_FALSE(runReaderHarness(nullptr, 0).opened);
}

} // namespace

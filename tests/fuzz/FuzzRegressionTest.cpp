// Replays every input the fuzzers once broke on (the sanitizer builds check
// that nothing on the way is misused), and checks that each harness reads
// what it is meant to, so that a fuzzer never runs on a harness that refuses
// everything.

#include "DescriptorFile.h"
#include "FrameChunk.h"
#include "ReaderHarness.h"
#include "SoundChunk.h"
#include "SoundHarness.h"
#include "StoreHarness.h"
#include "SubtitleHarness.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

const uint8_t* bytesOf(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

TEST(FuzzRegression, EveryKeptInputRunsThrough) {
    using Harness = std::function<void(const uint8_t*, size_t)>;
    const struct {
        const char* folder;
        Harness harness;
    } targets[] = {
        {"", [](const uint8_t* d, size_t n) { runReaderHarness(d, n); }},
        {"sound", [](const uint8_t* d, size_t n) { runSoundHarness(d, n); }},
        {"sound-analysis", [](const uint8_t* d, size_t n) { runSoundAnalysisHarness(d, n); }},
        {"store", [](const uint8_t* d, size_t n) { runStoreHarness(d, n); }},
        {"descriptor-file", [](const uint8_t* d, size_t n) { runDescriptorFileHarness(d, n); }},
        {"subtitles", [](const uint8_t* d, size_t n) { runSubtitleHarness(d, n); }},
    };
    int inputs = 0;
    for (const auto& target : targets) {
        const std::filesystem::path folder =
            std::filesystem::path(TESSARO_FUZZ_REGRESSIONS) / target.folder;
        if (!std::filesystem::is_directory(folder))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.')
                continue;
            SCOPED_TRACE(entry.path().string());
            const std::vector<uint8_t> bytes = readAll(entry.path().string());
            target.harness(bytes.data(), bytes.size());
            ++inputs;
        }
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
    EXPECT_FALSE(runReaderHarness(bytesOf(text), text.size()).opened);
    EXPECT_FALSE(runReaderHarness(nullptr, 0).opened);
}

TEST(FuzzRegression, SoundAndStoreHarnessesReachTheirReaders) {
    // Every span of the sound is taken: the last jump lands past the file's
    // end, where silence fills in.
    const std::vector<uint8_t> video = readAll(testMedia(kBeepsAac));
    const SoundRun sound = runSoundHarness(video.data(), video.size());
    EXPECT_TRUE(sound.opened);
    EXPECT_EQ(sound.spans, 50 + 5 + 5);
    // A WAV whose text tag claims 2 GB: refused, not given 2 GB of zeros.
    const std::vector<uint8_t> wav =
        readAll(std::string(TESSARO_FUZZ_REGRESSIONS) + "/sound/wav-text-tag-of-2-gb");
    const long before = peakMegabytes();
    EXPECT_FALSE(runSoundHarness(wav.data(), wav.size()).opened);
    EXPECT_LT(peakMegabytes() - before, 512);
    // The talk's sound analysed four seconds from the start, then two from a
    // second on; what the store keeps of it read back, and refused damaged.
    const std::vector<uint8_t> talk = readAll(testMedia(kTalk));
    const SoundAnalysisRun heard = runSoundAnalysisHarness(talk.data(), talk.size());
    EXPECT_TRUE(heard.opened);
    EXPECT_EQ(heard.units, 400 + 200);
    std::vector<SoundUnit> units(300);
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = {static_cast<uint8_t>(i * 7), i % 3 == 0};
    std::string blob = std::string(1, char(kStoredSound)) + encodeSound(units);
    EXPECT_EQ(runSoundAnalysisHarness(bytesOf(blob), blob.size()).storedUnits, 300);
    blob[blob.size() / 2] ^= 1;
    EXPECT_EQ(runSoundAnalysisHarness(bytesOf(blob), blob.size()).storedUnits, -1);

    FrameChunkWriter writer;
    Frame frame;
    for (int i = 0; i < 30; ++i) {
        frame.frameNumber = i;
        frame.frameTime = i / 25.0;
        frame.descriptors.width = 64;
        frame.descriptors.histogram[0][i % 16] = i;
        ASSERT_TRUE(writer.add(frame));
    }
    const std::string chunk = writer.finish();
    const std::string stored = std::string("\0\x1e\0", 3) + chunk;
    EXPECT_EQ(runStoreHarness(bytesOf(stored), stored.size()).chunkFrames, 30);
    const std::string oneShort = std::string("\0\x1d\0", 3) + chunk;
    EXPECT_EQ(runStoreHarness(bytesOf(oneShort), oneShort.size()).chunkFrames, -1);

    PortableAnalysis analysis;
    analysis.frameRate = 25.0;
    analysis.frames = 30;
    analysis.chunks.push_back({0, 30, chunk, {}, {}});
    std::string file = encodeDescriptorFile(analysis);
    DescriptorFileRun read = runDescriptorFileHarness(bytesOf(file), file.size());
    EXPECT_TRUE(read.decoded);
    EXPECT_EQ(read.frames, 30);
    // The chunk's last byte (zstd's checksum, before the empty thumbnails and
    // sound) flipped: the file's checksum no longer fits, and refitted, the
    // chunk is found damaged.
    file[file.size() - 3] ^= 1;
    read = runDescriptorFileHarness(bytesOf(file), file.size());
    EXPECT_FALSE(read.decoded);
    EXPECT_TRUE(read.refitted);
    EXPECT_EQ(read.frames, 0);
}

TEST(FuzzRegression, SubtitleHarnessReadsEachKindAndRefusesOtherBytes) {
    const struct {
        uint8_t kind;
        std::string file;
        int lines;
    } cases[] = {
        {kSubtitleSrt, "1\n00:00:01,000 --> 00:00:02,000\n<i>One</i>\n\n2\n00:00:03,000 --> 00:00:04,000\nTwo\n", 2},
        {kSubtitleAss,
         "[Script Info]\nScriptType: v4.00+\n\n[Events]\nFormat: Layer, Start, End, Style, Name, "
         "MarginL, MarginR, MarginV, Effect, Text\nDialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,"
         "{\\b1}Hi\n",
         1},
        {kSubtitleVtt, "WEBVTT\n\n00:01.000 --> 00:02.000\nOne\n\n00:03.000 --> 00:04.000\nTwo\n", 2},
        {kSubtitleSrt, "\xe9t\xe9\n", 0},
        {kSubtitleVtt, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string bytes = std::string(1, char(c.kind)) + c.file;
        const SubtitleRun run = runSubtitleHarness(bytesOf(bytes), bytes.size());
        EXPECT_EQ(run.opened, c.lines > 0);
        EXPECT_EQ(run.lines, c.lines);
    }
    EXPECT_FALSE(runSubtitleHarness(nullptr, 0).opened);
}

} // namespace

// Ranges of a video decoded side by side give the single pass's analysis to
// the byte: the fragments, the store's chunks (descriptors, thumbnails,
// sound) and the descriptor file; a file whose index cannot be trusted is
// read in one pass.

#include "Analysis.h"
#include "DescriptorFile.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

struct Analysed {
    bool ranged = false;
    bool tookOver = false; // one pass took over part way
    std::vector<std::string> frames;
    std::vector<StoredChunk> chunks;
    std::string file;
};

Analysed analyse(const std::string& path, int ranges, const std::string& folder) {
    ReaderOptions options;
    options.audio = false;
    options.decoderThreads = 1;
    AnalysisSources sources;
    sources.store.enabled = true;
    sources.store.folder = std::string(TESSARO_BINARY_DIR) + "/ranged-test-scratch/" + folder;
    std::filesystem::remove_all(sources.store.folder);
    sources.keepPortable = true;
    sources.ranges = ranges;
    sources.stretchFrames = 1; // a stretch at every key frame
    Analysed out;
    {
        Analysis analysis(path, options, sources);
        out.ranged = analysis.decodingRanges() != nullptr;
        while (const std::unique_ptr<FrameBuffer> fragment = analysis.fragments().nextFragment())
            for (const Frame& f : fragment->frames)
                out.frames.push_back(
                    std::to_string(fragment->count()) + " " + std::to_string(f.frameNumber) + " " +
                    std::to_string(f.frameTime) + (f.keyFrame ? " key " : " ") +
                    (f.slate ? "slate " : "") + std::to_string(pictureSignature(f.descriptors)) +
                    " sound " + std::to_string(f.sound.voice) + " " +
                    std::to_string(f.sound.loudness));
        out.tookOver = out.ranged && analysis.decodingRanges()->fellBack();
        PortableAnalysis whole;
        if (analysis.portable(&whole))
            out.file = encodeDescriptorFile(whole);
    }
    std::string notice;
    const std::unique_ptr<DescriptorStore> store = DescriptorStore::open(sources.store, &notice);
    const std::optional<StoredEntry> entry =
        store ? store->find(videoKey(path, options)) : std::nullopt;
    if (entry && entry->complete)
        store->readChunks(*entry, &out.chunks, true);
    return out;
}

// Where two runs' frames first differ (frame and what it is), empty when nowhere.
std::string firstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i)
        if (i >= a.size() || i >= b.size() || a[i] != b[i])
            return std::to_string(i) + ": " + (i < a.size() ? a[i] : "none") + " / " +
                   (i < b.size() ? b[i] : "none");
    return {};
}

TEST(RangedAnalysis, GivesTheSinglePassToTheByteOrIsTheSinglePass) {
    const struct {
        const char* file;
        bool ranged;
        bool tookOver;
    } cases[] = {
        {kH264Aac, true, false},      // B-frames, four groups
        {kShortGop, true, false},     // a group every 6 frames
        {kOpenGop, false, false},     // open groups: no key frame to start afresh from
        {kDamagedKey, true, true},    // a damaged key picture: one pass from before it on
        {kEmptyPacket, false, false}, // an empty packet: the index does not go forward
        {kScenes, true, false},       // ten groups, fragments across them
        {kFrames51, true, false},     // a last fragment of one frame
        {kOddSize, true, false},      // MPEG-4 part 2 in AVI, an odd size
        {kMpeg4Mp3, false, false},    // frames dropped: the index's steps vary
        {kVaryingRate, false, false}, // a frame rate that varies
        {kTruncated, false, false},   // cut short: the index points past the end
        {kVp9Opus, false, false},     // one entry in the index
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = testMedia(c.file);
        const Analysed single = analyse(path, 1, "single");
        ASSERT_FALSE(single.ranged);
        for (const int ranges : {2, 3}) {
            SCOPED_TRACE(ranges);
            const Analysed ranged = analyse(path, ranges, "ranged");
            EXPECT_EQ(ranged.ranged, c.ranged);
            EXPECT_EQ(ranged.tookOver, c.tookOver);
            EXPECT_EQ(firstDifference(ranged.frames, single.frames), "");
            EXPECT_TRUE(ranged.file == single.file);
            ASSERT_EQ(ranged.chunks.size(), single.chunks.size());
            for (size_t i = 0; i < single.chunks.size(); ++i) {
                EXPECT_TRUE(ranged.chunks[i].firstFrame == single.chunks[i].firstFrame) << "firstFrame";
                EXPECT_TRUE(ranged.chunks[i].frames == single.chunks[i].frames) << "frames";
                EXPECT_TRUE(ranged.chunks[i].descriptors == single.chunks[i].descriptors) << "descriptors";
                EXPECT_TRUE(ranged.chunks[i].thumbnails == single.chunks[i].thumbnails) << "thumbnails";
                EXPECT_TRUE(ranged.chunks[i].sound == single.chunks[i].sound) << "sound";
            }
        }
    }
}

} // namespace

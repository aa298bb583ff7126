// The glance at the key frames: pictures over the whole video described as
// the analysis describes the same pictures, kept in the store, and the
// stand-in made of them.

#include "Analysis.h"
#include "FrameChunk.h"
#include "Glance.h"
#include "Sqlite.h"
#include "Summarizer.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {

// The analysis's key frames of a video: time and picture signature.
std::vector<std::pair<double, uint64_t>> analysedKeyFrames(const std::string& path) {
    FragmentDecoder decoder(path.c_str(), storedAnalysisOptions());
    std::vector<std::pair<double, uint64_t>> keys;
    while (const std::unique_ptr<FrameBuffer> fragment = decoder.decodeFragment())
        for (const Frame& frame : fragment->frames)
            if (frame.keyFrame)
                keys.emplace_back(frame.frameTime, pictureSignature(frame.descriptors));
    return keys;
}

TEST(Glance, TakesKeyFramesOverTheWholeVideoAsTheAnalysisDescribesThem) {
    // 10 s, a key frame a second, B-frames; a picture every two seconds.
    const std::string path = testMedia(kScenes);
    const std::optional<Glance> glance = glanceAt(path, [] { return true; });
    ASSERT_TRUE(glance);
    EXPECT_EQ(glance->frameRate, 25.0);
    ASSERT_EQ(glance->pictures.size(), 5u);
    EXPECT_NEAR(glance->end, 10.0, 0.1);
    const auto keys = analysedKeyFrames(path);
    double before = -2.0;
    for (const GlancePicture& picture : glance->pictures) {
        SCOPED_TRACE(picture.seconds);
        EXPECT_GT(picture.seconds, before + 1.9);
        before = picture.seconds;
        EXPECT_EQ(picture.thumbnail.rfind("\xff\xd8", 0), 0u); // a JPEG
        // The analysis's own key frame there, to the bit.
        const auto same = std::find_if(keys.begin(), keys.end(), [&](const auto& key) {
            return std::abs(key.first - picture.seconds) < 0.1;
        });
        ASSERT_NE(same, keys.end());
        EXPECT_EQ(same->second, pictureSignature(picture.descriptors));
    }
    EXPECT_LT(glance->pictures.front().seconds, 0.1);
    EXPECT_GT(glance->pictures.back().seconds, 7.9);
    // Dropped when asked to stop.
    EXPECT_FALSE(glanceAt(path, [] { return false; }));
}

TEST(Glance, KeptInTheStoreBesideTheAnalysisAndStandsInForIt) {
    StoreConfig config;
    config.folder = std::string(TESSARO_BINARY_DIR) + "/store-test-scratch/glance";
    std::filesystem::remove_all(config.folder);
    const std::string path = testMedia(kScenes);
    const VideoKey key = videoKey(path, storedAnalysisOptions());
    {
        // A store of the layout before, which knew no glances.
        std::string notice;
        ASSERT_TRUE(DescriptorStore::open(config, &notice)) << notice;
        Database db(config.folder + "/" + DescriptorStore::fileName, Database::Access::Create);
        ASSERT_TRUE(db.exec("DROP TABLE glances"));
    }
    // The tool's analysis, asked for the key frames first.
    AnalysisSources sources = AnalysisSources::storeOnly(config);
    sources.keyFramesFirst = true;
    { Analysis(path, storedAnalysisOptions(), sources); }
    std::string notice;
    const std::unique_ptr<DescriptorStore> store = DescriptorStore::open(config, &notice);
    ASSERT_TRUE(store) << notice;
    const std::optional<Glance> stored = storedGlance(*store, key);
    const std::optional<Glance> taken = glanceAt(path, [] { return true; });
    ASSERT_TRUE(stored && taken);
    ASSERT_EQ(stored->pictures.size(), taken->pictures.size());
    EXPECT_EQ(stored->end, taken->end);
    for (size_t i = 0; i < taken->pictures.size(); ++i) {
        EXPECT_EQ(stored->pictures[i].seconds, taken->pictures[i].seconds);
        EXPECT_EQ(pictureSignature(stored->pictures[i].descriptors),
                  pictureSignature(taken->pictures[i].descriptors));
        EXPECT_EQ(stored->pictures[i].thumbnail, taken->pictures[i].thumbnail);
    }

    // Every frame of the stand-in takes the picture at or before it.
    const std::vector<StoredChunk> chunks = standInChunks(*stored);
    FrameChunkReader reader;
    int64_t frames = 0;
    int keys = 0;
    for (const StoredChunk& chunk : chunks) {
        ASSERT_EQ(chunk.firstFrame, frames);
        ASSERT_TRUE(reader.open(chunk.descriptors, chunk.frames));
        Frame frame;
        while (reader.next(&frame)) {
            EXPECT_NEAR(frame.frameTime, stored->start + frames / 25.0, 1e-9);
            EXPECT_EQ(pictureSignature(frame.descriptors),
                      pictureSignature(stored->at(frame.frameTime)->descriptors));
            keys += frame.keyFrame ? 1 : 0;
            ++frames;
        }
    }
    EXPECT_EQ(frames, 250);
    EXPECT_EQ(keys, static_cast<int>(stored->pictures.size()));
}

} // namespace

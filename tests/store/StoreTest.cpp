// The descriptor store: what is read back is what the decoder made, under
// the file's content; damage, a second writer and the size limit never make
// a summary differ from the decoded video's.

#include "Analysis.h"
#include "DescriptorFile.h"
#include "Sqlite.h"
#include "StoredFragments.h"
#include "Summarizer.h"
#include "SummaryTurns.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

ReaderOptions analysisOptions() {
    ReaderOptions options;
    options.audio = false;
    options.decoderThreads = 2;
    return options;
}

StoreConfig scratchStore(const std::string& name, int64_t limit = StoreConfig::defaultLimit) {
    StoreConfig config;
    config.folder = std::string(TESSARO_BINARY_DIR) + "/store-test-scratch/" + name;
    fs::remove_all(config.folder);
    config.limitBytes = limit;
    return config;
}

// Every frame of every fragment, as the summary sees it.
std::vector<std::string> describe(FragmentSource& source) {
    std::vector<std::string> frames;
    while (const std::unique_ptr<FrameBuffer> fragment = source.nextFragment())
        for (const Frame& f : fragment->frames)
            frames.push_back(
                std::to_string(fragment->count()) + " " + std::to_string(f.frameNumber) + " " +
                std::to_string(f.frameTime) + (f.keyFrame ? " key " : " ") +
                std::to_string(pictureSignature(f.descriptors)) + " sound " +
                std::to_string(f.sound.voice) + " " + std::to_string(f.sound.loudness));
    return frames;
}

std::vector<std::string> decided(FragmentSource& source, const SummarySettings& settings) {
    Summarizer summarizer(settings);
    SummaryTurns turns(source, summarizer);
    std::vector<std::string> decisions;
    while (!turns.finished()) {
        turns.offerFragment();
        if (const std::optional<Decision> d = turns.takeDecision())
            decisions.push_back(std::to_string(d->number) + (d->kept ? " kept " : " out ") +
                                std::to_string(d->start) + " " + std::to_string(d->frames));
    }
    return decisions;
}

std::vector<std::string> decodedFrames(const std::string& path) {
    FragmentDecoder decoder(path.c_str(), analysisOptions());
    return describe(decoder);
}

// An analysis made through the store (decoded and kept, or read back).
std::vector<std::string> analysedFrames(const std::string& path, const StoreConfig& config,
                                        bool* fromStore = nullptr, std::string* notice = nullptr) {
    Analysis analysis(path, analysisOptions(), config);
    if (fromStore)
        *fromStore = analysis.fromStore();
    std::vector<std::string> frames = describe(analysis.fragments());
    if (notice)
        *notice = analysis.takeNotice();
    return frames;
}

void sql(const StoreConfig& config, const std::string& statement) {
    Database db(config.folder + "/" + DescriptorStore::fileName, Database::Access::Create);
    ASSERT_TRUE(db.ok());
    EXPECT_TRUE(db.exec(statement.c_str())) << db.error();
}

TEST(DescriptorStore, ReadsBackTheDecodersFramesAndTheLiveTreesDecisions) {
    // A frame rate that is not whole, a stream without durations, B-frames,
    // an odd size, a last fragment of one frame, cuts (inside fragments too,
    // which shot-aware ranking trims away), speech (and its sound kept whole).
    const char* files[] = {kH264Aac,  kMpeg4Mp3, kVp9Opus, kOddSize,
                           kFrames51, kScenes,   kCuts,    kTalk};
    const StoreConfig config = scratchStore("RoundTrip");
    SummarySettings settings[6];
    settings[1].target = 0.3;
    settings[2].junkFilter = true;
    settings[2].depth = 20;
    settings[3].shotAware = true;
    settings[3].target = 0.3;
    settings[4].wholeSpeech = true;
    settings[4].target = 0.3;
    settings[5] = settings[4];
    settings[5].shotAware = true;
    for (const char* file : files) {
        SCOPED_TRACE(file);
        const std::string path = testMedia(file);
        const std::vector<std::string> decoded = decodedFrames(path);
        bool fromStore = true;
        EXPECT_EQ(analysedFrames(path, config, &fromStore), decoded);
        EXPECT_FALSE(fromStore);
        EXPECT_EQ(analysedFrames(path, config, &fromStore), decoded);
        EXPECT_TRUE(fromStore);

        for (const SummarySettings& s : settings) {
            FragmentDecoder decoder(path.c_str(), analysisOptions());
            Analysis stored(path, analysisOptions(), config);
            ASSERT_TRUE(stored.fromStore());
            EXPECT_EQ(decided(stored.fragments(), s), decided(decoder, s));
        }
    }
    // A thumbnail per fragment, 160 pixels wide (the JPEG's frame header says so).
    std::string notice;
    const std::unique_ptr<DescriptorStore> store = DescriptorStore::open(config, &notice);
    const std::optional<StoredEntry> entry =
        store->find(videoKey(testMedia(kScenes), analysisOptions()));
    ASSERT_TRUE(entry && entry->complete);
    for (int64_t fragment = 0; fragment < 11; ++fragment) {
        const std::string jpeg = store->thumbnail(*entry, fragment);
        ASSERT_EQ(jpeg.empty(), fragment == 10) << fragment;
        if (jpeg.empty())
            continue;
        const size_t frameHeader = jpeg.find("\xff\xc0");
        ASSERT_NE(frameHeader, std::string::npos);
        EXPECT_EQ(uint8_t(jpeg[frameHeader + 7]) * 256 + uint8_t(jpeg[frameHeader + 8]), 160);
        EXPECT_EQ(uint8_t(jpeg[frameHeader + 5]) * 256 + uint8_t(jpeg[frameHeader + 6]), 120);
    }
}

TEST(DescriptorStore, AStoreWithoutSoundIsBroughtUpOnceAndItsVideosAnalysedAgain) {
    const StoreConfig config = scratchStore("LayoutBefore");
    const std::string path = testMedia(kTalk);
    const std::vector<std::string> decoded = decodedFrames(path);
    ASSERT_NE(decoded.front().find(" sound 0 "), std::string::npos) << decoded.front();
    EXPECT_EQ(analysedFrames(path, config), decoded);
    // The layout before: no sound with the chunks.
    sql(config,
        "ALTER TABLE chunks DROP COLUMN sound; UPDATE info SET value='1' WHERE name='schema'");
    bool fromStore = true;
    std::string notice;
    EXPECT_EQ(analysedFrames(path, config, &fromStore, &notice), decoded);
    EXPECT_FALSE(fromStore);
    EXPECT_NE(notice.find("analysed again once"), std::string::npos) << notice;
    EXPECT_EQ(analysedFrames(path, config, &fromStore, &notice), decoded);
    EXPECT_TRUE(fromStore);
    EXPECT_EQ(notice, "");
}

TEST(DescriptorStore, FindsAFileByItsContentWhereverItIs) {
    const std::string dir = std::string(TESSARO_BINARY_DIR) + "/store-test-scratch/Key";
    fs::remove_all(dir);
    fs::create_directories(dir + "/moved");
    const std::string original = testMedia(kScenes);
    const VideoKey key = videoKey(original, analysisOptions());
    const auto variant = [&](const std::string& name, auto change) {
        const std::string path = dir + "/" + name;
        fs::copy_file(original, path);
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        change(file);
        file.close();
        return videoKey(path, analysisOptions());
    };
    ReaderOptions oneThread = analysisOptions();
    oneThread.decoderThreads = 1;
    const struct {
        const char* what;
        VideoKey key;
        bool same;
    } cases[] = {
        {"moved and renamed", variant("moved/other.mp4", [](std::fstream&) {}), true},
        {"a byte changed",
         variant("changed.mp4",
                 [](std::fstream& f) {
                     f.seekp(100);
                     f.put('\x5a');
                 }),
         false},
        {"a byte added",
         variant("longer.mp4",
                 [](std::fstream& f) {
                     f.seekp(0, std::ios::end);
                     f.put('\0');
                 }),
         false},
        {"another decoder thread count", videoKey(original, oneThread), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.key.valid());
        EXPECT_EQ(c.key.content == key.content && c.key.analysis == key.analysis, c.same);
    }
    EXPECT_FALSE(videoKey(dir + "/missing.mp4", analysisOptions()).valid());
}

TEST(DescriptorStore, DamageGivesOneNoticeAndTheDecodedAnalysis) {
    const std::string path = testMedia(kScenes);
    const std::vector<std::string> decoded = decodedFrames(path);
    const auto rewrite = [](const StoreConfig& c, const std::string& bytes, bool truncate) {
        const std::string file = c.folder + "/" + DescriptorStore::fileName;
        if (truncate)
            fs::resize_file(file, fs::file_size(file) / 2);
        else
            std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    };
    const struct {
        const char* what;
        std::function<void(const StoreConfig&)> damage;
        bool storedAfter; // analyses after the damage are read back again
    } cases[] = {
        {"a flipped byte",
         [](auto& c) {
             sql(c, "UPDATE chunks SET descriptors=substr(descriptors,1,100)||CASE WHEN "
                    "substr(descriptors,101,1)=x'00' THEN x'01' ELSE x'00' END||"
                    "substr(descriptors,102)");
         },
         true},
        {"a cut chunk",
         [](auto& c) {
             sql(c, "UPDATE chunks SET descriptors=substr(descriptors,1,length(descriptors)/2)");
         },
         true},
        {"a lost chunk", [](auto& c) { sql(c, "DELETE FROM chunks"); }, true},
        {"frames miscounted", [](auto& c) { sql(c, "UPDATE chunks SET frames=frames-1"); }, true},
        {"another version", [](auto& c) { sql(c, "UPDATE info SET value='99'"); }, false},
        {"not a database", [&](auto& c) { rewrite(c, std::string(5000, 'x'), false); }, true},
        {"a truncated database", [&](auto& c) { rewrite(c, "", true); }, true},
        {"a bit flipped in every page's header",
         [](auto& c) {
             std::fstream file(c.folder + "/" + DescriptorStore::fileName,
                               std::ios::in | std::ios::out | std::ios::binary);
             for (std::streamoff page = 4096; file.seekg(page); page += 4096) {
                 const int byte = file.get();
                 if (byte == EOF)
                     break;
                 file.seekp(page);
                 file.put(static_cast<char>(byte ^ 0x10));
             }
         },
         true},
        {"a file where the folder belongs",
         [](auto& c) {
             fs::remove_all(c.folder);
             std::ofstream(c.folder) << "x";
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const StoreConfig config = scratchStore("Damage");
        analysedFrames(path, config);
        c.damage(config);
        std::string notice;
        bool fromStore = true;
        EXPECT_EQ(analysedFrames(path, config, &fromStore, &notice), decoded);
        EXPECT_FALSE(fromStore);
        EXPECT_FALSE(notice.empty());
        // The store mends itself (or stays off) within two more analyses.
        for (int again = 0; again < 2; ++again)
            EXPECT_EQ(analysedFrames(path, config, &fromStore, &notice), decoded);
        EXPECT_EQ(fromStore, c.storedAfter);
    }
}

TEST(DescriptorStore, TwoWritersAtOnceLeaveOneWholeEntry) {
    const std::string path = testMedia(kH264_720p);
    const StoreConfig config = scratchStore("TwoWriters");
    std::vector<std::string> frames[2];
    std::thread writers[2];
    for (int i = 0; i < 2; ++i)
        writers[i] = std::thread([&, i] { frames[i] = analysedFrames(path, config); });
    for (std::thread& w : writers)
        w.join();
    bool fromStore = false;
    EXPECT_EQ(frames[0], frames[1]);
    EXPECT_EQ(analysedFrames(path, config, &fromStore), frames[0]);
    EXPECT_TRUE(fromStore);
}

TEST(DescriptorStore, TheLeastRecentlyUsedGoWhenTheStoreIsFull) {
    const char* files[] = {kH264Aac, kVideoOnly, kPcmAudio};
    int64_t sizes[3] = {};
    StoreConfig measure = scratchStore("Sizes");
    for (int i = 0; i < 3; ++i) {
        std::string notice;
        int64_t before = DescriptorStore::open(measure, &notice)->storedBytes();
        analysedFrames(testMedia(files[i]), measure);
        sizes[i] = DescriptorStore::open(measure, &notice)->storedBytes() - before;
    }
    // Room for any two: the third written pushes out the one least recently used.
    const StoreConfig config = scratchStore("Full", sizes[0] + sizes[1] + sizes[2] - 1);
    const auto stored = [&](int i) {
        bool fromStore = false;
        analysedFrames(testMedia(files[i]), config, &fromStore);
        return fromStore;
    };
    EXPECT_FALSE(stored(0));
    EXPECT_FALSE(stored(1));
    EXPECT_TRUE(stored(0)); // used again: now the newest
    EXPECT_FALSE(stored(2));
    EXPECT_TRUE(stored(0));
    EXPECT_FALSE(stored(1)); // gone; written again, it pushes out 2
    EXPECT_TRUE(stored(0));
    EXPECT_FALSE(stored(2));
}

TEST(DescriptorFile, TheVideosOwnStandsInForTheStoreAndAnyOtherIsPassedOverWithANotice) {
    const std::string video = testMedia(kScenes);
    const std::vector<std::string> decoded = decodedFrames(video);
    AnalysisSources keep = AnalysisSources::storeOnly(scratchStore("Files"));
    keep.keepPortable = true;
    const auto portable = [&](const std::string& path, Analysis::Origin origin) {
        Analysis analysis(path, analysisOptions(), keep);
        EXPECT_EQ(analysis.origin(), origin);
        describe(analysis.fragments());
        PortableAnalysis whole;
        EXPECT_TRUE(analysis.portable(&whole));
        return encodeDescriptorFile(whole);
    };
    const std::string own = portable(video, Analysis::Origin::Decoded);
    // Written from the store, the file is the same to the byte.
    EXPECT_EQ(portable(video, Analysis::Origin::Store), own);
    const std::string other = portable(testMedia(kH264Aac), Analysis::Origin::Decoded);
    std::string flipped = own, version = own;
    flipped[own.size() / 2] ^= 1;
    version[8] = 1; // the version before

    const std::string dir = keep.store.folder;
    ReaderOptions oneThread = analysisOptions();
    oneThread.decoderThreads = 1;
    const struct {
        const char* what;
        std::vector<std::string> files; // contents; "-" for none
        ReaderOptions options;
        bool used;
        bool notice;
    } cases[] = {
        {"the video's own", {own}, analysisOptions(), true, false},
        {"made with another thread count", {own}, oneThread, true, false},
        {"none", {"-"}, analysisOptions(), false, false},
        {"another video's", {other}, analysisOptions(), false, true},
        {"a flipped byte", {flipped}, analysisOptions(), false, true},
        {"another version", {version}, analysisOptions(), false, true},
        {"cut short", {own.substr(0, own.size() - 7)}, analysisOptions(), false, true},
        {"a damaged one, then the own", {flipped, own}, analysisOptions(), true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AnalysisSources sources;
        for (size_t i = 0; i < c.files.size(); ++i) {
            sources.descriptorFiles.push_back(dir + "/" + std::to_string(i) + ".tessaro");
            fs::remove(sources.descriptorFiles.back());
            if (c.files[i] != "-")
                std::ofstream(sources.descriptorFiles.back(), std::ios::binary) << c.files[i];
        }
        Analysis analysis(video, c.options, sources);
        EXPECT_EQ(analysis.origin() == Analysis::Origin::DescriptorFile, c.used);
        EXPECT_EQ(describe(analysis.fragments()), decoded);
        EXPECT_EQ(analysis.takeNotice().empty(), !c.notice);
        EXPECT_EQ(analysis.takeNotice(), "");
    }
}

} // namespace

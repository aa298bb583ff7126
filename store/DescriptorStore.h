#pragma once

// The descriptors of every video analysed, kept between runs in one SQLite
// database under the user's cache folder, so that a video analysed once is
// summarised again without decoding it. Each analysis is an entry under its
// VideoKey, made of chunks of frames (see FrameChunk) with a thumbnail per
// fragment; it is marked complete once its last chunk is in, and readers use
// complete entries only. Any number of processes may read and write at once:
// each write is one transaction, and the database runs in WAL mode so that
// readers never wait on a writer. The least recently used entries go when
// the whole passes its size limit.
//
// A store that cannot be used (an unwritable folder, a damaged or foreign
// database) says why once, in notice(), and behaves as an empty one.

#include "Sqlite.h"
#include "VideoKey.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct StoreConfig {
    static constexpr int64_t defaultLimit = int64_t{2} << 30;

    bool enabled = true;
    std::string folder; // holds the database; empty when no cache folder is known
    int64_t limitBytes = defaultLimit;

    // TESSARO_NO_STORE (set and not "0": off), TESSARO_STORE_LIMIT (bytes,
    // or with a K, M or G suffix), $XDG_CACHE_HOME/tessaro, else
    // $HOME/.cache/tessaro.
    static StoreConfig fromEnvironment();
    static StoreConfig off() {
        StoreConfig config;
        config.enabled = false;
        return config;
    }
};

struct StoredEntry {
    int64_t id = 0;
    bool complete = false;
    int64_t frames = 0;
    int chunks = 0;
    double frameRate = 0.0;
};

struct StoredChunk {
    int64_t firstFrame = 0;
    int frames = 0;
    std::string descriptors; // a FrameChunk
    std::string thumbnails;  // see packThumbnails
    // The sound's units analysed with its frames (see SoundChunk), which
    // follow on from the chunk before's; empty for a video without sound.
    std::string sound;
};

// A video's first look from its key frames (see Glance), stored beside its
// entry under the same key.
struct StoredGlance {
    double frameRate = 0.0;
    double start = 0.0;
    double end = 0.0;
    int pictures = 0;
    std::string descriptors; // a FrameChunk of the pictures
    std::string thumbnails;  // see packThumbnails
};

class DescriptorStore {
public:
    static constexpr int fragmentsPerChunk = 250;
    static constexpr const char* fileName = "store.sqlite";
    // Left beside it when it is found damaged: the next open makes it anew.
    static constexpr const char* damageMark = "store.damaged";

    // Opens the store, making its folder and database when needed; null when
    // it cannot be used (notice says why).
    static std::unique_ptr<DescriptorStore> open(const StoreConfig& config, std::string* notice);
    ~DescriptorStore();
    DescriptorStore(const DescriptorStore&) = delete;
    DescriptorStore& operator=(const DescriptorStore&) = delete;

    // The entry stored under key, complete or not, marked as just used.
    std::optional<StoredEntry> find(const VideoKey& key);
    // Every chunk of a complete entry, in order, read in one transaction
    // (their descriptors, and their thumbnails when asked); false when they
    // are missing or do not add up to the entry.
    bool readChunks(const StoredEntry& entry, std::vector<StoredChunk>* chunks,
                    bool withThumbnails = false);
    // The JPEG thumbnail of a fragment (numbered from 0 at the start) of a
    // stored entry, complete or not; empty when it is not stored.
    std::string thumbnail(const StoredEntry& entry, int64_t fragment);

    // Writing an analysis: the entry (a new one, or the unfinished one of an
    // earlier run), then its chunks in order, then the end. Zero, or false,
    // when the store refused: the writer gives up the entry.
    int64_t startEntry(const VideoKey& key, double frameRate);
    bool putChunk(int64_t entry, int number, const StoredChunk& chunk);
    bool finishEntry(int64_t entry, int64_t frames, int chunks);
    // Removes an entry whose chunks were found damaged, and says so.
    void forgetDamaged(int64_t entry);

    // The glance stored under key (nullopt: none), and storing one (whole,
    // in one statement, in place of any before); false when it is refused.
    std::optional<StoredGlance> findGlance(const VideoKey& key);
    bool putGlance(const VideoKey& key, const StoredGlance& glance);

    // Bytes of all entries' chunks.
    int64_t storedBytes();
    // The first failure since the store opened (once; empty after).
    std::string takeNotice();

private:
    DescriptorStore(Database db, std::string path, int64_t limit);
    // damaged: the file is no database, or a damaged one.
    static std::unique_ptr<DescriptorStore> openDatabase(const std::string& path, int64_t limit,
                                                         std::string* notice, bool* damaged);
    void fail(const std::string& what);
    // Drops least recently used entries other than keep until the whole fits.
    bool makeRoom(int64_t keep);
    void removeEntry(int64_t entry);

    std::mutex mutex;
    Database db;
    std::string path;
    int64_t limit;
    std::string firstNotice;
    bool noticeGiven = false;
};

// The thumbnails of a chunk's fragments in one blob: count, then each as
// its length and its bytes.
std::string packThumbnails(const std::vector<std::string>& thumbnails);
// The index-th thumbnail of a blob; empty when there is none.
std::string unpackThumbnail(const std::string& blob, size_t index);

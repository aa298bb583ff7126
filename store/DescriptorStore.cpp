#include "DescriptorStore.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The database's layout; a database of another says so and is left alone,
// except one of the layout before, which is brought up to this one.
constexpr const char* kSchemaVersion = "2";
constexpr int kBusyMilliseconds = 20000;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS info(name TEXT PRIMARY KEY, value TEXT NOT NULL);
INSERT OR IGNORE INTO info VALUES('schema', '2');
CREATE TABLE IF NOT EXISTS videos(
  id INTEGER PRIMARY KEY,
  content TEXT NOT NULL,
  analysis TEXT NOT NULL,
  frame_rate REAL NOT NULL,
  complete INTEGER NOT NULL DEFAULT 0,
  frames INTEGER NOT NULL DEFAULT 0,
  chunks INTEGER NOT NULL DEFAULT 0,
  bytes INTEGER NOT NULL DEFAULT 0,
  used INTEGER NOT NULL,
  UNIQUE(content, analysis));
CREATE TABLE IF NOT EXISTS chunks(
  video INTEGER NOT NULL,
  number INTEGER NOT NULL,
  first_frame INTEGER NOT NULL,
  frames INTEGER NOT NULL,
  descriptors BLOB NOT NULL,
  thumbnails BLOB NOT NULL,
  sound BLOB NOT NULL DEFAULT x'',
  PRIMARY KEY(video, number));
CREATE TABLE IF NOT EXISTS glances(
  content TEXT NOT NULL,
  analysis TEXT NOT NULL,
  frame_rate REAL NOT NULL,
  start_time REAL NOT NULL,
  end_time REAL NOT NULL,
  pictures INTEGER NOT NULL,
  descriptors BLOB NOT NULL,
  thumbnails BLOB NOT NULL,
  PRIMARY KEY(content, analysis));
)";

// The layout before held no sound: its analyses are let go, for each video
// to be analysed again once.
constexpr const char* kFromSchema1 = R"(
ALTER TABLE chunks ADD COLUMN sound BLOB NOT NULL DEFAULT x'';
DELETE FROM chunks;
DELETE FROM videos;
UPDATE info SET value='2' WHERE name='schema';
)";

int64_t parseSize(const char* text, int64_t fallback) {
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || !(value >= 0))
        return fallback;
    double scale = 1;
    switch (*end) {
    case 'K':
    case 'k':
        scale = 1024.0;
        ++end;
        break;
    case 'M':
    case 'm':
        scale = 1024.0 * 1024;
        ++end;
        break;
    case 'G':
    case 'g':
        scale = 1024.0 * 1024 * 1024;
        ++end;
        break;
    default:
        break;
    }
    return *end == '\0' && value * scale < 9e18 ? static_cast<int64_t>(value * scale) : fallback;
}

bool makeFolder(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/')
            continue;
        const std::string part = folder.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

StoreConfig StoreConfig::fromEnvironment() {
    StoreConfig config;
    const char* off = std::getenv("TESSARO_NO_STORE");
    config.enabled = off == nullptr || *off == '\0' || std::strcmp(off, "0") == 0;
    config.limitBytes = parseSize(std::getenv("TESSARO_STORE_LIMIT"), defaultLimit);
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    // The XDG rules take a relative path as unset.
    if (cache != nullptr && cache[0] == '/')
        config.folder = std::string(cache) + "/tessaro";
    else if (home != nullptr && home[0] == '/')
        config.folder = std::string(home) + "/.cache/tessaro";
    return config;
}

std::unique_ptr<DescriptorStore> DescriptorStore::open(const StoreConfig& config,
                                                       std::string* notice) {
    if (!config.enabled)
        return nullptr;
    if (config.folder.empty()) {
        *notice = "no cache folder (neither XDG_CACHE_HOME nor HOME is set): nothing is stored";
        return nullptr;
    }
    if (!makeFolder(config.folder)) {
        *notice = "cannot make the store's folder '" + config.folder +
                  "': " + std::strerror(errno) + "; nothing is stored";
        return nullptr;
    }
    const std::string path = config.folder + "/" + fileName;
    // A run that found the database damaged left a mark for the next to mend it.
    const std::string mark = config.folder + "/" + damageMark;
    bool damaged = std::remove(mark.c_str()) == 0;
    std::unique_ptr<DescriptorStore> store =
        damaged ? nullptr : openDatabase(path, config.limitBytes, notice, &damaged);
    if (damaged) {
        if (notice->empty())
            *notice = "the store '" + path + "' was found damaged";
        // A file that is no database, or a damaged one, holds nothing worth
        // keeping: it is made anew.
        for (const char* suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
        std::string again;
        store = openDatabase(path, config.limitBytes, &again, &damaged);
        *notice += store ? "; it is made anew" : "; nothing is stored";
    }
    if (!store)
        return nullptr;
    Statement schema(store->db, "SELECT value FROM info WHERE name='schema'");
    if (schema.step() != Statement::Step::Row || schema.bytes(0) != kSchemaVersion) {
        *notice =
            "the store '" + path + "' was made by another version of Tessaro; it is left as it is";
        return nullptr;
    }
    return store;
}

std::unique_ptr<DescriptorStore> DescriptorStore::openDatabase(const std::string& path,
                                                               int64_t limit, std::string* notice,
                                                               bool* damaged) {
    Database db(path, Database::Access::Create);
    if (!db.ok()) {
        *notice = "cannot open the store '" + path + "': " + db.error() + "; nothing is stored";
        return nullptr;
    }
    std::unique_ptr<DescriptorStore> store(new DescriptorStore(std::move(db), path, limit));
    Database& opened = store->db;
    opened.waitForLocks(kBusyMilliseconds);
    const auto unusable = [&] {
        *damaged = opened.damaged();
        *notice = "the store '" + path + "' cannot be used (" + opened.error() + ")";
        if (!*damaged)
            *notice += "; nothing is stored";
        return nullptr;
    };
    // A new database gives freed pages back to the file (see makeRoom); WAL
    // lets readers go on while another process writes.
    if (!opened.exec("PRAGMA auto_vacuum=INCREMENTAL") || !opened.exec("PRAGMA journal_mode=WAL") ||
        !opened.exec("PRAGMA synchronous=NORMAL"))
        return unusable();
    Transaction layout(opened, Transaction::Kind::Immediate);
    if (!layout.begun() || !opened.exec(kSchema))
        return unusable();
    bool older = false;
    {
        Statement schema(opened, "SELECT value FROM info WHERE name='schema'");
        older = schema.step() == Statement::Step::Row && schema.bytes(0) == "1";
    }
    if (older) {
        if (!opened.exec(kFromSchema1))
            return unusable();
        store->firstNotice = "the store '" + path +
                             "' held analyses without their sound: each video is analysed "
                             "again once";
    }
    if (!layout.commit())
        return unusable();
    return store;
}

DescriptorStore::DescriptorStore(Database database, std::string file, int64_t limitBytes)
    : db(std::move(database)), path(std::move(file)), limit(limitBytes) {}

DescriptorStore::~DescriptorStore() = default;

void DescriptorStore::fail(const std::string& what) {
    if (db.damaged()) {
        const std::string folder = path.substr(0, path.find_last_of('/'));
        if (std::FILE* file = std::fopen((folder + "/" + damageMark).c_str(), "w"))
            std::fclose(file);
    }
    if (firstNotice.empty() && !noticeGiven)
        firstNotice = "the store '" + path + "': " + what + " (" + db.error() +
                      "); the video is analysed anew";
}

std::string DescriptorStore::takeNotice() {
    const std::lock_guard<std::mutex> lock(mutex);
    std::string notice = std::move(firstNotice);
    firstNotice.clear();
    noticeGiven = noticeGiven || !notice.empty();
    return notice;
}

std::optional<StoredEntry> DescriptorStore::find(const VideoKey& key) {
    const std::lock_guard<std::mutex> lock(mutex);
    Statement select(db, "SELECT id, complete, frames, chunks, frame_rate FROM videos "
                         "WHERE content=?1 AND analysis=?2");
    select.bind(1, key.content).bind(2, key.analysis);
    const Statement::Step found = select.step();
    if (found != Statement::Step::Row) {
        if (found == Statement::Step::Failed)
            fail("cannot be read");
        return std::nullopt;
    }
    StoredEntry entry{select.integer(0), select.integer(1) != 0, select.integer(2),
                      static_cast<int>(select.integer(3)), select.real(4)};
    Statement touch(db, "UPDATE videos SET used=(SELECT max(used)+1 FROM videos) WHERE id=?1");
    touch.bind(1, entry.id).run(); // a store that cannot be written can still be read
    return entry;
}

bool DescriptorStore::readChunks(const StoredEntry& entry, std::vector<StoredChunk>* chunks,
                                 bool withThumbnails) {
    const std::lock_guard<std::mutex> lock(mutex);
    chunks->clear();
    Transaction read(db, Transaction::Kind::Deferred);
    if (!read.begun()) {
        fail("cannot be read");
        return false;
    }
    Statement select(db, withThumbnails
                             ? "SELECT number, first_frame, frames, descriptors, sound, "
                               "thumbnails FROM chunks WHERE video=?1 ORDER BY number"
                             : "SELECT number, first_frame, frames, descriptors, sound FROM "
                               "chunks WHERE video=?1 ORDER BY number");
    select.bind(1, entry.id);
    int64_t frames = 0;
    Statement::Step result = Statement::Step::Row;
    while ((result = select.step()) == Statement::Step::Row) {
        if (select.integer(0) != static_cast<int64_t>(chunks->size()) ||
            select.integer(1) != frames)
            break;
        StoredChunk chunk{frames, static_cast<int>(select.integer(2)), select.bytes(3),
                          withThumbnails ? select.bytes(5) : std::string(), select.bytes(4)};
        frames += chunk.frames;
        chunks->push_back(std::move(chunk));
    }
    read.commit();
    if (result == Statement::Step::Failed)
        fail("cannot be read");
    return result == Statement::Step::Done && frames == entry.frames &&
           chunks->size() == static_cast<size_t>(entry.chunks);
}

std::string DescriptorStore::thumbnail(const StoredEntry& entry, int64_t fragment) {
    const std::lock_guard<std::mutex> lock(mutex);
    Statement select(db, "SELECT thumbnails FROM chunks WHERE video=?1 AND number=?2");
    select.bind(1, entry.id).bind(2, fragment / fragmentsPerChunk);
    if (fragment < 0 || select.step() != Statement::Step::Row)
        return {};
    return unpackThumbnail(select.bytes(0), static_cast<size_t>(fragment % fragmentsPerChunk));
}

int64_t DescriptorStore::startEntry(const VideoKey& key, double frameRate) {
    const std::lock_guard<std::mutex> lock(mutex);
    Statement insert(db, "INSERT INTO videos(content, analysis, frame_rate, used) "
                         "VALUES(?1, ?2, ?3, (SELECT coalesce(max(used), 0)+1 FROM videos)) "
                         "ON CONFLICT DO NOTHING");
    insert.bind(1, key.content).bind(2, key.analysis).bind(3, frameRate);
    Statement select(db, "SELECT id, complete FROM videos WHERE content=?1 AND analysis=?2");
    select.bind(1, key.content).bind(2, key.analysis);
    if (!insert.run() || select.step() != Statement::Step::Row) {
        fail("cannot be written");
        return 0;
    }
    // Another run finished it meanwhile: nothing to add.
    return select.integer(1) != 0 ? 0 : select.integer(0);
}

bool DescriptorStore::putChunk(int64_t entry, int number, const StoredChunk& chunk) {
    const std::lock_guard<std::mutex> lock(mutex);
    Transaction write(db, Transaction::Kind::Immediate);
    if (!write.begun()) {
        fail("cannot be written");
        return false;
    }
    // The entry may have been finished or dropped by another process.
    Statement check(db, "SELECT complete FROM videos WHERE id=?1");
    check.bind(1, entry);
    if (check.step() != Statement::Step::Row || check.integer(0) != 0)
        return false;
    Statement insert(db, "INSERT OR REPLACE INTO chunks VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    insert.bind(1, entry).bind(2, int64_t{number}).bind(3, chunk.firstFrame);
    insert.bind(4, int64_t{chunk.frames}).blob(5, chunk.descriptors).blob(6, chunk.thumbnails);
    insert.blob(7, chunk.sound);
    Statement update(db, "UPDATE videos SET used=(SELECT max(used)+1 FROM videos), "
                         "bytes=(SELECT coalesce(sum(length(descriptors)+length(thumbnails)+"
                         "length(sound)), 0) "
                         "FROM chunks WHERE video=?1) WHERE id=?1");
    update.bind(1, entry);
    if (!insert.run() || !update.run() || !makeRoom(entry) || !write.commit()) {
        fail("cannot be written");
        return false;
    }
    db.exec("PRAGMA incremental_vacuum");
    return true;
}

bool DescriptorStore::finishEntry(int64_t entry, int64_t frames, int chunks) {
    const std::lock_guard<std::mutex> lock(mutex);
    Transaction write(db, Transaction::Kind::Immediate);
    if (!write.begun()) {
        fail("cannot be written");
        return false;
    }
    // Complete only when every chunk is there, in order, adding up to the frames.
    Statement check(db, "SELECT count(*), coalesce(sum(frames), 0), coalesce(max(number), -1) "
                        "FROM chunks WHERE video=?1");
    check.bind(1, entry);
    const bool whole = check.step() == Statement::Step::Row && check.integer(0) == chunks &&
                       check.integer(1) == frames && check.integer(2) == chunks - 1;
    Statement update(db, "UPDATE videos SET complete=1, frames=?2, chunks=?3 "
                         "WHERE id=?1 AND complete=0");
    update.bind(1, entry).bind(2, frames).bind(3, int64_t{chunks});
    if (!whole || !update.run())
        return false;
    return write.commit();
}

void DescriptorStore::forgetDamaged(int64_t entry) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (firstNotice.empty() && !noticeGiven)
        firstNotice =
            "the store '" + path + "' held a damaged analysis of this video; it is analysed anew";
    Transaction write(db, Transaction::Kind::Immediate);
    if (!write.begun())
        return;
    removeEntry(entry);
    write.commit();
}

void DescriptorStore::removeEntry(int64_t entry) {
    // The video's glance goes with its entry.
    Statement glance(db, "DELETE FROM glances WHERE (content, analysis) IN "
                         "(SELECT content, analysis FROM videos WHERE id=?1)");
    glance.bind(1, entry).run();
    Statement chunks(db, "DELETE FROM chunks WHERE video=?1");
    chunks.bind(1, entry).run();
    Statement video(db, "DELETE FROM videos WHERE id=?1");
    video.bind(1, entry).run();
}

bool DescriptorStore::makeRoom(int64_t keep) {
    for (;;) {
        Statement total(db, "SELECT coalesce(sum(bytes), 0) FROM videos");
        if (total.step() != Statement::Step::Row)
            return false;
        if (total.integer(0) <= limit)
            return true;
        Statement oldest(db, "SELECT id FROM videos WHERE id<>?1 ORDER BY used LIMIT 1");
        oldest.bind(1, keep);
        if (oldest.step() != Statement::Step::Row)
            return false; // the entry being written alone is too large
        removeEntry(oldest.integer(0));
    }
}

int64_t DescriptorStore::storedBytes() {
    const std::lock_guard<std::mutex> lock(mutex);
    Statement total(db, "SELECT coalesce(sum(bytes), 0) FROM videos");
    return total.step() == Statement::Step::Row ? total.integer(0) : 0;
}

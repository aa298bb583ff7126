// The store's glances: one row a video, under the key of its entry, written
// in one statement, so that a reader finds a whole glance or none.

#include "DescriptorStore.h"

std::optional<StoredGlance> DescriptorStore::findGlance(const VideoKey& key) {
    const std::lock_guard<std::mutex> lock(mutex);
    Statement select(db, "SELECT frame_rate, start_time, end_time, pictures, descriptors, "
                         "thumbnails FROM glances WHERE content=?1 AND analysis=?2");
    select.bind(1, key.content).bind(2, key.analysis);
    if (select.step() != Statement::Step::Row)
        return std::nullopt;
    return StoredGlance{select.real(0),  select.real(1),  select.real(2),
                        static_cast<int>(select.integer(3)), select.bytes(4), select.bytes(5)};
}

bool DescriptorStore::putGlance(const VideoKey& key, const StoredGlance& glance) {
    const std::lock_guard<std::mutex> lock(mutex);
    Statement insert(db, "INSERT OR REPLACE INTO glances VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    insert.bind(1, key.content).bind(2, key.analysis).bind(3, glance.frameRate);
    insert.bind(4, glance.start).bind(5, glance.end).bind(6, int64_t{glance.pictures});
    insert.blob(7, glance.descriptors).blob(8, glance.thumbnails);
    if (!insert.run()) {
        fail("cannot be written");
        return false;
    }
    return true;
}

#include "Glance.h"

#include "FragmentSource.h"
#include "FrameChunk.h"
#include "KeyFrameReader.h"
#include "Picture.h"
#include "Thumbnail.h"

#include <algorithm>
#include <cmath>

namespace {
// A stand-in of any length holds at most the frames of two hours at 60 fps.
constexpr double kMostStandInFrames = 2.0 * 3600 * 60;
constexpr int64_t kStandInChunkFrames =
    int64_t{DescriptorStore::fragmentsPerChunk} * FragmentSource::fragmentCapacity;
} // namespace

const GlancePicture* Glance::at(double seconds) const {
    if (pictures.empty())
        return nullptr;
    const auto after = std::upper_bound(
        pictures.begin(), pictures.end(), seconds,
        [](double time, const GlancePicture& picture) { return time < picture.seconds; });
    return after == pictures.begin() ? &pictures.front() : &*(after - 1);
}

double glanceSpacing(double durationSeconds) {
    const double even = std::isfinite(durationSeconds) ? durationSeconds / Glance::kMostPictures : 0;
    return std::max(Glance::kNearest, even);
}

std::optional<Glance> glanceAt(const std::string& path, const std::function<bool()>& carryOn) {
    KeyFrameReader reader(path.c_str());
    if (!reader.ok())
        return std::nullopt;
    Glance glance;
    glance.frameRate = reader.frameRate();
    glance.start = reader.startTime();
    const double spacing = glanceSpacing(reader.duration());
    ThumbnailMaker thumbnails;
    while (static_cast<int>(glance.pictures.size()) < Glance::kMostPictures) {
        if (!carryOn())
            return std::nullopt;
        if (!reader.next(spacing, carryOn)) {
            if (!carryOn())
                return std::nullopt;
            break;
        }
        const int width = reader.width();
        const int height = reader.height();
        // Described as the analysis describes its pictures: on a copy of our own.
        const Picture copy = Picture::copyOf(reader.picture(), width, height);
        glance.pictures.push_back({reader.seconds(), Descriptors::of(copy.avFrame(), width, height),
                                   thumbnails.make(copy.avFrame(), width, height)});
    }
    if (!glance.pictures.empty())
        glance.start = std::min(glance.start, glance.pictures.front().seconds);
    glance.end = reader.duration() > 0 ? glance.start + reader.duration() : glance.start;
    if (!glance.pictures.empty() && glance.frameRate > 0)
        glance.end = std::max(glance.end, glance.pictures.back().seconds + 1.0 / glance.frameRate);
    return glance;
}

StoredGlance packGlance(const Glance& glance) {
    StoredGlance stored{glance.frameRate, glance.start, glance.end,
                        static_cast<int>(glance.pictures.size()), {}, {}};
    FrameChunkWriter writer;
    std::vector<std::string> thumbnails;
    for (const GlancePicture& picture : glance.pictures) {
        Frame frame;
        frame.frameNumber = static_cast<double>(thumbnails.size());
        frame.frameTime = picture.seconds;
        frame.keyFrame = true;
        frame.descriptors = picture.descriptors;
        writer.add(frame);
        thumbnails.push_back(picture.thumbnail);
    }
    stored.descriptors = writer.finish();
    stored.thumbnails = packThumbnails(thumbnails);
    return stored;
}

std::optional<Glance> unpackGlance(const StoredGlance& stored) {
    Glance glance{stored.frameRate, stored.start, stored.end, {}};
    FrameChunkReader reader;
    if (stored.pictures < 0 || !reader.open(stored.descriptors, stored.pictures))
        return std::nullopt;
    Frame frame;
    while (reader.next(&frame)) {
        std::string thumbnail = unpackThumbnail(stored.thumbnails, glance.pictures.size());
        glance.pictures.push_back({frame.frameTime, frame.descriptors, std::move(thumbnail)});
    }
    if (static_cast<int>(glance.pictures.size()) != stored.pictures)
        return std::nullopt;
    return glance;
}

double standInRate(const Glance& glance) {
    const double rate =
        std::isfinite(glance.frameRate) && glance.frameRate > 0 ? glance.frameRate : 25.0;
    const double length = glance.end - glance.start;
    return length * rate > kMostStandInFrames ? kMostStandInFrames / length : rate;
}

std::vector<StoredChunk> standInChunks(const Glance& glance) {
    std::vector<StoredChunk> chunks;
    if (glance.pictures.empty())
        return chunks;
    const double rate = standInRate(glance);
    const auto frames =
        std::max<int64_t>(1, static_cast<int64_t>(std::ceil((glance.end - glance.start) * rate)));
    FrameChunkWriter writer;
    const GlancePicture* shown = nullptr;
    int64_t chunkStart = 0;
    for (int64_t i = 0; i < frames; ++i) {
        Frame frame;
        frame.frameNumber = static_cast<double>(static_cast<uint32_t>(i));
        frame.frameTime = glance.start + static_cast<double>(i) / rate;
        const GlancePicture* picture = glance.at(frame.frameTime);
        frame.keyFrame = picture != shown;
        shown = picture;
        frame.descriptors = picture->descriptors;
        writer.add(frame);
        if (writer.frames() == kStandInChunkFrames || i + 1 == frames) {
            StoredChunk chunk;
            chunk.firstFrame = chunkStart;
            chunk.frames = writer.frames();
            chunk.descriptors = writer.finish();
            chunkStart = i + 1;
            chunks.push_back(std::move(chunk));
        }
    }
    return chunks;
}

std::optional<Glance> storedGlance(DescriptorStore& store, const VideoKey& key) {
    const std::optional<StoredGlance> stored = store.findGlance(key);
    return stored ? unpackGlance(*stored) : std::nullopt;
}

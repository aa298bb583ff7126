#include "RangePlan.h"

#include "Demuxer.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {
// Beyond this, more readers only hold more memory.
constexpr int kMostRanges = 16;
// Below this many bits a pixel, decoding is cheap enough for ranges to pay.
// Screen recordings and animation take 0.005 to 0.02, camera footage 0.05
// and more (grain 0.2).
constexpr double kCheapBitsPerPixel = 0.05;

bool usable(AVRational rate) {
    return rate.num > 0 && rate.den > 0;
}

bool listsEveryPacket(const Demuxer& demuxer, int video) {
    for (int i = 0; i < demuxer.indexSize(video); ++i)
        if (!(demuxer.indexEntry(video, i).flags & AVINDEX_KEYFRAME))
            return true;
    return false;
}

// The index tells the stream's groups of pictures truly: its timestamps go
// forward, every entry lies inside the file, and when it lists every packet
// (not only the key frames) they follow one another a frame apart.
bool indexIsSound(const Demuxer& demuxer, int video) {
    const int count = demuxer.indexSize(video);
    const int64_t size = demuxer.fileSize();
    if (count < 2 || size <= 0)
        return false;
    const bool everyPacket = listsEveryPacket(demuxer, video);
    const int64_t step =
        demuxer.indexEntry(video, 1).timestamp - demuxer.indexEntry(video, 0).timestamp;
    for (int i = 0; i < count; ++i) {
        const AVIndexEntry& entry = demuxer.indexEntry(video, i);
        if (entry.pos < 0 || entry.pos + entry.size > size)
            return false;
        if (i == 0)
            continue;
        const AVIndexEntry& before = demuxer.indexEntry(video, i - 1);
        const int64_t gap = entry.timestamp - before.timestamp;
        if (gap <= 0 || entry.pos <= before.pos || (everyPacket && gap != step))
            return false;
    }
    return (demuxer.indexEntry(video, 0).flags & AVINDEX_KEYFRAME) != 0;
}
// The NAL unit types in a packet of H.264 or HEVC, length-prefixed as in
// MP4 (lengthSize bytes) or after start codes (lengthSize 0).
std::vector<int> nalTypes(const AVPacket& packet, bool hevc, int lengthSize) {
    std::vector<int> types;
    const uint8_t* data = packet.data;
    const size_t size = static_cast<size_t>(std::max(0, packet.size));
    const auto typeAt = [&](size_t at) {
        if (at < size)
            types.push_back(hevc ? (data[at] >> 1) & 0x3f : data[at] & 0x1f);
    };
    if (lengthSize > 0) {
        for (size_t at = 0; at + static_cast<size_t>(lengthSize) <= size;) {
            size_t length = 0;
            for (int i = 0; i < lengthSize; ++i)
                length = (length << 8) | data[at + static_cast<size_t>(i)];
            at += static_cast<size_t>(lengthSize);
            typeAt(at);
            at += length;
        }
        return types;
    }
    for (size_t at = 0; at + 3 <= size; ++at)
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1)
            typeAt(at + 3);
    return types;
}

// A key picture after which nothing refers to the pictures before it: for
// H.264 and HEVC an IDR picture (an I picture that is not may leave the
// decoder, started there, putting out other pictures than one pass does).
bool refreshes(const AVPacket& packet, const AVCodecParameters& codec) {
    const bool hevc = codec.codec_id == AV_CODEC_ID_HEVC;
    if (codec.codec_id != AV_CODEC_ID_H264 && !hevc)
        return true;
    const uint8_t* extra = codec.extradata;
    int lengthSize = 0;
    if (extra != nullptr && codec.extradata_size > 22 && extra[0] == 1)
        lengthSize = ((hevc ? extra[21] : extra[4]) & 3) + 1;
    for (const int type : nalTypes(packet, hevc, lengthSize))
        if (hevc ? type == 19 || type == 20 : type == 5)
            return true;
    return false;
}

// The key packet a seek to ts lands on, when it lands on one.
struct Landing {
    int64_t pos = -1;
    int64_t pts = AV_NOPTS_VALUE;
    // A decoder started there puts out the pictures one pass does: the
    // picture refreshes, and none that follows it in the file shows before
    // it (an open group's leading pictures).
    bool afresh = false;
};

Landing land(Demuxer& demuxer, int video, int64_t ts, AVPacket* packet) {
    Landing landing;
    demuxer.flush();
    if (!demuxer.seek(video, ts) || !demuxer.read(video, packet))
        return landing;
    if (packet->flags & AV_PKT_FLAG_KEY) {
        landing.pos = packet->pos;
        landing.pts = packet->pts;
        landing.afresh = refreshes(*packet, *demuxer.stream(video)->codecpar);
    }
    av_packet_unref(packet);
    if (landing.afresh) {
        landing.afresh = demuxer.read(video, packet) && packet->pts != AV_NOPTS_VALUE &&
                         landing.pts != AV_NOPTS_VALUE && packet->pts > landing.pts;
        av_packet_unref(packet);
    }
    return landing;
}

// Where a seek lands on the key frame of the index entry that spans
// [entryPos, nextPos) in the file, and with what timestamp: the index's own,
// or (for containers that seek by presentation time, as MP4 does) the key
// frame's presentation time, found by reading on from where the index's
// timestamp lands. None when neither lands there.
std::optional<std::pair<int64_t, Landing>> seekTarget(Demuxer& demuxer, int video, int64_t indexTs,
                                                      int64_t entryPos, int64_t nextPos,
                                                      AVPacket* packet) {
    const auto within = [&](int64_t pos) { return pos >= entryPos && pos < nextPos; };
    const Landing first = land(demuxer, video, indexTs, packet);
    if (within(first.pos))
        return std::make_pair(indexTs, first);
    if (first.pos < 0 || first.pos >= entryPos)
        return std::nullopt;
    int64_t pts = AV_NOPTS_VALUE;
    demuxer.flush();
    demuxer.seek(video, indexTs);
    while (demuxer.read(video, packet)) {
        const int64_t pos = packet->pos;
        if (within(pos))
            pts = packet->pts;
        av_packet_unref(packet);
        if (pos >= entryPos)
            break;
    }
    if (pts == AV_NOPTS_VALUE)
        return std::nullopt;
    const Landing again = land(demuxer, video, pts, packet);
    if (!within(again.pos))
        return std::nullopt;
    return std::make_pair(pts, again);
}

// Whether the pictures of the video stream take few bits (see
// planStretches); false when it does not tell.
bool fewBitsAPixel(const Demuxer& demuxer, int video) {
    const AVStream* stream = demuxer.stream(video);
    const AVCodecParameters* codec = stream->codecpar;
    const double pixels = static_cast<double>(codec->width) * codec->height;
    double bitRate = static_cast<double>(codec->bit_rate);
    if (bitRate <= 0.0) {
        // The whole file's, sound and all, when the stream does not tell its own.
        const AVFormatContext* format = demuxer.format();
        if (format->duration <= 0 || demuxer.fileSize() <= 0)
            return false;
        bitRate = 8.0 * static_cast<double>(demuxer.fileSize()) /
                  (static_cast<double>(format->duration) / AV_TIME_BASE);
    }
    if (pixels <= 0.0 || !usable(stream->avg_frame_rate))
        return false;
    return bitRate / (pixels * av_q2d(stream->avg_frame_rate)) < kCheapBitsPerPixel;
}
} // namespace

RangePolicy rangePolicy(int threads) {
    RangePolicy policy;
    policy.ranges = std::clamp(threads, 1, kMostRanges);
    policy.decoderThreads = std::max(1, threads / policy.ranges);
    return policy;
}

std::vector<Stretch> planStretches(const std::string& path, int64_t framesPerStretch,
                                   bool wherePaying) {
    Demuxer demuxer;
    if (demuxer.open(path.c_str()) != Demuxer::Opened::Yes)
        return {};
    const int video = demuxer.lowestStream(AVMEDIA_TYPE_VIDEO);
    if (video < 0 || (wherePaying && !fewBitsAPixel(demuxer, video)))
        return {};
    const AVStream* stream = demuxer.stream(video);
    // A rate that varies leaves the frame numbers to the pictures as they
    // come, which one pass counts best.
    if (!usable(stream->r_frame_rate) || !usable(stream->avg_frame_rate) ||
        av_cmp_q(stream->r_frame_rate, stream->avg_frame_rate) != 0 || !usable(stream->time_base) ||
        !indexIsSound(demuxer, video))
        return {};
    const double framesPerTick = av_q2d(stream->time_base) * av_q2d(stream->r_frame_rate);

    demuxer.discardAllBut(video);
    demuxer.choose(video);
    const ffmpeg::PacketPtr packet(av_packet_alloc());
    if (!packet)
        return {};

    // The first stretch is read from the file's start, as one pass reads
    // it; the others start at key frames a decoder can start afresh from.
    std::vector<Stretch> stretches(1);
    stretches[0].keyPos = demuxer.indexEntry(video, 0).pos;
    std::vector<int> starts{0}; // each stretch's first index entry
    int64_t startTs = demuxer.indexEntry(video, 0).timestamp;
    const int count = demuxer.indexSize(video);
    for (int i = 1; i < count; ++i) {
        const AVIndexEntry& entry = demuxer.indexEntry(video, i);
        if (!(entry.flags & AVINDEX_KEYFRAME) ||
            static_cast<double>(entry.timestamp - startTs) * framesPerTick <
                static_cast<double>(framesPerStretch))
            continue;
        const int64_t nextPos =
            i + 1 < count ? demuxer.indexEntry(video, i + 1).pos : demuxer.fileSize();
        const std::optional<std::pair<int64_t, Landing>> target =
            seekTarget(demuxer, video, entry.timestamp, entry.pos, nextPos, packet.get());
        if (!target || !target->second.afresh)
            continue;
        stretches.push_back({target->first, target->second.pos});
        starts.push_back(i);
        startTs = entry.timestamp;
    }
    if (stretches.size() < 2)
        return {};
    // Where the index lists every packet, each of a stretch's gives a picture
    // in one pass (else the decoder left one out, and what follows may
    // differ): the count a stretch must come to.
    if (listsEveryPacket(demuxer, video))
        for (size_t k = 0; k < stretches.size(); ++k)
            stretches[k].packets = (k + 1 < starts.size() ? starts[k + 1] : count) - starts[k];
    return stretches;
}

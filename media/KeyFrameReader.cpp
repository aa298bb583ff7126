#include "KeyFrameReader.h"

#include "Picture.h"
#include "VideoReader.h"

namespace {
// Seeks in a row that give no picture after which the data is taken to end
// there (a file cut short whose index runs on).
constexpr int kMissesAtEnd = 4;
// Packets read after a seek in search of its key frame.
constexpr int kPacketsAfterSeek = 512;
// Packets read in order between two asks whether to go on.
constexpr int kPacketsBetweenAsks = 64;

bool isUsable(AVRational rate) {
    return rate.num > 0 && rate.den > 0;
}
} // namespace

class KeyFrameReader::KeyDecoder : public Decoder {
public:
    Opened open(const AVStream* stream, int threads) {
        return Decoder::open(stream, [&](AVCodecContext* c) {
            if (static_cast<int64_t>(c->width) * c->height > VideoReader::MAX_PICTURE_AREA)
                return Opened::TooLarge;
            c->max_pixels = VideoReader::MAX_PICTURE_AREA;
            c->pkt_timebase = stream->time_base;
            // One picture at a time: frame threads would hold each back
            // until the next ones came.
            c->thread_type = FF_THREAD_SLICE;
            c->thread_count = threads;
            c->skip_frame = AVDISCARD_NONKEY;
            return Opened::Yes;
        });
    }
};

KeyFrameReader::KeyFrameReader(const char* path, int threads)
    : scaler(SWS_BILINEAR), packet(av_packet_alloc()), frame(av_frame_alloc()),
      converted(nullptr, free_picture) {
    if (!packet || !frame || demuxer.open(path) != Demuxer::Opened::Yes)
        return;
    stream = demuxer.lowestStream(AVMEDIA_TYPE_VIDEO);
    if (stream < 0)
        return;
    const AVStream* video = demuxer.stream(stream);
    decoder = std::make_unique<KeyDecoder>();
    if (decoder->open(video, threads) != Decoder::Opened::Yes)
        return;
    demuxer.choose(stream);
    demuxer.discardAllBut(stream);
    base = video->time_base;
    if (!isUsable(base))
        return;
    if (isUsable(video->r_frame_rate))
        fps = av_q2d(video->r_frame_rate);
    else if (isUsable(video->avg_frame_rate))
        fps = av_q2d(video->avg_frame_rate);
    if (video->duration != AV_NOPTS_VALUE && video->duration > 0)
        length = toSeconds(video->duration);
    else if (demuxer.format()->duration != AV_NOPTS_VALUE && demuxer.format()->duration > 0)
        length = static_cast<double>(demuxer.format()->duration) / AV_TIME_BASE;
    if (video->start_time != AV_NOPTS_VALUE)
        start = toSeconds(video->start_time);
    pictureWidth = video->codecpar->width;
    pictureHeight = video->codecpar->height;
    keys = demuxer.keyFrameTimestamps(stream);
    opened = true;
}

KeyFrameReader::~KeyFrameReader() = default;

double KeyFrameReader::toSeconds(int64_t ts) const {
    return static_cast<double>(ts) * base.num / base.den;
}

bool KeyFrameReader::next(double spacing, const std::function<bool()>& carryOn) {
    if (!opened)
        return false;
    // Past the index's last key frame (an index that holds the first few
    // only, as Matroska's without cues does), in order from there.
    return nextIndexed(spacing, carryOn) || (carryOn() && nextInOrder(spacing, carryOn));
}

bool KeyFrameReader::nextIndexed(double spacing, const std::function<bool()>& carryOn) {
    while (nextKey < keys.size() && misses < kMissesAtEnd) {
        const int64_t target = keys[nextKey++];
        if (taken && toSeconds(target) < spacedFrom + spacing)
            continue;
        if (!carryOn())
            return false;
        demuxer.flush();
        bool found = false;
        // Forward: a container that seeks on another clock than its index
        // (MP4 with an edit list) lands on this key frame still, not the one
        // before.
        if (demuxer.seek(stream, target, true)) {
            for (int read = 0; read < kPacketsAfterSeek && demuxer.read(stream, packet.get());
                 ++read) {
                found = (packet->flags & AV_PKT_FLAG_KEY) != 0;
                if (found)
                    break;
                av_packet_unref(packet.get());
            }
        }
        // Spaced from where it landed, and the index read on from there.
        const int64_t landed = !found                        ? target
                               : packet->dts != AV_NOPTS_VALUE ? packet->dts
                                                               : packet->pts;
        if (found && decodeAlone()) {
            spacedFrom = toSeconds(landed != AV_NOPTS_VALUE ? landed : target);
            while (nextKey < keys.size() && keys[nextKey] <= landed)
                ++nextKey;
            misses = 0;
            return true;
        }
        ++misses;
    }
    return false;
}

bool KeyFrameReader::nextInOrder(double spacing, const std::function<bool()>& carryOn) {
    if (misses >= kMissesAtEnd)
        return false;
    for (int read = 1; demuxer.read(stream, packet.get()); ++read) {
        if (read % kPacketsBetweenAsks == 0 && !carryOn()) {
            av_packet_unref(packet.get());
            return false;
        }
        const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
        const bool wanted = (packet->flags & AV_PKT_FLAG_KEY) && ts != AV_NOPTS_VALUE &&
                            (!taken || toSeconds(ts) >= spacedFrom + spacing);
        if (wanted && decodeAlone()) {
            spacedFrom = toSeconds(ts);
            return true;
        }
        av_packet_unref(packet.get());
    }
    return false;
}

bool KeyFrameReader::decodeAlone() {
    const int64_t packetTs = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    decoder->flush();
    const bool sent = packet->size > 0 && decoder->send(packet.get()) >= 0;
    av_packet_unref(packet.get());
    if (!sent)
        return false;
    // The end of the input right after it: the decoder gives it at once.
    decoder->send(nullptr);
    bool got = false;
    while (!got) {
        const int received = decoder->receive(frame.get());
        if (received == AVERROR_EOF || received == AVERROR(EAGAIN))
            break;
        got = received == 0 && frame->width > 0 && frame->height > 0;
    }
    if (!got)
        return false;
    int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        ts = packetTs;
    const double seconds = ts != AV_NOPTS_VALUE ? toSeconds(ts) : time;
    // Times only go forward, whatever a damaged or restarting clock says.
    if (taken && !(seconds > time))
        return false;
    if (pictureWidth <= 0 || pictureHeight <= 0) {
        pictureWidth = frame->width;
        pictureHeight = frame->height;
    }
    const bool planar420 =
        frame->format == AV_PIX_FMT_YUV420P || frame->format == AV_PIX_FMT_YUVJ420P;
    if (planar420 && frame->width == pictureWidth && frame->height == pictureHeight) {
        shown = frame.get();
    } else {
        if (!converted)
            converted.reset(alloc_picture(AV_PIX_FMT_YUV420P, pictureWidth, pictureHeight));
        if (!scaler.toYuv420(frame.get(), converted.get(), pictureWidth, pictureHeight))
            return false;
        shown = converted.get();
    }
    time = seconds;
    taken = true;
    return true;
}

#include "Demuxer.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <algorithm>
#include <mutex>
#include <utility>

int lowestStream(const AVFormatContext* context, AVMediaType type) {
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type != type)
            continue;
        if (type == AVMEDIA_TYPE_VIDEO && (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        return static_cast<int>(i);
    }
    return -1;
}

Demuxer::Demuxer() : readBuffer(av_packet_alloc()) {}

Demuxer::~Demuxer() = default;

Demuxer::Opened Demuxer::open(const char* path) {
    static std::once_flag capped;
    std::call_once(capped, [] { av_max_alloc(kLargestAllocation); });
    AVFormatContext* context = nullptr;
    if (readBuffer == nullptr || avformat_open_input(&context, path, nullptr, nullptr) != 0)
        return Opened::CannotOpen;
    input.reset(context);
    if (avformat_find_stream_info(context, nullptr) < 0)
        return Opened::NoStreamInfo;
    return Opened::Yes;
}

void Demuxer::choose(int first, int second) {
    chosen[0] = first;
    chosen[1] = second;
}

void Demuxer::discard(int index) {
    if (index >= 0)
        input->streams[index]->discard = AVDISCARD_ALL;
}

void Demuxer::discardAllBut(int index) {
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (static_cast<int>(i) != index)
            discard(static_cast<int>(i));
}

Demuxer::PacketQueue* Demuxer::queueOf(int index) {
    if (index < 0)
        return nullptr;
    for (int i = 0; i < 2; ++i)
        if (chosen[i] == index)
            return &queues[i];
    return nullptr;
}

bool Demuxer::read(int index, AVPacket* packet) {
    PacketQueue* wanted = queueOf(index);
    if (wanted == nullptr)
        return false;
    if (auto queued = wanted->tryGet()) {
        av_packet_move_ref(packet, queued->item.get());
        return true;
    }
    for (;;) {
        // Only the container's end (or a read error) ends the input; empty
        // packets are handed out like any other.
        if (ended || av_read_frame(input.get(), readBuffer.get()) < 0) {
            ended = true;
            return false;
        }
        if (readBuffer->stream_index == index) {
            av_packet_move_ref(packet, readBuffer.get());
            return true;
        }
        if (PacketQueue* other = queueOf(readBuffer->stream_index)) {
            ffmpeg::PacketPtr parked(av_packet_alloc());
            if (parked) {
                av_packet_move_ref(parked.get(), readBuffer.get());
                other->put(std::move(parked));
            }
        }
        av_packet_unref(readBuffer.get());
    }
}

bool Demuxer::seek(int index, int64_t ts, bool atOrAfter) {
    return av_seek_frame(input.get(), index, ts, atOrAfter ? 0 : AVSEEK_FLAG_BACKWARD) >= 0;
}

void Demuxer::flush() {
    queues[0].flush();
    queues[1].flush();
    ended = false;
}

void Demuxer::dropQueued(int index) {
    if (PacketQueue* queue = queueOf(index))
        queue->flush();
}

bool Demuxer::queueEmpty(int index) const {
    for (int i = 0; i < 2; ++i)
        if (chosen[i] == index)
            return queues[i].empty();
    return true;
}

AVRational Demuxer::sampleAspect(int index) const {
    return av_guess_sample_aspect_ratio(input.get(), input->streams[index], nullptr);
}

bool Demuxer::hasKeyFrameIndex(int index) const {
    return avformat_index_get_entries_count(input->streams[index]) > 0;
}

std::optional<int64_t> Demuxer::keyFrameAtOrBefore(int index, int64_t ts) const {
    const AVIndexEntry* key =
        avformat_index_get_entry_from_timestamp(input->streams[index], ts, AVSEEK_FLAG_BACKWARD);
    if (key == nullptr)
        return std::nullopt;
    return key->timestamp;
}

std::vector<int64_t> Demuxer::keyFrameTimestamps(int index) const {
    std::vector<int64_t> keys;
    for (int i = 0; i < indexSize(index); ++i) {
        const AVIndexEntry& entry = indexEntry(index, i);
        if ((entry.flags & AVINDEX_KEYFRAME) && entry.timestamp != AV_NOPTS_VALUE)
            keys.push_back(entry.timestamp);
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

int Demuxer::indexSize(int index) const {
    return avformat_index_get_entries_count(input->streams[index]);
}

const AVIndexEntry& Demuxer::indexEntry(int index, int entry) const {
    return *avformat_index_get_entry(input->streams[index], entry);
}

int64_t Demuxer::fileSize() const {
    return input->pb != nullptr ? avio_size(input->pb) : -1;
}

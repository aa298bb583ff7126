#include "TestMedia.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

#include "AVPointers.h"

namespace {
const std::string kDir = TESSARO_TEST_MEDIA_DIR;

struct OutputFreer {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};

// Adds streams to the new file before its header is written.
using AddStreams = std::function<bool(AVFormatContext* output)>;
// Writes what goes before each video packet (given in the source's time
// base) of the new file.
using BeforePacket =
    std::function<bool(AVFormatContext* output, AVRational base, const AVPacket& packet)>;

// Copies the first stream (video) of `source` into a new `format` file.
bool remuxVideo(const std::string& source, const std::string& target, const char* format,
                const AddStreams& addStreams, const BeforePacket& beforePacket) {
    AVFormatContext* rawInput = nullptr;
    if (avformat_open_input(&rawInput, source.c_str(), nullptr, nullptr) != 0)
        return false;
    ffmpeg::InputPtr input(rawInput);
    if (avformat_find_stream_info(input.get(), nullptr) < 0 || input->nb_streams < 1)
        return false;
    const AVStream* in = input->streams[0];

    AVFormatContext* rawOutput = nullptr;
    if (avformat_alloc_output_context2(&rawOutput, nullptr, format, target.c_str()) < 0)
        return false;
    std::unique_ptr<AVFormatContext, OutputFreer> output(rawOutput);
    AVStream* out = avformat_new_stream(output.get(), nullptr);
    if (out == nullptr || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
        return false;
    out->codecpar->codec_tag = 0;
    out->time_base = in->time_base;
    if (!addStreams(output.get()) || avio_open(&output->pb, target.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(output.get(), nullptr) < 0)
        return false;

    ffmpeg::PacketPtr packet(av_packet_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        bool written = true;
        if (packet->stream_index == 0) {
            // AVI gives decoding timestamps only; without B-frames they are the same.
            if (packet->pts == AV_NOPTS_VALUE)
                packet->pts = packet->dts;
            written = beforePacket(output.get(), in->time_base, *packet);
            av_packet_rescale_ts(packet.get(), in->time_base, out->time_base);
            written = written && av_interleaved_write_frame(output.get(), packet.get()) >= 0;
        }
        av_packet_unref(packet.get());
        if (!written)
            return false;
    }
    return av_write_trailer(output.get()) >= 0;
}

bool writePacket(AVFormatContext* output, int stream, AVRational base, int64_t ts, int size) {
    ffmpeg::PacketPtr packet(av_packet_alloc());
    if (size > 0 && av_new_packet(packet.get(), size) < 0)
        return false;
    if (size > 0)
        std::memset(packet->data, 0, size);
    packet->stream_index = stream;
    packet->pts = packet->dts = av_rescale_q(ts, base, output->streams[stream]->time_base);
    return av_interleaved_write_frame(output, packet.get()) >= 0;
}

// The video of kDroppedFrames with an empty packet for each missing frame,
// as AVI's dropped-frame chunks are (one time-base unit per frame there).
bool writeEmptyPackets(const std::string& target) {
    int64_t previous = AV_NOPTS_VALUE;
    const auto noStreams = [](AVFormatContext*) { return true; };
    const auto fillGaps = [&](AVFormatContext* output, AVRational base, const AVPacket& packet) {
        for (int64_t ts = previous + 1; previous != AV_NOPTS_VALUE && ts < packet.dts; ++ts)
            if (!writePacket(output, 0, base, ts, 0))
                return false;
        previous = packet.dts;
        return true;
    };
    return remuxVideo(kDir + "/" + kDroppedFrames, target, "nut", noStreams, fillGaps);
}

// The video of kFrames51 with an MPEG-H 3D audio stream, which FFmpeg can
// carry but not decode.
bool writeUndecodableAudio(const std::string& target) {
    const auto addAudio = [](AVFormatContext* output) {
        AVStream* audio = avformat_new_stream(output, nullptr);
        if (audio == nullptr)
            return false;
        audio->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
        audio->codecpar->codec_id = AV_CODEC_ID_MPEGH_3D_AUDIO;
        audio->codecpar->sample_rate = 48000;
        audio->codecpar->frame_size = 1024;
        av_channel_layout_default(&audio->codecpar->ch_layout, 2);
        audio->time_base = AVRational{1, 48000};
        return true;
    };
    int64_t audioFrames = 0;
    const auto audioAlongside = [&](AVFormatContext* output, AVRational, const AVPacket&) {
        return writePacket(output, 1, AVRational{1, 48000}, 1024 * audioFrames++, 64);
    };
    return remuxVideo(kDir + "/" + kFrames51, target, "mp4", addAudio, audioAlongside);
}

// Makes one file through libavformat, under the fixture's lock, unless it exists.
void makeWithLibav(const char* name, bool (*write)(const std::string& target)) {
    const std::string target = kDir + "/" + name;
    const int lock = ::open((kDir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0)
        return;
    flock(lock, LOCK_EX);
    if (access(target.c_str(), F_OK) != 0) {
        const std::string temporary = kDir + "/.tmp-" + std::to_string(getpid()) + "-" + name;
        if (write(temporary))
            std::rename(temporary.c_str(), target.c_str());
        else
            std::fprintf(stderr, "testMedia: could not make %s\n", name);
        std::remove(temporary.c_str());
    }
    flock(lock, LOCK_UN);
    close(lock);
}

void makeAll() {
    const std::string command = std::string("'") + TESSARO_MAKE_TEST_MEDIA + "' '" + kDir + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "testMedia: %s failed\n", command.c_str());
    makeWithLibav(kEmptyPackets, &writeEmptyPackets);
    makeWithLibav(kNoAudioDecoder, &writeUndecodableAudio);
}
} // namespace

std::string testMedia(const std::string& name) {
    static std::once_flag made;
    std::call_once(made, makeAll);
    return kDir + "/" + name;
}

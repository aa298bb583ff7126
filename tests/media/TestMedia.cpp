#include "TestMedia.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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

// Remuxes the video of `source` into NUT, writing an empty packet for each
// frame missing from the timestamps (as AVI's dropped-frame chunks are).
bool writeWithEmptyPackets(const std::string& source, const std::string& target) {
    AVFormatContext* rawInput = nullptr;
    if (avformat_open_input(&rawInput, source.c_str(), nullptr, nullptr) != 0)
        return false;
    ffmpeg::InputPtr input(rawInput);
    if (avformat_find_stream_info(input.get(), nullptr) < 0 || input->nb_streams < 1)
        return false;
    const AVStream* in = input->streams[0];

    AVFormatContext* rawOutput = nullptr;
    if (avformat_alloc_output_context2(&rawOutput, nullptr, "nut", target.c_str()) < 0)
        return false;
    std::unique_ptr<AVFormatContext, OutputFreer> output(rawOutput);
    AVStream* out = avformat_new_stream(output.get(), nullptr);
    if (out == nullptr || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
        return false;
    out->codecpar->codec_tag = 0;
    out->time_base = in->time_base;
    if (avio_open(&output->pb, target.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(output.get(), nullptr) < 0)
        return false;

    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::PacketPtr empty(av_packet_alloc());
    int64_t previous = AV_NOPTS_VALUE;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index != 0) {
            av_packet_unref(packet.get());
            continue;
        }
        // One time-base unit per frame in AVI: each missing unit is a dropped frame.
        for (int64_t ts = previous + 1; previous != AV_NOPTS_VALUE && ts < packet->dts; ++ts) {
            av_packet_unref(empty.get());
            empty->pts = empty->dts = ts;
            av_packet_rescale_ts(empty.get(), in->time_base, out->time_base);
            if (av_write_frame(output.get(), empty.get()) < 0)
                return false;
        }
        previous = packet->dts;
        packet->pts = packet->dts;
        av_packet_rescale_ts(packet.get(), in->time_base, out->time_base);
        const int written = av_write_frame(output.get(), packet.get());
        av_packet_unref(packet.get());
        if (written < 0)
            return false;
    }
    return av_write_trailer(output.get()) >= 0;
}

void makeEmptyPacketFile() {
    const std::string target = kDir + "/" + kEmptyPackets;
    const int lock = ::open((kDir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0)
        return;
    flock(lock, LOCK_EX);
    if (access(target.c_str(), F_OK) != 0) {
        const std::string temporary = kDir + "/.tmp-" + std::to_string(getpid()) + "-nut";
        if (writeWithEmptyPackets(kDir + "/" + kDroppedFrames, temporary))
            std::rename(temporary.c_str(), target.c_str());
        else
            std::fprintf(stderr, "testMedia: could not make %s\n", kEmptyPackets);
        std::remove(temporary.c_str());
    }
    flock(lock, LOCK_UN);
    close(lock);
}

void makeAll() {
    const std::string command = std::string("'") + TESSARO_MAKE_TEST_MEDIA + "' '" + kDir + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "testMedia: %s failed\n", command.c_str());
    makeEmptyPacketFile();
}
} // namespace

std::string testMedia(const std::string& name) {
    static std::once_flag made;
    std::call_once(made, makeAll);
    return kDir + "/" + name;
}

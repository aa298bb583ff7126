#include "ToolTestSupport.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

extern "C" {
#include <libswscale/swscale.h>
}

#include "AVPointers.h"

std::string scratchDirectory(const std::string& name) {
    const std::string path = std::string(TESSARO_BINARY_DIR) + "/tools-test-scratch/" + name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

size_t fileCount(const std::string& directory) {
    using Entries = std::filesystem::directory_iterator;
    return std::distance(Entries(directory), Entries());
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

namespace {

ffmpeg::CodecContextPtr openDecoder(const AVStream* stream) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    ffmpeg::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), stream->codecpar);
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        decoder.reset();
    return decoder;
}

ffmpeg::InputPtr openInput(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) != 0)
        return nullptr;
    ffmpeg::InputPtr format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        format.reset();
    return format;
}

} // namespace

StreamInfo inspectMedia(const std::string& path) {
    StreamInfo info;
    const ffmpeg::InputPtr format = openInput(path);
    if (!format)
        return info;
    info.duration = format->duration != AV_NOPTS_VALUE ? format->duration / 1e6 : 0.0;
    for (unsigned i = 0; i < format->nb_chapters; ++i) {
        const AVChapter* chapter = format->chapters[i];
        info.chapterStarts.push_back(chapter->start * av_q2d(chapter->time_base));
        info.chapterEnds.push_back(chapter->end * av_q2d(chapter->time_base));
    }
    const AVStream* streams[2] = {}; // video, audio
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* s = format->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && info.videoStreams++ == 0) {
            streams[0] = s;
            info.videoCodec = avcodec_get_name(s->codecpar->codec_id);
            info.width = s->codecpar->width;
            info.height = s->codecpar->height;
            info.frameRate = av_q2d(s->avg_frame_rate);
        } else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && info.audioStreams++ == 0) {
            streams[1] = s;
            info.audioCodec = avcodec_get_name(s->codecpar->codec_id);
            info.audioDuration = s->duration * av_q2d(s->time_base);
        }
    }
    ffmpeg::CodecContextPtr decoders[2];
    for (int k = 0; k < 2; ++k)
        if (streams[k] != nullptr)
            decoders[k] = openDecoder(streams[k]);
    const int64_t step =
        streams[0] ? av_rescale_q(1, av_inv_q(streams[0]->avg_frame_rate), streams[0]->time_base)
                   : 0;
    int64_t previous = AV_NOPTS_VALUE, samples = 0, sounding = 0;
    ffmpeg::FramePtr frame(av_frame_alloc());
    const auto drain = [&](int k) {
        while (decoders[k] && avcodec_receive_frame(decoders[k].get(), frame.get()) == 0) {
            if (k == 0) {
                ++info.videoFrames;
                const int64_t ts = frame->best_effort_timestamp;
                if (ts == AV_NOPTS_VALUE ||
                    (previous != AV_NOPTS_VALUE && std::llabs(ts - previous - step) > step / 2))
                    info.timestampsContinuous = false;
                previous = ts;
                continue;
            }
            // The AAC decoder gives planar floats; the first channel tells.
            if (frame->format != AV_SAMPLE_FMT_FLTP)
                continue;
            const auto* values = reinterpret_cast<const float*>(frame->extended_data[0]);
            for (int i = 0; i < frame->nb_samples; ++i)
                sounding += std::fabs(values[i]) > 0.01f;
            samples += frame->nb_samples;
        }
    };
    ffmpeg::PacketPtr packet(av_packet_alloc());
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        for (int k = 0; k < 2; ++k)
            if (decoders[k] && packet->stream_index == streams[k]->index) {
                avcodec_send_packet(decoders[k].get(), packet.get());
                drain(k);
            }
        av_packet_unref(packet.get());
    }
    for (int k = 0; k < 2; ++k)
        if (decoders[k]) {
            avcodec_send_packet(decoders[k].get(), nullptr);
            drain(k);
        }
    info.sounding = samples > 0 ? double(sounding) / samples : 0.0;
    return info;
}

DecodedPng decodePng(const std::string& path) {
    DecodedPng png;
    const ffmpeg::InputPtr format = openInput(path);
    if (!format || format->streams[0]->codecpar->codec_id != AV_CODEC_ID_PNG)
        return png;
    const ffmpeg::CodecContextPtr decoder = openDecoder(format->streams[0]);
    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!decoder || av_read_frame(format.get(), packet.get()) < 0 ||
        avcodec_send_packet(decoder.get(), packet.get()) < 0 ||
        avcodec_receive_frame(decoder.get(), frame.get()) < 0)
        return png;
    png.width = frame->width;
    png.height = frame->height;
    png.rgb.resize(size_t(png.width) * png.height * 3);
    ffmpeg::SwsPtr convert(sws_getContext(png.width, png.height, AVPixelFormat(frame->format),
                                          png.width, png.height, AV_PIX_FMT_RGB24, SWS_POINT,
                                          nullptr, nullptr, nullptr));
    uint8_t* planes[4] = {png.rgb.data()};
    const int strides[4] = {png.width * 3};
    sws_scale(convert.get(), frame->data, frame->linesize, 0, png.height, planes, strides);
    png.ok = true;
    return png;
}

ChildRun runProgram(const std::vector<std::string>& arguments) {
    Child program{.command = {TESSARO_SUMMARIZE_PROGRAM}};
    program.command.insert(program.command.end(), arguments.begin(), arguments.end());
    return runChild(program);
}

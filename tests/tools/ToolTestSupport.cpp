#include "ToolTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "AVPointers.h"
#include "Picture.h"
#include "TestMedia.h"

std::string demoVideo() {
    return std::string(TESSARO_BINARY_DIR) + "/data/demo.mp4";
}

std::string scratchDirectory(const std::string& testName) {
    const std::string path = std::string(TESSARO_BINARY_DIR) + "/tools-test-scratch/" + testName;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

void PictureDeleter::operator()(AVFrame* f) const {
    free_picture(f);
}

PicturePtr solidPicture(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
    PicturePtr picture(alloc_picture(AV_PIX_FMT_YUV420P, width, height));
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    for (int row = 0; row < height; ++row)
        std::memset(picture->data[0] + row * picture->linesize[0], y, width);
    for (int row = 0; row < chromaHeight; ++row) {
        std::memset(picture->data[1] + row * picture->linesize[1], u, chromaWidth);
        std::memset(picture->data[2] + row * picture->linesize[2], v, chromaWidth);
    }
    return picture;
}

StreamInfo inspectMedia(const std::string& path, bool decodeVideo) {
    StreamInfo info;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) != 0)
        return info;
    ffmpeg::InputPtr format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return info;
    info.opened = true;
    info.formatName = format->iformat->name;
    if (format->duration != AV_NOPTS_VALUE)
        info.duration = static_cast<double>(format->duration) / AV_TIME_BASE;
    int videoIndex = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* s = format->streams[i];
        const double seconds =
            s->duration != AV_NOPTS_VALUE ? s->duration * av_q2d(s->time_base) : 0.0;
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (info.videoStreams++ == 0) {
                videoIndex = static_cast<int>(i);
                info.videoCodec = avcodec_get_name(s->codecpar->codec_id);
                info.width = s->codecpar->width;
                info.height = s->codecpar->height;
                info.frameRate = av_q2d(s->avg_frame_rate);
                info.videoDuration = seconds;
            }
        } else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            if (info.audioStreams++ == 0) {
                info.audioCodec = avcodec_get_name(s->codecpar->codec_id);
                info.audioDuration = seconds;
            }
        }
    }
    if (!decodeVideo || videoIndex < 0)
        return info;

    const AVStream* stream = format->streams[videoIndex];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    ffmpeg::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), stream->codecpar);
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return info;
    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    const int64_t step = av_rescale_q(1, av_inv_q(stream->avg_frame_rate), stream->time_base);
    int64_t previous = AV_NOPTS_VALUE;
    auto drain = [&]() {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            ++info.videoFrames;
            const int64_t ts = frame->best_effort_timestamp;
            if (previous != AV_NOPTS_VALUE && std::llabs(ts - previous - step) > step / 2)
                info.timestampsContinuous = false;
            previous = ts;
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == videoIndex)
            avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        drain();
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    return info;
}

DecodedPng decodePng(const std::string& path) {
    DecodedPng png;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) != 0)
        return png;
    ffmpeg::InputPtr format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0 || format->nb_streams != 1)
        return png;
    const AVCodecParameters* par = format->streams[0]->codecpar;
    if (par->codec_id != AV_CODEC_ID_PNG)
        return png;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    ffmpeg::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), par);
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return png;
    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (av_read_frame(format.get(), packet.get()) < 0 ||
        avcodec_send_packet(decoder.get(), packet.get()) < 0 ||
        avcodec_receive_frame(decoder.get(), frame.get()) < 0)
        return png;
    png.width = frame->width;
    png.height = frame->height;
    png.rgb.resize(static_cast<size_t>(png.width) * png.height * 3);
    ffmpeg::SwsPtr convert(
        sws_getContext(png.width, png.height, static_cast<AVPixelFormat>(frame->format), png.width,
                       png.height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr));
    uint8_t* planes[4] = {png.rgb.data(), nullptr, nullptr, nullptr};
    int strides[4] = {png.width * 3, 0, 0, 0};
    sws_scale(convert.get(), frame->data, frame->linesize, 0, png.height, planes, strides);
    png.ok = true;
    return png;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::vector<char*> programArgv(const std::vector<std::string>& arguments) {
    static const std::string program = TESSARO_SUMMARIZE_PROGRAM;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

ProgramRun runProgram(const std::vector<std::string>& arguments) {
    ProgramRun run;
    const std::string base =
        std::string(TESSARO_BINARY_DIR) + "/tools-test-scratch/run-" + std::to_string(getpid());
    std::filesystem::create_directories(std::string(TESSARO_BINARY_DIR) + "/tools-test-scratch");
    const std::string outPath = base + ".out";
    const std::string errPath = base + ".err";

    std::vector<char*> argv = programArgv(arguments);
    const pid_t child = fork();
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (child < 0)
        return run;
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return run;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> directoryEntries(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    return names;
}

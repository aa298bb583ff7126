#include "VideoProbe.h"

#include "Demuxer.h"
#include "ExitStatus.h"
#include "VideoReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

VideoProbe failure(int status, std::string message) {
    VideoProbe probe;
    probe.exitStatus = status;
    probe.error = std::move(message);
    return probe;
}

} // namespace

VideoProbe probeVideo(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return failure(EXIT_UNREADABLE, "cannot read '" + path + "': " + std::strerror(errno));
    if (S_ISDIR(info.st_mode))
        return failure(EXIT_UNREADABLE, "cannot read '" + path + "': it is a directory");
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return failure(EXIT_UNREADABLE, "cannot read '" + path + "': " + std::strerror(errno));
    close(fd);

    Demuxer demuxer;
    switch (demuxer.open(path.c_str())) {
    case Demuxer::Opened::CannotOpen:
        return failure(EXIT_NO_VIDEO, "'" + path + "' is not a video file FFmpeg can open");
    case Demuxer::Opened::NoStreamInfo:
        return failure(EXIT_NO_VIDEO, "'" + path + "' is not a video file FFmpeg can read");
    case Demuxer::Opened::Yes:
        break;
    }

    // The streams the engine's reader takes.
    const int videoIndex = demuxer.lowestStream(AVMEDIA_TYPE_VIDEO);
    const int audioIndex = demuxer.lowestStream(AVMEDIA_TYPE_AUDIO);
    if (videoIndex < 0)
        return failure(EXIT_NO_VIDEO, "'" + path + "' has no video stream");
    const AVStream* video = demuxer.stream(videoIndex);
    if (avcodec_find_decoder(video->codecpar->codec_id) == nullptr)
        return failure(EXIT_NO_VIDEO, "'" + path +
                                          "' has video in a format FFmpeg cannot decode (" +
                                          avcodec_get_name(video->codecpar->codec_id) + ")");

    VideoProbe probe;
    probe.width = video->codecpar->width;
    probe.height = video->codecpar->height;
    AVRational rate = video->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = video->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = {25, 1};
    probe.frameRateNum = rate.num;
    probe.frameRateDen = rate.den;
    const AVRational average = video->avg_frame_rate;
    if (average.num > 0 && average.den > 0) {
        probe.averageRateNum = average.num;
        probe.averageRateDen = average.den;
        // Containers that keep times in milliseconds put the average a
        // little off a constant rate; a varying rate is further off.
        probe.variableRate = std::fabs(av_q2d(average) / av_q2d(rate) - 1.0) > 0.005;
    } else {
        probe.averageRateNum = rate.num;
        probe.averageRateDen = rate.den;
    }
    const AVRational sar = demuxer.sampleAspect(videoIndex);
    if (sar.num > 0 && sar.den > 0) {
        probe.sarNum = sar.num;
        probe.sarDen = sar.den;
    }
    if (video->duration != AV_NOPTS_VALUE && video->duration > 0)
        probe.duration = static_cast<double>(video->duration) * av_q2d(video->time_base);
    else if (demuxer.format()->duration != AV_NOPTS_VALUE && demuxer.format()->duration > 0)
        probe.duration = static_cast<double>(demuxer.format()->duration) / AV_TIME_BASE;
    if (video->start_time != AV_NOPTS_VALUE)
        probe.start = static_cast<double>(video->start_time) * av_q2d(video->time_base);
    probe.hasAudio =
        audioIndex >= 0 &&
        avcodec_find_decoder(demuxer.stream(audioIndex)->codecpar->codec_id) != nullptr;

    // The reader refuses such pictures with messages of its own; refusing
    // them here keeps the refusal to one line.
    if (static_cast<int64_t>(probe.width) * probe.height > VideoReader::MAX_PICTURE_AREA)
        return failure(EXIT_NO_VIDEO,
                       "'" + path + "' has pictures of " + std::to_string(probe.width) + "x" +
                           std::to_string(probe.height) + ", larger than Tessaro reads (8K UHD)");
    // Whether pictures decode is the engine's to find out: a damaged file
    // may still give some, and those are summarised.
    probe.ok = true;
    return probe;
}

// Where a file cut short ends: the pictures decoded up to the end of its
// data tell it, and a seek that finds nothing looks for that end.

#include "VideoReader.h"

#include <algorithm>
#include <cmath>

namespace {
// A fragment's pictures: an end nearer the claimed one than this many
// pictures (or a second) is a whole file's.
constexpr double kShortByPictures = 25.0;
} // namespace

bool endsShort(double readSeconds, double claimedSeconds, double framePeriod) {
    if (!std::isfinite(claimedSeconds) || !(claimedSeconds > 0.0) || !std::isfinite(readSeconds))
        return false;
    const double tolerance = std::max(1.0, kShortByPictures * framePeriod);
    return readSeconds < claimedSeconds - tolerance;
}

bool VideoReader::decodePicture() {
    if (video.decode(demuxer, videoStream)) {
        lastPictureTs = std::max(lastPictureTs, video.picture()->pts);
        pictureSinceSeek = true;
        return true;
    }
    // Pictures read on from a seek up to the end of the data: the last of
    // them is the file's last readable one.
    if (pictureSinceSeek && demuxer.atEnd())
        noteEnd();
    return false;
}

void VideoReader::noteEnd() {
    if (shortEnd >= 0.0)
        return;
    const AVStream* stream = demuxer.stream(videoStream);
    const double start =
        stream->start_time != AV_NOPTS_VALUE ? timestampToSeconds(stream->start_time) : 0.0;
    const double period = 1.0 / getFrameRate();
    const double end = timestampToSeconds(lastPictureTs) + period;
    if (endsShort(end - start, timestampToSeconds(getVideoLength()), period))
        shortEnd = end;
}

void VideoReader::findReadableEnd(int64_t ts) {
    // Halves the span before ts until the latest place that decodes is
    // known within a second, then reads on from there to the end.
    const AVStream* stream = demuxer.stream(videoStream);
    const AVRational base = stream->time_base;
    const auto second = static_cast<int64_t>(std::max(1.0, static_cast<double>(base.den) / base.num));
    int64_t readable = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    int64_t unreadable = ts;
    auto seekTo = [this](int64_t at) {
        demuxer.seek(videoStream, at);
        flushBuffers();
        video.startAt(at);
    };
    while (unreadable - readable > second) {
        if (stopAsked())
            return;
        const int64_t middle = readable + (unreadable - readable) / 2;
        seekTo(middle);
        if (decodePicture())
            readable = middle;
        else
            unreadable = middle;
    }
    seekTo(readable);
    while (shortEnd < 0.0 && !stopAsked() && decodePicture()) {
    }
}

#include "ContactSheet.h"

#include "AVPointers.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

namespace {
const cv::Scalar kBackground(32, 32, 32);
const cv::Scalar kText(235, 235, 235);
constexpr double kFontScale = 0.5;
} // namespace

cv::Point ContactSheetLayout::thumbnailOrigin(int i) const {
    const int column = i % columns;
    const int row = i / columns;
    return {gap + column * (cellWidth + gap), gap + row * (cellHeight + gap)};
}

ContactSheet::ContactSheet(int width, int height, int sarNum, int sarDen)
    : sourceWidth(width), sourceHeight(height), scaler(SWS_AREA) {
    double displayWidth = width;
    if (sarNum > 0 && sarDen > 0)
        displayWidth = width * static_cast<double>(sarNum) / sarDen;
    const double h = displayWidth > 0 ? kThumbnailWidth * height / displayWidth : kThumbnailWidth;
    thumbnailHeight = std::max(2, static_cast<int>(std::lround(h / 2.0)) * 2);
}

bool ContactSheet::add(const AVFrame* picture, double seconds) {
    cv::Mat thumbnail(thumbnailHeight, kThumbnailWidth, CV_8UC3);
    uint8_t* planes[4] = {thumbnail.data, nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(thumbnail.step), 0, 0, 0};
    if (!scaler.scale(picture->data, picture->linesize,
                      {sourceWidth, sourceHeight, AV_PIX_FMT_YUV420P}, planes, strides,
                      {kThumbnailWidth, thumbnailHeight, AV_PIX_FMT_RGB24}))
        return false;
    thumbnails.push_back(thumbnail);
    times.push_back(seconds);
    return true;
}

ContactSheetLayout ContactSheet::layout() const {
    ContactSheetLayout l;
    const int n = count();
    l.columns = std::max(1, std::min(n, kMaxColumns));
    l.rows = std::max(1, (n + l.columns - 1) / l.columns);
    l.thumbnailWidth = kThumbnailWidth;
    l.thumbnailHeight = thumbnailHeight;
    l.cellWidth = kThumbnailWidth;
    l.cellHeight = thumbnailHeight + kLabelHeight;
    l.gap = kGap;
    l.width = l.columns * l.cellWidth + (l.columns + 1) * kGap;
    l.height = l.rows * l.cellHeight + (l.rows + 1) * kGap;
    return l;
}

cv::Mat ContactSheet::render() const {
    const ContactSheetLayout l = layout();
    cv::Mat sheet(l.height, l.width, CV_8UC3, kBackground);
    for (int i = 0; i < count(); ++i) {
        const cv::Point origin = l.thumbnailOrigin(i);
        thumbnails[i].copyTo(
            sheet(cv::Rect(origin.x, origin.y, l.thumbnailWidth, l.thumbnailHeight)));
        const std::string label = clockText(times[i]);
        int baseline = 0;
        const cv::Size size =
            cv::getTextSize(label, cv::FONT_HERSHEY_SIMPLEX, kFontScale, 1, &baseline);
        const cv::Point at(origin.x + (l.cellWidth - size.width) / 2,
                           origin.y + l.thumbnailHeight + (kLabelHeight + size.height) / 2);
        cv::putText(sheet, label, at, cv::FONT_HERSHEY_SIMPLEX, kFontScale, kText, 1, cv::LINE_AA);
    }
    return sheet;
}

std::vector<unsigned char> encodePng(const cv::Mat& rgb) {
    std::vector<unsigned char> bytes;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (codec == nullptr || rgb.type() != CV_8UC3)
        return bytes;
    ffmpeg::CodecContextPtr context(avcodec_alloc_context3(codec));
    ffmpeg::FramePtr frame(av_frame_alloc());
    ffmpeg::PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet)
        return bytes;
    context->width = rgb.cols;
    context->height = rgb.rows;
    context->pix_fmt = AV_PIX_FMT_RGB24;
    context->time_base = {1, 1};
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return bytes;
    frame->format = AV_PIX_FMT_RGB24;
    frame->width = rgb.cols;
    frame->height = rgb.rows;
    frame->data[0] = rgb.data;
    frame->linesize[0] = static_cast<int>(rgb.step);
    frame->pts = 0;
    if (avcodec_send_frame(context.get(), frame.get()) < 0 ||
        avcodec_send_frame(context.get(), nullptr) < 0 ||
        avcodec_receive_packet(context.get(), packet.get()) < 0)
        return bytes;
    bytes.assign(packet->data, packet->data + packet->size);
    return bytes;
}

bool ContactSheet::writePng(const std::string& path, std::string* error) const {
    const std::vector<unsigned char> png = encodePng(render());
    if (png.empty()) {
        *error = "cannot encode the contact sheet as PNG";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot write '" + path + "': " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    const int savedErrno = errno;
    if (std::fclose(file) != 0 || !written) {
        *error = "cannot write '" + path + "': " + std::strerror(written ? errno : savedErrno);
        return false;
    }
    return true;
}

std::string clockText(double seconds) {
    if (!(seconds > 0.0))
        seconds = 0.0;
    const long long tenths = std::llround(seconds * 10.0);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%lld", tenths / 36000, tenths / 600 % 60,
                  tenths / 10 % 60, tenths % 10);
    return text;
}

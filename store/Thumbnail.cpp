#include "Thumbnail.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>

namespace {
// MJPEG's quantiser scale: 160 x 90 pictures of about 4 KB that still show
// what a fragment holds.
constexpr int kQuality = 8;

int scaledHeight(int pictureWidth, int pictureHeight) {
    return std::max(2, static_cast<int>(static_cast<int64_t>(ThumbnailMaker::width) *
                                        pictureHeight / pictureWidth / 2 * 2));
}

ffmpeg::FramePtr newScaled(int height) {
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!frame)
        return frame;
    frame->format = AV_PIX_FMT_YUVJ420P;
    frame->width = ThumbnailMaker::width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        frame.reset();
    return frame;
}
} // namespace

bool ThumbnailMaker::prepareEncoder(int height) {
    if (encoder && height == encodedHeight)
        return true;
    encoder.reset();
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    ffmpeg::CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    packet.reset(av_packet_alloc());
    if (!context || !packet)
        return false;
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUVJ420P;
    context->time_base = AVRational{1, 25};
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * kQuality;
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return false;
    encoder = std::move(context);
    encodedHeight = height;
    return true;
}

bool ThumbnailMaker::prepare(int pictureWidth, int pictureHeight) {
    if (scaler && pictureWidth == sourceWidth && pictureHeight == sourceHeight)
        return true;
    scaler.reset();
    sourceWidth = pictureWidth;
    sourceHeight = pictureHeight;
    const int height = scaledHeight(pictureWidth, pictureHeight);
    scaled = newScaled(height);
    if (!scaled)
        return false;
    // JPEG's full range, asked of the scaler directly: the scaler warns of
    // the full-range pixel format the encoder takes.
    scaler.reset(sws_getContext(pictureWidth, pictureHeight, AV_PIX_FMT_YUV420P, width, height,
                                AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler)
        return false;
    const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(scaler.get(), coefficients, 0, coefficients, 1, 0, 1 << 16, 1 << 16);
    return true;
}

bool ThumbnailMaker::scaleInto(AVFrame* into, const AVFrame* picture,
                               int pictureHeight) {
    return av_frame_make_writable(into) >= 0 &&
           sws_scale(scaler.get(), picture->data, picture->linesize, 0, pictureHeight, into->data,
                     into->linesize) > 0;
}

ffmpeg::FramePtr ThumbnailMaker::scale(const AVFrame* picture, int pictureWidth,
                                       int pictureHeight) {
    if (picture == nullptr || pictureWidth <= 0 || pictureHeight <= 0 ||
        !prepare(pictureWidth, pictureHeight))
        return nullptr;
    ffmpeg::FramePtr own = newScaled(scaled->height);
    if (!own || !scaleInto(own.get(), picture, pictureHeight))
        return nullptr;
    return own;
}

std::string ThumbnailMaker::encode(const AVFrame* scaledPicture) {
    std::string jpeg;
    if (scaledPicture == nullptr || !prepareEncoder(scaledPicture->height) ||
        avcodec_send_frame(encoder.get(), scaledPicture) < 0)
        return jpeg;
    while (avcodec_receive_packet(encoder.get(), packet.get()) == 0) {
        jpeg.append(reinterpret_cast<const char*>(packet->data), static_cast<size_t>(packet->size));
        av_packet_unref(packet.get());
    }
    return jpeg;
}

std::string ThumbnailMaker::make(const AVFrame* picture, int pictureWidth, int pictureHeight) {
    if (picture == nullptr || pictureWidth <= 0 || pictureHeight <= 0 ||
        !prepare(pictureWidth, pictureHeight) ||
        !scaleInto(scaled.get(), picture, pictureHeight))
        return {};
    return encode(scaled.get());
}

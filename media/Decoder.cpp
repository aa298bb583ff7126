#include "Decoder.h"

Decoder::Opened Decoder::open(const AVStream* stream,
                              const std::function<Opened(AVCodecContext*)>& configure) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr)
        return Opened::NoDecoder;
    ffmpeg::CodecContextPtr made(avcodec_alloc_context3(codec));
    if (!made || avcodec_parameters_to_context(made.get(), stream->codecpar) < 0)
        return Opened::CannotOpen;
    if (const Opened refused = configure(made.get()); refused != Opened::Yes)
        return refused;
    if (avcodec_open2(made.get(), codec, nullptr) < 0)
        return Opened::CannotOpen;
    context = std::move(made);
    return Opened::Yes;
}

#include "Muxer.h"

#include "Encoder.h"

void Muxer::Closer::operator()(AVFormatContext* c) const {
    if (c->pb != nullptr && !(c->oformat->flags & AVFMT_NOFILE))
        avio_closep(&c->pb);
    avformat_free_context(c);
}

bool Muxer::create(const std::string& target, const char* formatName, std::string* error) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, formatName, target.c_str()) < 0 ||
        raw == nullptr) {
        *error = "cannot make an MP4 file";
        return false;
    }
    output.reset(raw);
    path = target;
    return true;
}

bool Muxer::wantsGlobalHeader() const {
    return (output->oformat->flags & AVFMT_GLOBALHEADER) != 0;
}

AVStream* Muxer::addStream(const AVCodecContext* encoder) {
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, encoder) < 0)
        return nullptr;
    stream->time_base = encoder->time_base;
    return stream;
}

bool Muxer::start(const char* options, std::string* error) {
    if (avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    AVDictionary* settings = nullptr;
    av_dict_parse_string(&settings, options, "=", ":", 0);
    const int header = avformat_write_header(output.get(), &settings);
    av_dict_free(&settings);
    if (header < 0) {
        *error = "cannot write the MP4 header: " + avErrorText(header);
        return false;
    }
    return true;
}

bool Muxer::write(AVPacket* packet, AVRational from, const AVStream* stream, std::string* error) {
    av_packet_rescale_ts(packet, from, stream->time_base);
    packet->stream_index = stream->index;
    const int written = av_interleaved_write_frame(output.get(), packet);
    if (written < 0) {
        *error = "writing failed: " + avErrorText(written);
        return false;
    }
    return true;
}

bool Muxer::finish(std::string* error) {
    const int trailer = av_write_trailer(output.get());
    if (trailer < 0) {
        *error = "cannot finish the MP4 file: " + avErrorText(trailer);
        return false;
    }
    if (avio_closep(&output->pb) < 0) {
        *error = "cannot close the MP4 file";
        return false;
    }
    return true;
}

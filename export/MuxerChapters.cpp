#include "MuxerChapters.h"

#include "AVPointers.h"

extern "C" {
#include <libavutil/mem.h>
}

namespace {

struct OutputCloser {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr)
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};

bool addChapter(AVFormatContext* output, const Chapter& chapter, int64_t id) {
    auto* made = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (made == nullptr)
        return false;
    made->id = id;
    made->time_base = AVRational{1, 1000};
    made->start = chapter.start;
    made->end = chapter.end;
    // The context frees its chapters, and their metadata, with itself.
    if (av_dynarray_add_nofree(&output->chapters, reinterpret_cast<int*>(&output->nb_chapters),
                               made) < 0) {
        av_free(made);
        return false;
    }
    return av_dict_set(&made->metadata, "title", chapter.title.c_str(), 0) >= 0;
}

} // namespace

bool copyWithChapters(const std::string& from, const std::string& to,
                      const std::vector<Chapter>& chapters, std::string* error,
                      const CopyProgress& progress) {
    *error = "cannot add the chapters to the summary video";
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, from.c_str(), nullptr, nullptr) < 0)
        return false;
    const ffmpeg::InputPtr input(opened);
    AVFormatContext* made = nullptr;
    if (avformat_find_stream_info(opened, nullptr) < 0 ||
        avformat_alloc_output_context2(&made, nullptr, "mp4", to.c_str()) < 0)
        return false;
    const std::unique_ptr<AVFormatContext, OutputCloser> output(made);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* source = input->streams[i];
        AVStream* copy = avformat_new_stream(made, nullptr);
        if (copy == nullptr || avcodec_parameters_copy(copy->codecpar, source->codecpar) < 0)
            return false;
        copy->codecpar->codec_tag = 0;
        copy->time_base = source->time_base;
        copy->avg_frame_rate = source->avg_frame_rate;
        copy->r_frame_rate = source->r_frame_rate;
        copy->sample_aspect_ratio = source->sample_aspect_ratio;
        // A subtitle track keeps its language and its mark.
        if (source->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            if (const AVDictionaryEntry* language =
                    av_dict_get(source->metadata, "language", nullptr, 0))
                av_dict_set(&copy->metadata, "language", language->value, 0);
            copy->disposition = source->disposition;
        }
    }
    for (size_t i = 0; i < chapters.size(); ++i)
        if (!addChapter(made, chapters[i], static_cast<int64_t>(i)))
            return false;
    if (avio_open(&made->pb, to.c_str(), AVIO_FLAG_WRITE) < 0)
        return false;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int header = avformat_write_header(made, &options);
    av_dict_free(&options);
    if (header < 0)
        return false;
    const ffmpeg::PacketPtr packet(av_packet_alloc());
    int64_t pictures = 0;
    while (packet && av_read_frame(opened, packet.get()) >= 0) {
        const int stream = packet->stream_index;
        const bool picture = input->streams[stream]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
        av_packet_rescale_ts(packet.get(), input->streams[stream]->time_base,
                             made->streams[stream]->time_base);
        if (av_interleaved_write_frame(made, packet.get()) < 0)
            return false;
        if (picture && progress)
            progress(++pictures);
    }
    if (!packet || av_write_trailer(made) < 0 || avio_closep(&made->pb) < 0)
        return false;
    error->clear();
    return true;
}

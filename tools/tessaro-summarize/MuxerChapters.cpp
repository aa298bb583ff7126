#include "MuxerChapters.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace {

AVChapter* newChapter(AVFormatContext* output, int64_t id) {
    auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (chapter == nullptr)
        return nullptr;
    chapter->id = id;
    chapter->time_base = AVRational{1, 1000};
    // The context frees its chapters (and their metadata) with itself.
    if (av_dynarray_add_nofree(&output->chapters, reinterpret_cast<int*>(&output->nb_chapters),
                               chapter) < 0) {
        av_free(chapter);
        return nullptr;
    }
    return chapter;
}

void dropChapters(AVFormatContext* output) {
    for (unsigned i = 0; i < output->nb_chapters; ++i) {
        av_dict_free(&output->chapters[i]->metadata);
        av_freep(&output->chapters[i]);
    }
    av_freep(&output->chapters);
    output->nb_chapters = 0;
}

} // namespace

bool reserveChapters(AVFormatContext* output) {
    return newChapter(output, 0) != nullptr;
}

bool setChapters(AVFormatContext* output, const std::vector<Chapter>& chapters) {
    dropChapters(output);
    for (size_t i = 0; i < chapters.size(); ++i) {
        AVChapter* chapter = newChapter(output, static_cast<int64_t>(i));
        if (chapter == nullptr ||
            av_dict_set(&chapter->metadata, "title", chapters[i].title.c_str(), 0) < 0)
            return false;
        chapter->start = chapters[i].start;
        chapter->end = chapters[i].end;
    }
    return true;
}

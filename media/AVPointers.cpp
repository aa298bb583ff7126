#include "AVPointers.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

void ffmpeg::SwsFreer::operator()(SwsContext* context) const {
    sws_freeContext(context);
}
void ffmpeg::SwrFreer::operator()(SwrContext* context) const {
    swr_free(&context);
}
void ffmpeg::AudioFifoFreer::operator()(AVAudioFifo* fifo) const {
    av_audio_fifo_free(fifo);
}

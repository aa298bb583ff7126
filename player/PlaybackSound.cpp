#include "PlaybackSound.h"

#include "SoundSink.h"

#include <cmath>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/audio_fifo.h>
}

namespace {
// Two placements of one picture this close (in seconds) are the same run.
constexpr double kSameLead = 1e-6;
} // namespace

PlaybackSound::PlaybackSound(std::string videoPath, SoundSink* output)
    : path(std::move(videoPath)), sink(output) {}

PlaybackSound::~PlaybackSound() = default;

std::string PlaybackSound::takeNotice() {
    std::string taken;
    taken.swap(notice);
    return taken;
}

void PlaybackSound::restart() {
    running = false;
    sourceEnd = -1;
}

bool PlaybackSound::ready() {
    if (sink == nullptr || !sink->available())
        return false;
    if (state != State::Closed)
        return state == State::Open;
    state = State::Refused;
    rate = sink->sampleRate();
    channels = sink->channels();
    std::string error;
    // A file without sound, or whose sound cannot be decoded, plays its
    // pictures alone; the reader has said why.
    if (rate <= 0 || channels <= 0 || !source.open(path, &error, true))
        return false;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    const bool converts = source.setOutput(layout, AV_SAMPLE_FMT_FLT, rate, &error);
    av_channel_layout_uninit(&layout);
    taken.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, channels, rate / 10));
    if (!converts || !taken) {
        AVChannelLayout in{};
        source.sourceLayout(&in);
        notice = "The file's audio (" + std::to_string(in.nb_channels) + " channels at " +
                 std::to_string(source.sourceRate()) +
                 " Hz) cannot be played: playing pictures only.";
        av_channel_layout_uninit(&in);
        return false;
    }
    state = State::Open;
    return true;
}

void PlaybackSound::picture(double videoTime, double playTime, double duration, bool cut) {
    if (!ready())
        return;
    const double shift = playTime - videoTime;
    const bool follows = running && !cut && std::abs(shift - lead) < kSameLead;
    const int64_t from = follows ? end : std::llround(videoTime * rate);
    const int64_t to = std::llround((videoTime + duration) * rate);
    const bool cutHere = !follows && running;
    if (!follows) {
        lead = shift;
        running = true;
        end = from;
    }
    if (to <= from)
        return;
    // Back before what the source has handed out (a restart, a jump back):
    // it seeks; forward it reads on.
    if (sourceEnd < 0 || from < sourceEnd)
        source.jumpTo(from);
    av_audio_fifo_reset(taken.get());
    if (!source.take(from, to - from, taken.get())) {
        sourceEnd = -1;
        return;
    }
    sourceEnd = end = to;
    const int count = av_audio_fifo_size(taken.get());
    std::vector<float> samples(static_cast<size_t>(count) * channels);
    void* planes[1] = {samples.data()};
    av_audio_fifo_read(taken.get(), planes, count);
    sink->write(std::move(samples), static_cast<double>(from) / rate + lead, cutHere);
}

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
    tempo.reset();
}

void PlaybackSound::setSpeed(double wanted) {
    speed = wanted;
    restart();
    if (state == State::Open)
        tempo.configure(rate, channels, speed);
}

bool PlaybackSound::chooseStream(int chosen) {
    if (chosen == wanted)
        return false;
    wanted = chosen;
    if (state != State::Closed) {
        state = State::Closed;
        source.reset();
        restart();
        ready();
    }
    return true;
}

int PlaybackSound::stream() const {
    switch (state) {
    case State::Open:
        return source->streamIndex();
    case State::Closed:
        return wanted;
    case State::Refused:
        break;
    }
    return -1;
}

bool PlaybackSound::ready() {
    if (sink == nullptr || !sink->available())
        return false;
    if (state != State::Closed)
        return state == State::Open;
    std::string why;
    if (openStream(wanted, &why)) {
        played = wanted;
        return true;
    }
    const int fallback = played;
    if (wanted == fallback) {
        // A file without sound, or whose sound cannot be decoded, plays its
        // pictures alone; the reader has said why.
        if (!why.empty())
            notice = why + ": playing pictures only.";
        return false;
    }
    // A stream chosen that cannot be played: the one before plays on.
    const int refused = wanted;
    wanted = fallback;
    std::string again;
    const bool back = openStream(wanted, &again);
    notice = "The sound track of stream " + std::to_string(refused) + " cannot be played" +
             (why.empty() ? std::string() : " (" + why + ")") +
             (!back             ? ": playing pictures only."
              : fallback < 0 ? ": the first sound track plays instead."
                             : ": the track played before plays on.");
    return back;
}

bool PlaybackSound::openStream(int chosen, std::string* why) {
    state = State::Refused;
    rate = sink->sampleRate();
    channels = sink->channels();
    source.emplace();
    if (rate <= 0 || channels <= 0 || !source->open(path, why, true, chosen)) {
        // Said by the file's reader for the first stream.
        if (chosen < 0)
            why->clear();
        return false;
    }
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    const bool converts = source->setOutput(layout, AV_SAMPLE_FMT_FLT, rate, why);
    av_channel_layout_uninit(&layout);
    taken.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, channels, rate / 10));
    if (!converts || !taken) {
        AVChannelLayout in{};
        source->sourceLayout(&in);
        *why = "The file's audio (" + std::to_string(in.nb_channels) + " channels at " +
               std::to_string(source->sourceRate()) + " Hz) cannot be played";
        av_channel_layout_uninit(&in);
        return false;
    }
    state = State::Open;
    tempo.configure(rate, channels, speed);
    return true;
}

void PlaybackSound::picture(double videoTime, double playTime, double duration, bool cut) {
    if (!ready())
        return;
    const double shift = playTime - videoTime / speed;
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
        source->jumpTo(from);
    av_audio_fifo_reset(taken.get());
    if (!source->take(from, to - from, taken.get())) {
        sourceEnd = -1;
        return;
    }
    sourceEnd = end = to;
    const int count = av_audio_fifo_size(taken.get());
    std::vector<float> samples(static_cast<size_t>(count) * channels);
    void* planes[1] = {samples.data()};
    av_audio_fifo_read(taken.get(), planes, count);
    tempo.write(*sink, std::move(samples), static_cast<double>(from) / rate / speed + lead,
                cutHere);
}

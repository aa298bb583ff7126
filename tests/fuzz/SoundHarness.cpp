#include "SoundHarness.h"

#include "AudioSpanSource.h"
#include "BytesAsFile.h"
#include "Compressed.h"
#include "SoundAnalysis.h"
#include "SoundChunk.h"

extern "C" {
#include <libavutil/audio_fifo.h>
}

#include <string>

namespace {

struct Output {
    int channels; // in their default layout
    AVSampleFormat format;
    int rate;
};

// The player's output, the summary writer's AAC, and a narrow one that
// makes the converter reduce channels and rate.
const Output kOutputs[] = {
    {2, AV_SAMPLE_FMT_FLT, 48000},
    {6, AV_SAMPLE_FMT_FLTP, 44100},
    {1, AV_SAMPLE_FMT_S16, 11025},
};

// Spans of `step` samples from `from` on, as a player takes a picture's
// sound at a time.
bool takeSpans(AudioSpanSource& source, AVAudioFifo* fifo, int64_t from, int spans, int64_t step,
               SoundRun* run) {
    source.jumpTo(from);
    for (int i = 0; i < spans; ++i) {
        if (!source.take(from + i * step, step, fifo))
            return false;
        ++run->spans;
        run->samples += step;
        av_audio_fifo_drain(fifo, av_audio_fifo_size(fifo));
    }
    return true;
}

SoundRun run(const std::string& path, const Output& output) {
    SoundRun run;
    AudioSpanSource source;
    std::string error;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, output.channels);
    if (!source.open(path, &error, true) ||
        !source.setOutput(layout, output.format, output.rate, &error))
        return run;
    run.opened = true;
    const ffmpeg::AudioFifoPtr fifo(
        av_audio_fifo_alloc(output.format, output.channels, output.rate));
    if (!fifo)
        return run;
    const int64_t rate = output.rate;
    // Two seconds from the start in picture-long spans, then back to half a
    // second in spans longer than most packets, then a jump far ahead.
    takeSpans(source, fifo.get(), 0, 50, rate / 25, &run) &&
        takeSpans(source, fifo.get(), rate / 2, 5, rate / 5, &run) &&
        takeSpans(source, fifo.get(), 30 * rate, 5, rate / 10, &run);
    return run;
}

} // namespace

SoundRun runSoundHarness(const uint8_t* data, size_t size) {
    SoundRun result;
    withBytesAsFile(data, size, [&](const std::string& path) {
        result = run(path, kOutputs[size % (sizeof kOutputs / sizeof kOutputs[0])]);
    });
    return result;
}

SoundAnalysisRun runSoundAnalysisHarness(const uint8_t* data, size_t size) {
    SoundAnalysisRun result;
    if (size > 0 && (data[0] == kStoredSound || data[0] == kSoundContents)) {
        const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
        std::vector<SoundUnit> units;
        if (decodeSound(data[0] == kStoredSound ? rest : compressChecked(rest, 3), &units))
            result.storedUnits = static_cast<int64_t>(units.size());
        return result;
    }
    withBytesAsFile(data, size, [&](const std::string& path) {
        SoundAnalysis sound;
        std::string error;
        if (!sound.open(path, &error))
            return;
        result.opened = true;
        sound.advanceTo(4.0);
        result.units = static_cast<int64_t>(sound.take().size());
        sound.restartAt(1.0);
        sound.advanceTo(3.0);
        result.units += static_cast<int64_t>(sound.take().size());
    });
    return result;
}

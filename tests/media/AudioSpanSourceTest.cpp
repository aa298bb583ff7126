#include "AudioSpanSource.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

extern "C" {
#include <libavutil/audio_fifo.h>
}

namespace {

constexpr double kLoud = 0.06; // half a beep; the noise stays under 0.01
constexpr double kBeepSeconds = 0.05;

// Spans taken one after another, `step` seconds each (a picture's, or
// longer than a sound packet), as one run of sound.
struct SoundRun {
    double from, to, step;
};

struct Beep {
    double at, seconds, hertz;
};

// The run's sound as mono samples from the source, which jumps to it.
std::vector<float> takeRun(AudioSpanSource& source, const SoundRun& run, int rate, int channels) {
    ffmpeg::AudioFifoPtr fifo(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, channels, rate));
    source.jumpTo(std::llround(run.from * rate));
    for (double t = run.from; t < run.to - 1e-9; t += run.step) {
        const int64_t from = std::llround(t * rate);
        const int64_t to = std::llround(std::min(t + run.step, run.to) * rate);
        EXPECT_TRUE(source.take(from, to - from, fifo.get()));
    }
    std::vector<float> interleaved(av_audio_fifo_size(fifo.get()) * channels);
    void* planes[1] = {interleaved.data()};
    av_audio_fifo_read(fifo.get(), planes, av_audio_fifo_size(fifo.get()));
    std::vector<float> mono(interleaved.size() / channels);
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = interleaved[i * channels];
    return mono;
}

// Every beep: where it starts (seconds of the file), how long it stays
// loud, its pitch from its zero crossings.
std::vector<Beep> beepsIn(const std::vector<float>& sound, double from, int rate) {
    std::vector<Beep> beeps;
    const auto gap = static_cast<size_t>(0.01 * rate);
    size_t lastLoud = 0;
    bool any = false;
    for (size_t i = 0; i < sound.size(); ++i) {
        if (std::abs(sound[i]) < kLoud)
            continue;
        if (!any || i - lastLoud > gap)
            beeps.push_back({from + static_cast<double>(i) / rate, 0, 0});
        beeps.back().seconds = from + static_cast<double>(i + 1) / rate - beeps.back().at;
        lastLoud = i;
        any = true;
    }
    for (Beep& beep : beeps) {
        const auto start = static_cast<size_t>(std::llround((beep.at - from) * rate));
        const auto end = std::min(sound.size(), start + static_cast<size_t>(0.04 * rate));
        int crossings = 0;
        for (size_t i = start + 1; i < end; ++i)
            crossings += (sound[i - 1] < 0) != (sound[i] < 0);
        beep.hertz = crossings / 2.0 / 0.04;
    }
    return beeps;
}

// The longest stretch of digital silence in [from, to) of the run, in seconds.
double longestSilence(const std::vector<float>& sound, double runFrom, double from, double to,
                      int rate) {
    size_t longest = 0, current = 0;
    if (to <= from)
        return 0.0;
    const auto first = static_cast<size_t>((from - runFrom) * rate);
    const auto last = std::min(sound.size(), static_cast<size_t>((to - runFrom) * rate));
    for (size_t i = first; i < last; ++i) {
        current = sound[i] == 0.0f ? current + 1 : 0;
        longest = std::max(longest, current);
    }
    return static_cast<double>(longest) / rate;
}

// Whatever the length of the file's sound packets against the spans taken,
// however the sound jumps, whatever its rate: the sound of a span is the
// file's sound at that time, whole, at its pitch, and silence only where
// the file has none.
TEST(AudioSpanSource, TheSoundOfASpanIsTheFilesSoundAtThatTime) {
    struct Case {
        const char* file;
        int rate, channels;
        std::vector<SoundRun> runs;
        std::vector<double> beeps; // where the file's timestamps put them
        double soundFrom, soundTo; // where the file has sound
        // Its own longest digital silence within: the second part's encoder
        // starts with 9 ms of it.
        double ownSilence = 0.001;
    };
    const std::vector<double> everySecond = {0, 1, 2, 3};
    const Case cases[] = {
        // Straight on by pictures, back, far forward, and back to the start
        // (the encoder's priming packet stands before it).
        {kBeepsAac,
         48000,
         2,
         {{0.5, 1.7, 0.04}, {0.9, 1.1, 0.04}, {2.9, 3.2, 0.3}, {0, 0.2, 0.04}},
         everySecond,
         0,
         4},
        // Packets longer than a picture, resampled; a jump back into a packet.
        {kBeepsAac8k,
         44100,
         2,
         {{0.5, 1.7, 0.04}, {0.97, 2.1, 0.04}, {0, 0.2, 0.04}},
         everySecond,
         0,
         4},
        {kBeepsLateEarly,
         48000,
         1,
         {{0, 4, 0.04}, {2.5, 3.5, 0.5}, {0.5, 1.5, 0.04}},
         {1, 2},
         1,
         3},
        // The second part's sound starts where its own pictures do, at 2 s,
        // while the first part's (delayed by its pictures' 0.08 s) still runs.
        {kBeepsRateChange,
         48000,
         2,
         {{0.2, 3.9, 0.04}, {1.9, 2.3, 0.04}},
         {0.08, 1.08, 2, 3},
         0.1,
         3.9,
         0.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        AudioSpanSource source;
        std::string error;
        ASSERT_TRUE(source.open(testMedia(c.file), &error, true)) << error;
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, c.channels);
        ASSERT_TRUE(source.setOutput(layout, AV_SAMPLE_FMT_FLT, c.rate, &error)) << error;
        for (const SoundRun& run : c.runs) {
            SCOPED_TRACE(run.from);
            const std::vector<float> sound = takeRun(source, run, c.rate, c.channels);
            ASSERT_EQ(sound.size(), static_cast<size_t>(std::llround(run.to * c.rate) -
                                                        std::llround(run.from * c.rate)));
            std::vector<double> expected;
            for (double at : c.beeps)
                if (at >= run.from && at + kBeepSeconds <= run.to)
                    expected.push_back(at);
            const std::vector<Beep> beeps = beepsIn(sound, run.from, c.rate);
            ASSERT_EQ(beeps.size(), expected.size());
            for (size_t i = 0; i < beeps.size(); ++i) {
                EXPECT_NEAR(beeps[i].at, expected[i], 0.002);
                EXPECT_NEAR(beeps[i].seconds, kBeepSeconds, 0.004);
                EXPECT_NEAR(beeps[i].hertz, 1000, 10);
            }
            // Silence where the file has no sound (an encoder's priming
            // and padding may stand at its ends), and never inside it.
            const auto silence = [&](double from, double to) {
                return longestSilence(sound, run.from, std::max(from, run.from),
                                      std::min(to, run.to), c.rate);
            };
            EXPECT_LT(silence(c.soundFrom, c.soundTo), c.ownSilence);
            EXPECT_NEAR(silence(0, c.soundFrom),
                        std::max(0.0, std::min(run.to, c.soundFrom) - run.from), 0.03);
            EXPECT_NEAR(silence(c.soundTo, 5),
                        std::max(0.0, run.to - std::max(run.from, c.soundTo)), 0.03);
        }
    }
}

} // namespace

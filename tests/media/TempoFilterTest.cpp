#include "TempoFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

// Frequency from the rising zero crossings of the first channel, over the
// middle of the sound (the filter's start and end are ramps).
double pitchOf(const std::vector<float>& sound, int channels, int rate) {
    const size_t frames = sound.size() / channels;
    int crossings = 0;
    double first = -1.0;
    double last = 0.0;
    for (size_t i = frames / 4 + 1; i < frames * 3 / 4; ++i) {
        const double a = sound[(i - 1) * channels];
        const double b = sound[i * channels];
        if (a < 0 && b >= 0) {
            const double at = static_cast<double>(i - 1) + -a / (b - a);
            if (first < 0)
                first = at;
            else
                ++crossings;
            last = at;
        }
    }
    return crossings * rate / (last - first);
}

TEST(TempoFilter, ChangesLengthAndKeepsPitch) {
    struct Case {
        double tempo;
        int rate;
        int channels;
    };
    const Case cases[] = {{1.5, 48000, 2}, {0.5, 44100, 1}, {2.0, 48000, 6}, {0.75, 8000, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tempo);
        std::vector<float> tone(static_cast<size_t>(c.rate) * c.channels);
        for (int i = 0; i < c.rate; ++i)
            for (int ch = 0; ch < c.channels; ++ch)
                tone[static_cast<size_t>(i) * c.channels + ch] =
                    static_cast<float>(0.25 * std::sin(2 * std::numbers::pi * 1000.0 * i / c.rate));
        TempoFilter filter;
        ASSERT_TRUE(filter.configure(c.rate, c.channels, c.tempo));
        std::vector<float> out;
        // In pieces, as the player writes it, then what the filter holds back.
        const int piece = c.rate / 25;
        for (int at = 0; at < c.rate; at += piece)
            filter.process(tone.data() + static_cast<size_t>(at) * c.channels, piece, out);
        filter.drain(out);
        ASSERT_EQ(out.size() % c.channels, 0u);
        const double seconds = static_cast<double>(out.size() / c.channels) / c.rate;
        // Within the filter's window (about 30 ms), which it does not play out whole.
        EXPECT_NEAR(seconds, 1.0 / c.tempo, 0.03);
        EXPECT_NEAR(pitchOf(out, c.channels, c.rate), 1000.0, 5.0);
    }
}

TEST(TempoFilter, ResetForgetsWhatItHeld) {
    TempoFilter filter;
    ASSERT_TRUE(filter.configure(48000, 1, 1.5));
    std::vector<float> tone(4800, 0.03f);
    std::vector<float> out;
    filter.process(tone.data(), 4800, out);
    filter.reset();
    out.clear();
    filter.drain(out);
    EXPECT_TRUE(out.empty());
}

} // namespace

// Keep Speech Whole on sound tracks whose every pause is known: where the
// summary cuts, what it keeps of each utterance and of the pauses, and its
// length.

#include "FragmentList.h"
#include "FrameBuffer.h"
#include "Summarizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kRate = 25;

// A talk frame by frame: who speaks (1), nobody (0), or not known (-1).
struct Talk {
    std::vector<int> voice;
    // Speech (runs apart by less than 0.4 s) as [first, end) frames.
    std::vector<std::pair<int, int>> utterances;

    void speak(double seconds, double innerGap = 0.0, double every = 1.0) {
        const int from = static_cast<int>(voice.size());
        const int n = static_cast<int>(std::lround(seconds * kRate));
        const int gap = static_cast<int>(std::lround(innerGap * kRate));
        const int period = static_cast<int>(std::lround(every * kRate));
        for (int k = 0; k < n; ++k)
            voice.push_back(gap > 0 && k % period >= period - gap && k + gap < n ? 0 : 1);
        utterances.push_back({from, from + n});
    }
    void pause(double seconds) { voice.insert(voice.end(), std::lround(seconds * kRate), 0); }
};

std::vector<std::unique_ptr<FrameBuffer>> fragmentsOf(const Talk& talk) {
    std::vector<std::unique_ptr<FrameBuffer>> fragments;
    for (size_t i = 0; i < talk.voice.size(); ++i) {
        if (i % 25 == 0)
            fragments.push_back(std::make_unique<FrameBuffer>(25));
        Frame frame;
        frame.frameNumber = static_cast<double>(i);
        frame.frameTime = static_cast<double>(i) / kRate;
        // A picture that drifts slowly, a new one every 10 s.
        Descriptors& d = frame.descriptors;
        d.width = d.height = 32;
        d.histogram[0][(i / 250) % 16] = 1024.0 - double(i % 250);
        d.histogram[0][(i / 250 + 5) % 16] = double(i % 250);
        for (int b = 0; b < 64; ++b)
            d.blockMeans[0][b] = double((b * 7 + i / 250 * 31) % 200) + double(i % 250) / 50.0;
        d.derive();
        frame.sound.voice = static_cast<int8_t>(talk.voice[i]);
        frame.sound.loudness = talk.voice[i] > 0 ? 180 : 20;
        fragments.back()->frames.push_back(frame);
        fragments.back()->length = fragments.back()->count();
    }
    return fragments;
}

struct Span {
    int first;
    int end;
};

// The engine's kept spans, turn by turn as the player and the tool take them.
std::vector<Span> keptSpans(const Talk& talk, SummarySettings settings) {
    Summarizer summarizer(settings);
    std::vector<Span> kept;
    takeTurns(summarizer, fragmentsOf(talk), [&](const Decision& d) {
        if (!d.kept)
            return;
        const int first = static_cast<int>(d.frameNumber);
        if (!kept.empty() && kept.back().end == first)
            kept.back().end += d.frames;
        else
            kept.push_back({first, first + d.frames});
    });
    return kept;
}

// A pause of at least 200 ms lies around frame k (the last frame before a cut
// or the first after it).
bool inPause(const Talk& talk, int k) {
    const int n = static_cast<int>(talk.voice.size());
    if (k < 0 || k >= n || talk.voice[k] > 0)
        return false;
    int from = k, to = k;
    while (from > 0 && talk.voice[from - 1] <= 0)
        --from;
    while (to + 1 < n && talk.voice[to + 1] <= 0)
        ++to;
    return to - from + 1 >= kRate / 5;
}

TEST(WholeSpeech, CutsOnlyInPausesKeepsUtterancesWholeLeavesOutLongPausesAndMeetsTheTarget) {
    // Sentences of 2-6 s (words apart by 0.1-0.2 s) with pauses of 0.5-1.4 s
    // between them and two long silences; one utterance of 20 s whose
    // longest inner pause (0.3 s) is 9 s in.
    Talk talk;
    talk.pause(1.0);
    const double sentences[] = {3.2, 2.1, 5.6, 4.0, 2.7, 3.5, 6.0, 2.4, 4.4, 3.0, 2.2, 5.1};
    const double pauses[] = {0.6, 1.4, 0.5, 4.0, 0.9, 0.7, 1.2, 0.5, 6.0, 0.8, 1.1, 1.0};
    for (size_t i = 0; i < std::size(sentences); ++i) {
        talk.speak(sentences[i], i % 2 ? 0.12 : 0.2, 0.7);
        talk.pause(pauses[i]);
        if (i == 5) {
            talk.speak(9.0, 0.12, 0.6);
            talk.pause(0.3);
            talk.speak(11.0, 0.16, 0.8);
            talk.utterances.pop_back();
            talk.utterances.back().second = static_cast<int>(talk.voice.size());
            talk.pause(0.8);
        }
    }
    const int total = static_cast<int>(talk.voice.size());
    for (const bool shotAware : {false, true})
        for (const double target : {0.1, 0.2, 0.3, 0.5}) {
            SCOPED_TRACE(testing::Message() << "target " << target << " shot-aware " << shotAware);
            SummarySettings settings;
            settings.target = target;
            settings.wholeSpeech = true;
            settings.shotAware = shotAware;
            const std::vector<Span> kept = keptSpans(talk, settings);
            int length = 0;
            for (const Span& s : kept) {
                length += s.end - s.first;
                EXPECT_TRUE(s.first == 0 || (inPause(talk, s.first - 1) && inPause(talk, s.first)))
                    << "starts at " << s.first;
                EXPECT_TRUE(s.end == total || (inPause(talk, s.end - 1) && inPause(talk, s.end)))
                    << "ends at " << s.end;
            }
            EXPECT_NEAR(length, target * total, 0.1 * target * total);
            // An utterance is kept whole or not at all; the long one may be
            // cut at its longest pause only, and then that is where it is.
            for (const auto& [from, to] : talk.utterances) {
                int inside = 0;
                for (const Span& s : kept)
                    inside += std::max(0, std::min(s.end, to) - std::max(s.first, from));
                if (to - from > 12 * kRate)
                    EXPECT_TRUE(inside == 0 || inside == to - from ||
                                std::abs(inside - 9 * kRate) <= 8 ||
                                std::abs(inside - 11 * kRate) <= 8)
                        << inside << " of " << from;
                else
                    EXPECT_TRUE(inside == 0 || inside == to - from) << inside << " of " << from;
            }
            // Speech enough for the target: of the pauses, the frames next
            // to speech only, none of the long silences.
            std::vector<bool> spoken(talk.voice.size(), false);
            for (const auto& [from, to] : talk.utterances)
                std::fill(spoken.begin() + from, spoken.begin() + to, true);
            for (const Span& s : kept)
                for (int k = s.first; k < s.end; ++k) {
                    if (spoken[k])
                        continue;
                    int silent = 0;
                    for (int j = k; j >= 0 && !spoken[j]; --j)
                        ++silent;
                    for (int j = k + 1; j < total && !spoken[j]; ++j)
                        ++silent;
                    const bool nearSpeech = (k > 2 && spoken[k - 3]) || (k + 3 < total && spoken[k + 3]);
                    if (target <= 0.3 && !nearSpeech) {
                        EXPECT_LT(silent, 2 * kRate) << "frame " << k << " of a long silence";
                    }
                }
        }
}

TEST(WholeSpeech, AVideoWhoseSoundIsNotKnownIsSummarisedAsWithoutTheOption) {
    Talk talk;
    talk.speak(8.0, 0.2, 0.7);
    talk.pause(2.0);
    talk.speak(30.0, 0.4, 3.0);
    std::fill(talk.voice.begin(), talk.voice.end(), -1);
    for (const bool shotAware : {false, true}) {
        SummarySettings off;
        off.target = 0.2;
        off.shotAware = shotAware;
        SummarySettings on = off;
        on.wholeSpeech = true;
        const std::vector<Span> without = keptSpans(talk, off);
        const std::vector<Span> with = keptSpans(talk, on);
        ASSERT_EQ(with.size(), without.size());
        for (size_t i = 0; i < with.size(); ++i) {
            EXPECT_EQ(with[i].first, without[i].first);
            EXPECT_EQ(with[i].end, without[i].end);
        }
    }
}

} // namespace

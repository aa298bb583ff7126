// The speech figures of the quality bench's talks, on a small talk whose
// every kept span is laid by hand.

#include "SpeechTally.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// 20 s at 25 frames a second: sentences [1, 4), [5, 9) and [12, 15); shots
// of pictures 0, 1, 2 and 0 again, the last without speech.
TalkTruth smallTalk() {
    TalkTruth truth;
    truth.duration = 20.0;
    truth.frameRate = 25;
    truth.sentences = {{1.0, 4.0, 0}, {5.0, 9.0, 1}, {12.0, 15.0, 0}};
    truth.shots = {{0.0, 4.5, 0}, {4.5, 11.0, 1}, {11.0, 16.0, 2}, {16.0, 20.0, 0}};
    return truth;
}

struct Case {
    const char* what;
    std::vector<KeptFrames> kept;
    double whole;
    double inside;
    double pauses;
    double shots;
};

} // namespace

TEST(SpeechTally, KeptSpansAgainstTheSentencesAndShots) {
    const Case cases[] = {
        {"one sentence exactly", {{25, 75}}, 1.0, 0.0, 0.0, 1.0 / 3},
        // Two thirds of one, a quarter of the next, the pause between.
        {"across a pause", {{50, 100}}, 0.0, 1.0, 0.25, 0.0},
        {"everything, no cut", {{0, 500}}, 1.0, 0.0, 0.5, 1.0},
        // Two seconds of the picture seen again without speech: it shows
        // no picture that a sentence could.
        {"a shot without speech", {{400, 50}}, 0.0, 0.0, 1.0, 0.0},
        {"two glimpses under a second", {{400, 15}, {425, 15}}, 0.0, 0.0, 1.0, 0.0},
        // Touching spans are one run: two cuts, both at the sentence's ends.
        {"touching spans", {{25, 40}, {65, 35}}, 1.0, 0.0, 0.0, 1.0 / 3},
        // 0.12 s in is within the slack, and 97 % of it is whole.
        {"a cut just inside", {{28, 72}}, 1.0, 0.0, 0.0, 1.0 / 3},
        // 80 % of the second sentence: not whole, both cuts inside it.
        {"most of a sentence", {{140, 80}}, 0.0, 1.0, 0.0, 0.0},
        {"two sentences, one whole", {{125, 100}, {325, 50}}, 4.0 / 6, 0.25, 0.0, 1.0 / 3},
    };
    for (const Case& c : cases) {
        const SpeechTally t = measureSpeech(smallTalk(), c.kept, 0.1);
        EXPECT_NEAR(t.whole(), c.whole, 1e-9) << c.what;
        EXPECT_NEAR(t.inside(), c.inside, 1e-9) << c.what;
        EXPECT_NEAR(t.pauses(), c.pauses, 1e-9) << c.what;
        EXPECT_NEAR(t.shots(), c.shots, 1e-9) << c.what;
    }
}

TEST(SpeechTally, LengthAndWhatTheTargetAllowsPoolOverSummaries) {
    // 2 s of 20 at target 0.1, three pictures, a median sentence of 3 s.
    SpeechTally pooled = measureSpeech(smallTalk(), {{25, 75}}, 0.1);
    EXPECT_NEAR(pooled.allowedShots(), 2.0 / 9, 1e-9);
    EXPECT_NEAR(pooled.minRatio, 1.5, 1e-9);
    pooled.add(measureSpeech(smallTalk(), {{0, 500}}, 0.5));
    EXPECT_NEAR(pooled.allowedShots(), (2.0 / 9 + 1.0) / 2, 1e-9);
    EXPECT_NEAR(pooled.shots(), (1.0 / 3 + 1.0) / 2, 1e-9);
    EXPECT_NEAR(pooled.minRatio, 1.5, 1e-9);
    EXPECT_NEAR(pooled.maxRatio, 2.0, 1e-9);
    // Whole speech pools by seconds: 3 of 3, then 10 of 10.
    EXPECT_NEAR(pooled.whole(), 1.0, 1e-9);
}

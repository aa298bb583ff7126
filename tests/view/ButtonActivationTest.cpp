#include "ButtonActivation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

// The three mode buttons of the window, bound to their own flags.
class ModeButtons : public ::testing::Test {
protected:
    ModeButtons() {
        for (ButtonActivation* button : {&play, &summary, &pause}) {
            QObject::connect(button, &QPushButton::clicked, button, &ButtonActivation::activa);
        }
        playMode = true;
    }

    void expectModes(bool playOn, bool summaryOn, bool pauseOn) const {
        EXPECT_EQ(playMode, playOn);
        EXPECT_EQ(summaryMode, summaryOn);
        EXPECT_EQ(pauseMode, pauseOn);
    }

    std::atomic<bool> playMode{false};
    std::atomic<bool> summaryMode{false};
    std::atomic<bool> pauseMode{false};
    ButtonActivation play{&playMode, &summaryMode, &pauseMode, nullptr};
    ButtonActivation summary{&summaryMode, &playMode, &pauseMode, nullptr};
    ButtonActivation pause{&pauseMode, &playMode, &summaryMode, nullptr};
};

TEST_F(ModeButtons, EachClickLeavesExactlyItsOwnModeOn) {
    summary.click();
    expectModes(false, true, false);
    pause.click();
    expectModes(false, false, true);
    play.click();
    expectModes(true, false, false);
}

TEST_F(ModeButtons, PlaySummaryPausePlayEndsInPlay) {
    for (ButtonActivation* button : {&play, &summary, &pause, &play}) {
        button->click();
    }
    expectModes(true, false, false);
}

TEST_F(ModeButtons, ClickingTheModeAlreadyOnChangesNothing) {
    play.click();
    play.click();
    expectModes(true, false, false);
}

TEST_F(ModeButtons, ClickRestoresASingleModeFromAnyMixture) {
    summaryMode = true;
    pauseMode = true;
    summary.click();
    expectModes(false, true, false);
}

TEST(ButtonActivation, AllNullPointersDoNothing) {
    ButtonActivation button(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(button.flagToSet, nullptr);
    button.activa();
}

TEST(ButtonActivation, NullPointersAreSkippedAmongRealOnes) {
    std::atomic<bool> set{false};
    std::atomic<bool> clear{true};
    ButtonActivation button(&set, nullptr, &clear, nullptr);
    button.activa();
    EXPECT_TRUE(set);
    EXPECT_FALSE(clear);

    ButtonActivation onlyClears(nullptr, nullptr, nullptr, &set);
    onlyClears.activa();
    EXPECT_FALSE(set);
}

TEST(ButtonActivation, AFlagBothSetAndClearedEndsCleared) {
    std::atomic<bool> flag{false};
    ButtonActivation button(&flag, nullptr, &flag, nullptr);
    button.activa();
    EXPECT_FALSE(flag);
}

} // namespace

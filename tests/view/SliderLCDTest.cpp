#include "SliderLCD.h"
#include "QtTestApplication.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Arguments {
    int initialValue;
    int minimum;
    int maximum;
    bool fixedSlider;
    bool showDecimals;
    double scale;
    // What the control shows.
    int sliderMinimum;
    int sliderMaximum;
    int tickInterval;
    double value;
    const char* text;
};

class SliderLCDArguments : public ::testing::TestWithParam<Arguments> {};

TEST_P(SliderLCDArguments, SetRangeTicksPositionAndValueText) {
    const Arguments& a = GetParam();
    SliderLCD control("Name", a.initialValue, a.minimum, a.maximum, a.fixedSlider, a.showDecimals,
                      a.scale);
    EXPECT_EQ(control.slider->minimum(), a.sliderMinimum);
    EXPECT_EQ(control.slider->maximum(), a.sliderMaximum);
    EXPECT_EQ(control.slider->tickInterval(), a.tickInterval);
    EXPECT_EQ(control.slider->value(), a.initialValue);
    EXPECT_EQ(control.slider->tickPosition(), QSlider::TicksBelow);
    EXPECT_EQ(control.slider->orientation(), Qt::Horizontal);
    EXPECT_DOUBLE_EQ(control.value, a.value);
    EXPECT_FALSE(control.changed);
    EXPECT_FALSE(control.dragging);
    EXPECT_EQ(control.valueLabel->text().toStdString(), a.text);
    if (a.fixedSlider) {
        EXPECT_EQ(control.slider->minimumSize(), QSize(215, 25));
        EXPECT_EQ(control.slider->maximumSize(), QSize(215, 25));
    } else {
        EXPECT_EQ(control.slider->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    }
}

INSTANTIATE_TEST_SUITE_P(
    ArgumentSets, SliderLCDArguments,
    ::testing::Values(
        // A weight: 100 steps per unit, two decimals, six characters right-aligned.
        Arguments{20, 0, 1, true, true, 100.0, 0, 100, 10, 0.2, "  0.20"},
        // The tick interval counts from 0, not from the minimum.
        Arguments{60, 20, 90, true, false, 1.0, 20, 90, 9, 60.0, "    60"},
        Arguments{500, 100, 5000, true, false, 1.0, 100, 5000, 500, 500.0, "   500"},
        // Minimum and initial position are steps, never scaled.
        Arguments{5, 1, 1, true, true, 100.0, 1, 100, 10, 0.05, "  0.05"},
        // Below ten units the interval truncates to 0 (the slider's own spacing).
        Arguments{3, 0, 7, false, false, 1.0, 0, 7, 0, 3.0, "     3"},
        // The position control: 0 to the duration in whole seconds.
        Arguments{0, 0, 100, false, false, 1.0, 0, 100, 10, 0.0, "     0"}));

TEST(SliderLCD, RowReadsNameThenValueTextThenSlider) {
    SliderLCD control("Target Length (%%)", 5, 0, 1, true, true, 100.0);
    EXPECT_EQ(control.direction(), QBoxLayout::LeftToRight);
    ASSERT_EQ(control.count(), 2);
    EXPECT_EQ(control.itemAt(0)->layout(), control.labelRow);
    EXPECT_EQ(control.stretch(0), 1);
    EXPECT_EQ(control.itemAt(1)->layout(), control.sliderRow);
    EXPECT_EQ(control.stretch(1), 0);
    ASSERT_EQ(control.labelRow->count(), 2);
    EXPECT_EQ(control.labelRow->itemAt(0)->widget(), control.nameLabel);
    EXPECT_EQ(control.labelRow->itemAt(0)->alignment(), Qt::AlignLeft);
    EXPECT_EQ(control.labelRow->stretch(0), 1);
    EXPECT_EQ(control.labelRow->itemAt(1)->widget(), control.valueLabel);
    EXPECT_EQ(control.labelRow->itemAt(1)->alignment(), Qt::AlignRight);
    EXPECT_EQ(control.sliderRow->itemAt(0)->widget(), control.slider);
}

TEST(SliderLCD, LabelTextIsShownLiterally) {
    SliderLCD control("Target Length (%%)", 5, 0, 1, true, true, 100.0);
    EXPECT_EQ(control.labelText, QStringLiteral("Target Length (%%)"));
    EXPECT_EQ(control.nameLabel->text(), QStringLiteral("Target Length (%%)"));
    EXPECT_EQ(control.nameLabel->textFormat(), Qt::PlainText);
}

// Press, drag and release the handle the way QSlider's own mouse handling does.
void drag(QSlider* slider, int to) {
    slider->setSliderDown(true);
    slider->setSliderPosition(to);
}

TEST(SliderLCD, DraggingUpdatesOnlyTheTextUntilRelease) {
    SliderLCD control("Length Weight", 20, 0, 1, true, true, 100.0);
    drag(control.slider, 70);
    EXPECT_TRUE(control.dragging);
    EXPECT_FALSE(control.changed);
    EXPECT_DOUBLE_EQ(control.value, 0.2);
    EXPECT_EQ(control.valueLabel->text(), QStringLiteral("  0.70"));

    control.slider->setSliderDown(false);
    EXPECT_FALSE(control.dragging);
    EXPECT_TRUE(control.changed);
    EXPECT_DOUBLE_EQ(control.value, 0.7);
    EXPECT_EQ(control.valueLabel->text(), QStringLiteral("  0.70"));
}

TEST(SliderLCD, KeyboardAndProgramMovesChangeOnlyTheText) {
    SliderLCD control("Tree Nodes", 500, 100, 5000, true, false, 1.0);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(control.slider, &right);
    EXPECT_EQ(control.slider->value(), 501);
    EXPECT_EQ(control.valueLabel->text(), QStringLiteral("   501"));

    control.slider->setValue(4321);
    EXPECT_EQ(control.valueLabel->text(), QStringLiteral("  4321"));
    EXPECT_DOUBLE_EQ(control.value, 500.0);
    EXPECT_FALSE(control.changed);
    EXPECT_FALSE(control.dragging);
}

TEST(SliderLCD, TwoReleasesBeforeAReaderLooksLeaveOneChangeAtTheSecondValue) {
    SliderLCD control("Activity Weight", 5, 0, 1, true, true, 100.0);
    drag(control.slider, 30);
    control.slider->setSliderDown(false);
    drag(control.slider, 40);
    control.slider->setSliderDown(false);
    EXPECT_TRUE(control.changed.exchange(false));
    EXPECT_DOUBLE_EQ(control.value, 0.4);
    EXPECT_FALSE(control.changed);
}

TEST(SliderLCD, PressAfterReleaseKeepsChangedUntilRead) {
    SliderLCD control("Continuity Weight", 10, 0, 1, true, true, 100.0);
    drag(control.slider, 60);
    control.slider->setSliderDown(false);
    control.slider->setSliderDown(true);
    EXPECT_TRUE(control.dragging);
    EXPECT_TRUE(control.changed);
    EXPECT_DOUBLE_EQ(control.value, 0.6);
}

TEST(SliderLCD, ReleasesWidgetsPutInNoLayoutAndThoseOfAnInstalledOne) {
    // Nothing to assert beyond a clean run: the sanitizer builds catch leaks and
    // double deletes in both orders of destruction.
    auto loose = std::make_unique<SliderLCD>("", 0, 0, 10, false, false, 1.0);
    loose.reset();

    auto window = std::make_unique<QWidget>();
    auto* installed = new SliderLCD("Tree Depth", 60, 20, 90, true, false, 1.0);
    window->setLayout(installed);
    EXPECT_EQ(installed->slider->parentWidget(), window.get());
    window.reset();

    auto other = std::make_unique<QWidget>();
    auto* removedFirst = new SliderLCD("Tree Nodes", 500, 100, 5000, true, false, 1.0);
    other->setLayout(removedFirst);
    delete removedFirst;
    EXPECT_TRUE(other->findChildren<QSlider*>().isEmpty());
}

} // namespace

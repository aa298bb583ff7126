#include "ButtonActivation.h"
#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "MainWindow.h"
#include "QtTestApplication.h"
#include "SliderLCD.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Window : public ::testing::Test {
protected:
    void build(double seconds) {
        window = std::make_unique<QWidget>();
        display = new DisplayWindow("VIDEO", 445, 335);
        buildMainWindow(window.get(), display, seconds);
    }

    void SetUp() override { build(100.9); }

    QBoxLayout* outer() const { return qobject_cast<QBoxLayout*>(window->layout()); }
    QBoxLayout* boxAt(QLayout* layout, int i) const {
        return qobject_cast<QBoxLayout*>(layout->itemAt(i)->layout());
    }
    QBoxLayout* positionColumn() const { return boxAt(boxAt(outer(), 1), 1); }
    QBoxLayout* tickRow() const { return boxAt(positionColumn(), 2); }
    QBoxLayout* buttonRow() const { return boxAt(outer(), 2); }
    QGroupBox* groupBoxAt(int column) const {
        return qobject_cast<QGroupBox*>(boxAt(boxAt(outer(), 3), column)->itemAt(0)->widget());
    }
    QStringList tickTexts() const {
        QStringList texts;
        for (int i = 0; i < tickRow()->count(); ++i) {
            if (auto* label = qobject_cast<QLabel*>(tickRow()->itemAt(i)->widget())) {
                texts << label->text();
            }
        }
        return texts;
    }
    ButtonActivation* buttonNamed(const char* text) const {
        for (auto* button : window->findChildren<ButtonActivation*>()) {
            if (button->text() == QLatin1String(text)) {
                return button;
            }
        }
        return nullptr;
    }

    ControlState& state = controlState();
    std::unique_ptr<QWidget> window;
    DisplayWindow* display = nullptr;
};

TEST_F(Window, OuterLayoutStacksPictureTimelineButtonsAndPanels) {
    ASSERT_NE(outer(), nullptr);
    EXPECT_EQ(outer()->direction(), QBoxLayout::TopToBottom);
    ASSERT_EQ(outer()->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(outer()->stretch(i), 0) << i;
    }
    EXPECT_EQ(boxAt(outer(), 0)->itemAt(0)->widget(), display);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(Window, PositionRowHasASpacerColumnThenStripSliderAndTicks) {
    QBoxLayout* row = boxAt(outer(), 1);
    EXPECT_EQ(row->direction(), QBoxLayout::LeftToRight);
    ASSERT_EQ(row->count(), 2);
    QBoxLayout* spacer = boxAt(row, 0);
    ASSERT_EQ(spacer->count(), 1);
    EXPECT_NE(spacer->itemAt(0)->spacerItem(), nullptr);
    EXPECT_EQ(spacer->stretch(0), 1);
    EXPECT_EQ(row->stretch(0), 0);
    EXPECT_EQ(row->stretch(1), 1);

    QBoxLayout* column = positionColumn();
    ASSERT_EQ(column->count(), 3);
    EXPECT_EQ(column->itemAt(0)->widget(), state.timelineEvents);
    EXPECT_EQ(column->itemAt(0)->alignment(), Qt::AlignHCenter);
    EXPECT_EQ(column->itemAt(1)->widget(), state.positionSlider);
    EXPECT_EQ(column->itemAt(2)->layout(), tickRow());
}

TEST_F(Window, TickLabelsFor100Point9Seconds) {
    EXPECT_EQ(tickTexts(), (QStringList{" 0  ", "  25", "  50", "  75", " 100"}));
    QBoxLayout* row = tickRow();
    ASSERT_EQ(row->count(), 9);
    const Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter,
                                        Qt::AlignHCenter, Qt::AlignRight};
    for (int i = 0; i < 9; ++i) {
        if (i % 2 == 0) {
            auto* label = qobject_cast<QLabel*>(row->itemAt(i)->widget());
            ASSERT_NE(label, nullptr) << i;
            EXPECT_EQ(row->itemAt(i)->alignment(), alignments[i / 2]) << i;
            EXPECT_EQ(label->font().family(), QStringLiteral("Times"));
            EXPECT_EQ(label->font().pointSize(), 8);
            EXPECT_EQ(label->font().weight(), QFont::Normal);
        } else {
            EXPECT_NE(row->itemAt(i)->spacerItem(), nullptr) << i;
            EXPECT_EQ(row->stretch(i), 1) << i;
        }
    }
}

TEST_F(Window, TickLabelsForZeroAndForLongVideos) {
    build(0.0);
    EXPECT_EQ(tickTexts(), (QStringList{" 0  ", "   0", "   0", "   0", "   0"}));
    EXPECT_EQ(state.positionSlider->maximum(), 0);
    build(40000.7);
    EXPECT_EQ(tickTexts(), (QStringList{" 0  ", "10000", "20000", "30000", "40000"}));
    build(-3.0);
    EXPECT_EQ(state.positionSlider->maximum(), 0);
}

TEST_F(Window, OnlyThePositionSliderOfThePositionControlIsShown) {
    EXPECT_EQ(state.positionSlider, state.positionCtl->slider);
    EXPECT_EQ(state.positionSlider->minimum(), 0);
    EXPECT_EQ(state.positionSlider->maximum(), 100);
    EXPECT_EQ(state.positionSlider->value(), 0);
    EXPECT_EQ(state.positionSlider->minimumWidth(), 445);
    EXPECT_EQ(state.positionSlider->maximumWidth(), 445);
    EXPECT_TRUE(state.positionSlider->isVisible());
    EXPECT_FALSE(state.positionCtl->nameLabel->isVisible());
    EXPECT_FALSE(state.positionCtl->valueLabel->isVisible());
    EXPECT_EQ(state.positionCtl->nameLabel->window(), state.positionCtl->nameLabel)
        << "the label is in no window";
}

TEST_F(Window, ButtonRowReadsPlayPauseSummary) {
    QBoxLayout* row = buttonRow();
    ASSERT_EQ(row->count(), 6);
    const char* expected[] = {nullptr, "Play", "Pause", nullptr, "Summary", nullptr};
    for (int i = 0; i < 6; ++i) {
        if (expected[i] == nullptr) {
            EXPECT_NE(row->itemAt(i)->spacerItem(), nullptr) << i;
            EXPECT_EQ(row->stretch(i), 1) << i;
            continue;
        }
        auto* button = qobject_cast<ButtonActivation*>(row->itemAt(i)->widget());
        ASSERT_NE(button, nullptr) << i;
        EXPECT_EQ(button->text(), QLatin1String(expected[i]));
        EXPECT_EQ(button->size(), QSize(90, 50));
        EXPECT_EQ(button->minimumSize(), QSize(90, 50));
        EXPECT_EQ(button->font().family(), QStringLiteral("Arial"));
        EXPECT_EQ(button->font().pointSize(), 12);
        EXPECT_EQ(button->font().weight(), QFont::Bold);
        EXPECT_EQ(row->stretch(i), 0);
    }
}

TEST_F(Window, StartsInPlayModeAndTheButtonsSwitchModes) {
    const SharedControls& shared = state.shared;
    EXPECT_EQ(shared.mode, PlayerMode::Play);
    buttonNamed("Summary")->click();
    EXPECT_EQ(shared.mode, PlayerMode::Summary);
    buttonNamed("Pause")->click();
    EXPECT_EQ(shared.mode, PlayerMode::Pause);
    buttonNamed("Play")->click();
    EXPECT_EQ(shared.mode, PlayerMode::Play);
}

struct ControlDefaults {
    const char* label;
    SliderLCD* ControlState::*control;
    int minimum;
    int maximum;
    int position;
    double value;
    const char* text;
};

TEST_F(Window, WeightPanelHoldsTheFiveWeightControlsWithTheirDefaults) {
    QGroupBox* box = groupBoxAt(0);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->title(), QStringLiteral("Summary Weight Control"));
    EXPECT_EQ(box->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(box->font().pointSize(), 13);
    EXPECT_EQ(box->font().weight(), QFont::Bold);
    const ControlDefaults defaults[] = {
        {"Target Length (%%)", &ControlState::targetLengthCtl, 0, 100, 5, 0.05, "  0.05"},
        {"Length Weight", &ControlState::lengthWeightCtl, 0, 100, 20, 0.2, "  0.20"},
        {"Continuity Weight", &ControlState::continuityWeightCtl, 0, 100, 10, 0.1, "  0.10"},
        {"Redundancy Weight", &ControlState::redundancyWeightCtl, 0, 100, 25, 0.25, "  0.25"},
        {"Activity Weight", &ControlState::activityWeightCtl, 0, 100, 5, 0.05, "  0.05"},
    };
    ASSERT_EQ(box->layout()->count(), 5);
    for (int i = 0; i < 5; ++i) {
        const ControlDefaults& d = defaults[i];
        SliderLCD* control = state.*d.control;
        EXPECT_EQ(box->layout()->itemAt(i)->layout(), control) << d.label;
        EXPECT_EQ(control->nameLabel->text(), QString::fromUtf8(d.label));
        EXPECT_EQ(control->slider->minimum(), d.minimum) << d.label;
        EXPECT_EQ(control->slider->maximum(), d.maximum) << d.label;
        EXPECT_EQ(control->slider->value(), d.position) << d.label;
        EXPECT_EQ(control->slider->size(), QSize(215, 25)) << d.label;
        EXPECT_DOUBLE_EQ(control->value, d.value) << d.label;
        EXPECT_FALSE(control->changed) << d.label;
        EXPECT_EQ(control->valueLabel->text(), QLatin1String(d.text)) << d.label;
        EXPECT_EQ(control->valueLabel->size(), QSize(55, 20)) << d.label;
        EXPECT_EQ(control->valueLabel->font().pointSize(), 11) << d.label;
        EXPECT_EQ(control->nameLabel->font().family(), QStringLiteral("Arial"));
        EXPECT_EQ(control->nameLabel->font().pointSize(), 12);
        EXPECT_EQ(control->nameLabel->font().weight(), QFont::Normal);
        EXPECT_TRUE(control->nameLabel->isVisible());
    }
    EXPECT_EQ(state.shared.targetLengthCtl, state.targetLengthCtl);
    EXPECT_EQ(state.shared.activityWeightCtl, state.activityWeightCtl);
}

TEST_F(Window, TreePanelHoldsStripsControlsAndCheckBoxes) {
    QGroupBox* box = groupBoxAt(1);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->title(), QStringLiteral("Tree Generation Control"));
    auto* layout = qobject_cast<QBoxLayout*>(box->layout());
    ASSERT_EQ(layout->count(), 5);
    EXPECT_EQ(layout->itemAt(0)->widget(), state.treeDepthEvents);
    EXPECT_EQ(layout->itemAt(0)->alignment(), Qt::AlignRight);
    EXPECT_EQ(layout->stretch(0), 1);
    EXPECT_EQ(layout->itemAt(1)->layout(), state.treeDepthCtl);
    EXPECT_EQ(layout->itemAt(2)->widget(), state.treeNodesEvents);
    EXPECT_EQ(layout->stretch(2), 1);
    EXPECT_EQ(layout->itemAt(3)->layout(), state.treeNodesCtl);

    EXPECT_EQ(state.treeDepthEvents->name(), QStringLiteral("Tree Depth"));
    EXPECT_EQ(state.treeDepthEvents->size(), QSize(215, 15));
    EXPECT_EQ(state.treeNodesEvents->name(), QStringLiteral("Tree Nodes"));
    EXPECT_EQ(state.treeNodesEvents->size(), QSize(215, 15));
    EXPECT_EQ(state.timelineEvents->name(), QStringLiteral("VIDEO"));
    EXPECT_EQ(state.timelineEvents->size(), QSize(445, 20));

    EXPECT_EQ(state.treeDepthCtl->slider->minimum(), 20);
    EXPECT_EQ(state.treeDepthCtl->slider->maximum(), 90);
    EXPECT_EQ(state.treeDepthCtl->slider->value(), 60);
    EXPECT_EQ(state.treeDepthCtl->valueLabel->text(), QStringLiteral("    60"));
    EXPECT_EQ(state.treeNodesCtl->slider->minimum(), 100);
    EXPECT_EQ(state.treeNodesCtl->slider->maximum(), 5000);
    EXPECT_EQ(state.treeNodesCtl->slider->value(), 500);
    EXPECT_EQ(state.treeNodesCtl->valueLabel->text(), QStringLiteral("   500"));

    QBoxLayout* checkRow = boxAt(layout, 4);
    ASSERT_NE(checkRow, nullptr);
    ASSERT_EQ(checkRow->count(), 3);
    const char* texts[] = {"Automatic Control", "Avoid Empty Buffer", "Junk Segment Filter"};
    QCheckBox* boxes[] = {state.automaticControlBox, state.avoidEmptyBufferBox,
                          state.junkSegmentFilterBox};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(checkRow->itemAt(i)->widget(), boxes[i]);
        EXPECT_EQ(boxes[i]->text(), QLatin1String(texts[i]));
        EXPECT_FALSE(boxes[i]->isChecked());
        EXPECT_EQ(boxes[i]->font().family(), QStringLiteral("Arial"));
        EXPECT_EQ(boxes[i]->font().pointSize(), 9);
        EXPECT_EQ(boxes[i]->font().weight(), QFont::Bold);
    }
}

TEST_F(Window, SharedControlsPointAtTheWidgetsAndMirrorThem) {
    SharedControls& shared = state.shared;
    EXPECT_EQ(shared.positionCtl, state.positionCtl);
    EXPECT_EQ(shared.treeDepthCtl, state.treeDepthCtl);
    EXPECT_EQ(shared.treeNodesCtl, state.treeNodesCtl);
    EXPECT_NE(shared.driver, nullptr);
    EXPECT_EQ(shared.positionSliderValue, 0);
    EXPECT_EQ(shared.positionSliderMaximum, 100);
    EXPECT_EQ(shared.treeDepthPosition, 60);
    EXPECT_EQ(shared.treeNodesPosition, 500);
    EXPECT_FALSE(shared.automaticControl);

    state.treeDepthCtl->slider->setValue(75);
    state.treeNodesCtl->slider->setValue(1200);
    state.positionSlider->setValue(33);
    state.automaticControlBox->click();
    state.junkSegmentFilterBox->setChecked(true);
    EXPECT_EQ(shared.treeDepthPosition, 75);
    EXPECT_EQ(shared.treeNodesPosition, 1200);
    EXPECT_EQ(shared.positionSliderValue, 33);
    EXPECT_TRUE(shared.automaticControl);
    EXPECT_FALSE(shared.avoidEmptyBuffer);
    EXPECT_TRUE(shared.junkSegmentFilter);
    state.positionSlider->setMaximum(20);
    EXPECT_EQ(shared.positionSliderMaximum, 20);
    EXPECT_EQ(shared.positionSliderValue, 20);

    window.reset();
    EXPECT_EQ(shared.driver, nullptr) << "the driver goes with the window";
}

TEST_F(Window, RendersToAPictureOfTheLayout) {
    // Built where the logo is, so that the picture shows it.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral(TESSARO_SOURCE_DIR "/data")));
    build(100.9);
    QDir::setCurrent(previous);
    QApplication::processEvents();
    const QImage painted = paintedImage(*window);
    const QString file = QStringLiteral(TESSARO_BINARY_DIR "/window-100.9s.png");
    ASSERT_TRUE(painted.save(file));
    EXPECT_GE(painted.width(), 445);
    EXPECT_GT(painted.height(), 335 + 20 + 50);
    // The picture widget's frame and the timeline's border are where the layout put them.
    const QPoint picture = display->mapTo(window.get(), QPoint(0, 0));
    EXPECT_EQ(pixelAt(painted, picture.x() + 1, picture.y() + 100), 0x000000u);
    EXPECT_NE(pixelAt(painted, picture.x() + 5, picture.y() + 5), 0x000000u) << "the logo";
    const QPoint timeline = state.timelineEvents->mapTo(window.get(), QPoint(0, 0));
    EXPECT_GT(timeline.y(), picture.y() + 335 - 1);
    EXPECT_EQ(pixelAt(painted, timeline.x(), timeline.y() + 10), 0x000000u);
    const QPoint slider = state.positionSlider->mapTo(window.get(), QPoint(0, 0));
    EXPECT_GT(slider.y(), timeline.y());
    const QPoint play = buttonNamed("Play")->mapTo(window.get(), QPoint(0, 0));
    const QPoint pause = buttonNamed("Pause")->mapTo(window.get(), QPoint(0, 0));
    const QPoint summary = buttonNamed("Summary")->mapTo(window.get(), QPoint(0, 0));
    EXPECT_LT(play.x(), pause.x());
    EXPECT_LT(pause.x(), summary.x());
    EXPECT_GT(play.y(), slider.y());
    EXPECT_LT(groupBoxAt(0)->y(), groupBoxAt(1)->y());
    EXPECT_GT(groupBoxAt(0)->y(), play.y());
}

} // namespace

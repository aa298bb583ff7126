#include "MainWindow.h"

#include "ButtonActivation.h"
#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "QueuedWidgetDriver.h"
#include "SliderLCD.h"
#include "SummarySettings.h"
#include "ThumbnailHover.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QProxyStyle>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Truncated towards zero; durations that are not numbers or do not fit count as 0 or the
// largest int rather than overflowing.
int wholeSeconds(double seconds) {
    if (!(seconds > 0.0)) {
        return 0;
    }
    return seconds >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(seconds);
}

QLabel* tickLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setFont(QFont(QStringLiteral("Times"), 8, QFont::Normal));
    return label;
}

ButtonActivation* modeButton(const char* text, PlayerCore& core, PlayerMode mode) {
    auto* button = new ButtonActivation([&core, mode] { core.submit(command::ChooseMode{mode}); });
    button->setText(QString::fromUtf8(text));
    button->setFixedSize(90, 50);
    return button;
}

QGroupBox* groupBox(const char* title) {
    auto* box = new QGroupBox(QString::fromUtf8(title));
    box->setFont(QFont(QStringLiteral("Arial"), 13, QFont::Bold));
    return box;
}

void setNameFont(SliderLCD* control) {
    control->nameLabel->setFont(QFont(QStringLiteral("Arial"), 12, QFont::Normal));
}

// The settings as the window shows them: the weights as the user last
// settled them, the tree limits and the options as they stand.
PlayerSettings settingsOfWindow(const ControlState& state) {
    PlayerSettings chosen;
    SummarySettings& s = chosen.summary;
    s.target = state.targetLengthCtl->value;
    s.lengthWeight = state.lengthWeightCtl->value;
    s.continuityWeight = state.continuityWeightCtl->value;
    s.redundancyWeight = state.redundancyWeightCtl->value;
    s.activityWeight = state.activityWeightCtl->value;
    s.depth = state.treeDepthCtl->slider->value();
    s.nodes = state.treeNodesCtl->slider->value();
    s.junkFilter = state.junkSegmentFilterBox->isChecked();
    s.shotAware = state.shotAwareRankingBox->isChecked();
    s.wholeSpeech = state.wholeSpeechBox->isChecked();
    chosen.automaticControl = state.automaticControlBox->isChecked();
    chosen.avoidEmptyBuffer = state.avoidEmptyBufferBox->isChecked();
    chosen.speed = state.speed;
    return chosen;
}

// Every change of a setting reaches the decoding thread as one snapshot. A
// weight change (a release, a click in the groove, the wheel) is published
// once the weight sliders have been still for a tenth of a second, and then calls for a new
// summary, as does switching shot-aware ranking or Keep Speech Whole; the tree limits and the other
// options apply at once.
void publishSettings(QWidget* window, ControlState& state) {
    PlayerCore& core = state.core;
    const auto publish = [&state, &core] {
        state.settings.publish(settingsOfWindow(state));
        core.wakeup.notify();
    };
    auto* settle = new QTimer(window);
    settle->setSingleShot(true);
    settle->setInterval(100);
    QObject::connect(settle, &QTimer::timeout, window, [&state, &core] {
        state.settings.publishRanking(settingsOfWindow(state));
        core.wakeup.notify();
    });
    for (SliderLCD* weight :
         {state.targetLengthCtl, state.lengthWeightCtl, state.continuityWeightCtl,
          state.redundancyWeightCtl, state.activityWeightCtl})
        QObject::connect(weight, &SliderLCD::settled, window, [settle] { settle->start(); });
    for (QCheckBox* box : {state.shotAwareRankingBox, state.wholeSpeechBox})
        QObject::connect(box, &QCheckBox::toggled, window, [settle] { settle->start(); });
    for (SliderLCD* limit : {state.treeDepthCtl, state.treeNodesCtl})
        QObject::connect(limit->slider, &QSlider::valueChanged, window, publish);
    for (QCheckBox* box :
         {state.automaticControlBox, state.avoidEmptyBufferBox, state.junkSegmentFilterBox})
        QObject::connect(box, &QCheckBox::toggled, window, publish);
    state.settings.publish(settingsOfWindow(state));
}

// A click on the groove puts the handle there at once (and a drag may go on
// from there), as in every media player, instead of stepping a page.
class JumpToClickStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

} // namespace

void setVideoDuration(double videoSeconds) {
    ControlState& state = controlState();
    const int duration = wholeSeconds(videoSeconds);
    state.core.setDuration(videoSeconds);
    state.positionSlider->setRange(0, duration);
    state.positionSlider->setTickInterval(static_cast<int>(duration * 0.1));
    // The scale reads as the hover and the notices do: m:ss, or h:mm:ss for
    // an hour or more.
    for (int i = 0; i < 5; ++i)
        state.tickLabels[i]->setText(timeText(videoSeconds * i / 4.0, videoSeconds));
}

void buildMainWindow(QWidget* mainWindow, DisplayWindow* displayWindow, double videoSeconds) {
    ControlState& state = controlState();
    PlayerCore& core = state.core;
    const int duration = wholeSeconds(videoSeconds);

    auto* outer = new QBoxLayout(QBoxLayout::TopToBottom);
    auto* videoRow = new QBoxLayout(QBoxLayout::LeftToRight);
    // The picture takes whatever room the window gains.
    state.displayWindow = displayWindow;
    displayWindow->setResizable();
    videoRow->addWidget(displayWindow, 1);
    state.pictureGap = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    videoRow->addItem(state.pictureGap);
    outer->addLayout(videoRow, 1);
    state.controlsPanel = new QWidget;
    auto* panel = new QBoxLayout(QBoxLayout::TopToBottom);
    panel->setContentsMargins(0, 0, 0, 0);

    // Position: only the slider of the position control is placed; its labels never show.
    auto* positionRow = new QBoxLayout(QBoxLayout::LeftToRight);
    state.positionCtl = new SliderLCD("", 0, 0, duration, false, false, 1.0);
    state.positionSlider = state.positionCtl->slider;
    state.positionCtl->sliderRow->removeWidget(state.positionSlider);
    // In no layout, so the window owns it directly and it goes with the window.
    state.positionCtl->setParent(mainWindow);

    auto* spacerColumn = new QBoxLayout(QBoxLayout::TopToBottom);
    auto* positionColumn = new QBoxLayout(QBoxLayout::TopToBottom);
    auto* tickRow = new QBoxLayout(QBoxLayout::LeftToRight);
    for (int i = 0; i < 5; ++i) {
        state.tickLabels[i] = tickLabel(QStringLiteral(" 0  "));
        if (i > 0)
            tickRow->addStretch(1);
        tickRow->addWidget(state.tickLabels[i], 0,
                           i == 0   ? Qt::AlignLeft
                           : i == 4 ? Qt::AlignRight
                                    : Qt::AlignHCenter);
    }
    spacerColumn->addStretch(1);
    auto* jump = new JumpToClickStyle;
    jump->setParent(state.positionSlider);
    state.positionSlider->setStyle(jump);

    state.positionSlider->setFixedWidth(445);
    state.timelineEvents = new DisplayEvents("VIDEO", 445, 20);
    positionColumn->addWidget(state.timelineEvents, 0, Qt::AlignHCenter);
    positionColumn->addWidget(state.positionSlider, 0);
    positionColumn->addLayout(tickRow, 0);
    positionRow->addLayout(spacerColumn, 0);
    positionRow->addLayout(positionColumn, 1);
    panel->addLayout(positionRow, 0);

    // Created Play, Summary, Pause; shown Play, Pause, Summary.
    auto* buttonRow = new QBoxLayout(QBoxLayout::LeftToRight);
    auto* play = modeButton("Play", core, PlayerMode::Play);
    auto* summary = modeButton("Summary", core, PlayerMode::Summary);
    auto* pause = modeButton("Pause", core, PlayerMode::Pause);
    for (ButtonActivation* button : {play, summary, pause}) {
        button->setFont(QFont(QStringLiteral("Arial"), 12, QFont::Bold));
    }
    core.state.update([](PlayerState& s) {
        const bool paused = changeTo(s.paused, false);
        return changeTo(s.mode, PlayerMode::Play) || paused;
    });
    buttonRow->addStretch(1);
    buttonRow->addWidget(play, 0);
    buttonRow->addWidget(pause, 0);
    buttonRow->addStretch(1);
    buttonRow->addWidget(summary, 0);
    buttonRow->addStretch(1);
    panel->addLayout(buttonRow, 0);

    // The sound, small, under the buttons.
    auto* soundRow = new QBoxLayout(QBoxLayout::LeftToRight);
    auto* volumeLabel = new QLabel(QStringLiteral("Volume"));
    volumeLabel->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    state.volumeSlider = new QSlider(Qt::Horizontal);
    state.volumeSlider->setRange(0, 100);
    state.volumeSlider->setValue(core.state.snapshot().volumePercent);
    state.volumeSlider->setFixedWidth(120);
    state.muteBox = new QCheckBox(QStringLiteral("Mute"));
    state.muteBox->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    soundRow->addStretch(1);
    soundRow->addWidget(volumeLabel, 0);
    soundRow->addWidget(state.volumeSlider, 0);
    soundRow->addWidget(state.muteBox, 0);
    soundRow->addStretch(1);
    panel->addLayout(soundRow, 0);

    auto* panelColumn = new QBoxLayout(QBoxLayout::TopToBottom);
    auto* weightColumn = new QBoxLayout(QBoxLayout::TopToBottom);
    QGroupBox* weightBox = groupBox("Summary Weight Control");
    auto* weightLayout = new QBoxLayout(QBoxLayout::TopToBottom);
    // The starting settings are those a run without a window takes, the
    // ranges those the tool takes.
    const auto slider = [](const char* label, Setting setting) {
        const SettingEntry& entry = settingEntry(setting);
        return new SliderLCD(label, entry.steps(entry.fallback), entry.steps(entry.low),
                             static_cast<int>(entry.high), true,
                             entry.kind == SettingKind::Fraction, entry.stepsPerUnit);
    };
    state.targetLengthCtl = slider("Target Length (%%)", Setting::Target);
    state.lengthWeightCtl = slider("Length Weight", Setting::LengthWeight);
    state.continuityWeightCtl = slider("Continuity Weight", Setting::ContinuityWeight);
    state.redundancyWeightCtl = slider("Redundancy Weight", Setting::RedundancyWeight);
    state.activityWeightCtl = slider("Activity Weight", Setting::ActivityWeight);
    SliderLCD* const weights[] = {state.targetLengthCtl, state.lengthWeightCtl,
                                  state.continuityWeightCtl, state.redundancyWeightCtl,
                                  state.activityWeightCtl};
    for (SliderLCD* control : weights) {
        setNameFont(control);
    }
    weightBox->setLayout(weightLayout);
    for (SliderLCD* control : weights) {
        weightLayout->addLayout(control, 0);
    }
    weightColumn->addWidget(weightBox, 0);

    auto* treeColumn = new QBoxLayout(QBoxLayout::TopToBottom);
    auto* treeLayout = new QBoxLayout(QBoxLayout::TopToBottom);
    QGroupBox* treeBox = groupBox("Tree Generation Control");
    state.treeDepthCtl = slider("Tree Depth", Setting::Depth);
    state.treeNodesCtl = slider("Tree Nodes", Setting::Nodes);
    setNameFont(state.treeDepthCtl);
    setNameFont(state.treeNodesCtl);
    state.treeDepthEvents = new DisplayEvents("Tree Depth", 215, 15);
    state.treeNodesEvents = new DisplayEvents("Tree Nodes", 215, 15);
    treeBox->setLayout(treeLayout);
    treeLayout->addWidget(state.treeDepthEvents, 1, Qt::AlignRight);
    treeLayout->addLayout(state.treeDepthCtl, 0);
    treeLayout->addWidget(state.treeNodesEvents, 1, Qt::AlignRight);
    treeLayout->addLayout(state.treeNodesCtl, 0);

    auto* checkRow = new QBoxLayout(QBoxLayout::LeftToRight);
    state.automaticControlBox = new QCheckBox(QStringLiteral("Automatic Control"));
    state.avoidEmptyBufferBox = new QCheckBox(QStringLiteral("Avoid Empty Buffer"));
    state.junkSegmentFilterBox = new QCheckBox(QStringLiteral("Junk Segment Filter"));
    QCheckBox* const boxes[] = {state.automaticControlBox, state.avoidEmptyBufferBox,
                                state.junkSegmentFilterBox};
    for (QCheckBox* box : boxes) {
        checkRow->addWidget(box, 0);
    }
    treeLayout->addLayout(checkRow, 0);
    // A row of its own under the three, so the panel keeps its width.
    auto* rankingRow = new QBoxLayout(QBoxLayout::LeftToRight);
    state.shotAwareRankingBox = new QCheckBox(QStringLiteral("Shot-Aware Ranking"));
    state.shotAwareRankingBox->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    rankingRow->addWidget(state.shotAwareRankingBox, 0);
    state.wholeSpeechBox = new QCheckBox(QStringLiteral("Keep Speech Whole"));
    state.wholeSpeechBox->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    state.wholeSpeechBox->setToolTip(
        QStringLiteral("Cut only where nobody speaks: whole utterances, long pauses left out"));
    rankingRow->addWidget(state.wholeSpeechBox, 0);
    rankingRow->addStretch(1);
    treeLayout->addLayout(rankingRow, 0);
    for (QCheckBox* box : boxes) {
        box->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    }
    treeColumn->addWidget(treeBox, 0);

    panelColumn->addLayout(weightColumn, 0);
    panelColumn->addLayout(treeColumn, 0);
    panel->addLayout(panelColumn, 0);
    state.controlsPanel->setLayout(panel);
    outer->addWidget(state.controlsPanel, 0);
    state.pictureGapWidth =
        std::max(0, state.controlsPanel->sizeHint().width() - displayWindow->minimumWidth());
    state.pictureGap->changeSize(state.pictureGapWidth, 0, QSizePolicy::Fixed,
                                 QSizePolicy::Minimum);

    // The worker threads never read a widget: the position the user settles
    // on is a seek, the settings go as snapshots.
    QObject::connect(state.positionCtl, &SliderLCD::settled, state.positionSlider,
                     [&core](double seconds) { core.submit(command::SeekTo{seconds}); });
    publishSettings(mainWindow, state);
    core.driver = new QueuedWidgetDriver(state, mainWindow);
    setVideoDuration(videoSeconds);
    // Keys belong to the window as a whole, not to the control last clicked.
    for (QWidget* control : state.controlsPanel->findChildren<QWidget*>())
        control->setFocusPolicy(Qt::NoFocus);
    state.positionSlider->setFocusPolicy(Qt::NoFocus);

    mainWindow->setLayout(outer);
    mainWindow->show();
    outer->update();
}

void setPlaySpeed(double speed) {
    ControlState& state = controlState();
    state.speed = speed;
    state.settings.publish(settingsOfWindow(state));
    state.core.wakeup.notify();
}

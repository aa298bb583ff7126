#include "MainWindow.h"

#include "ButtonActivation.h"
#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "QueuedWidgetDriver.h"
#include "SliderLCD.h"
#include "SettingsSchema.h"
#include "SummarySettings.h"
#include "WindowFit.h"
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

// The picture's least width: the overlay's strip is drawn for it.
constexpr int kPictureWidth = 445;

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
    QFont font = label->font();
    font.setPointSize(8);
    label->setFont(font);
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

namespace {

// What each control of the summary does, in a sentence, for its tooltip.
const char* tipOf(Setting setting) {
    switch (setting) {
    case Setting::Target:
        return "The share of the video the summary aims at, as a fraction: 0.05 is a twentieth.";
    case Setting::LengthWeight:
        return "How much coming close to the target length matters.";
    case Setting::ContinuityWeight:
        return "Prefers kept fragments that follow one another to many short cuts.";
    case Setting::RedundancyWeight:
        return "Prefers fragments that differ from what the summary already holds.";
    case Setting::ActivityWeight:
        return "Prefers fragments whose pictures change.";
    case Setting::Depth:
        return "How many 25-picture fragments the summary reads ahead before it decides: deeper "
               "decides better and starts later.";
    case Setting::Nodes:
        return "How many candidate summaries it keeps: more is better and slower.";
    case Setting::JunkFilter:
        return "Never keeps fragments with a cut or a flash inside, almost no colour structure "
               "or as much as colour bars, or flat pictures.";
    case Setting::ShotAware:
        return "Ranks summaries by the shots they show: each distinct shot for a second at least, "
               "from its cut, junk left out.";
    case Setting::WholeSpeech:
        return "Cuts only where nobody speaks: whole utterances, long pauses left out.";
    }
    return "";
}

SliderLCD* settingSlider(Setting setting) {
    // The starting settings are those a run without a window takes, the
    // ranges those the tool takes.
    const SettingEntry& entry = settingEntry(setting);
    auto* control = new SliderLCD(entry.label, entry.steps(entry.fallback), entry.steps(entry.low),
                                  static_cast<int>(entry.high), true,
                                  entry.kind == SettingKind::Fraction, entry.stepsPerUnit);
    setNameFont(control);
    const QString tip = QString::fromUtf8(tipOf(setting));
    for (QWidget* part : {static_cast<QWidget*>(control->slider),
                          static_cast<QWidget*>(control->nameLabel),
                          static_cast<QWidget*>(control->valueLabel)})
        part->setToolTip(tip);
    return control;
}

QCheckBox* optionBox(const char* label, const char* tip) {
    auto* box = new QCheckBox(QString::fromUtf8(label));
    box->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    box->setToolTip(QString::fromUtf8(tip));
    return box;
}

QCheckBox* settingBox(Setting setting) {
    return optionBox(settingEntry(setting).label, tipOf(setting));
}

// The timeline strip, the position slider and its scale, as wide as the
// picture.
QBoxLayout* positionColumn(ControlState& state, QWidget* mainWindow, int duration) {
    auto* column = new QBoxLayout(QBoxLayout::TopToBottom);
    column->setSpacing(2);
    // Of the position control only the slider is placed; its labels never show.
    state.positionCtl = new SliderLCD("", 0, 0, duration, false, false, 1.0);
    state.positionSlider = state.positionCtl->slider;
    state.positionCtl->sliderRow->removeWidget(state.positionSlider);
    // In no layout, so the window owns it directly and it goes with the window.
    state.positionCtl->setParent(mainWindow);
    auto* jump = new JumpToClickStyle;
    jump->setParent(state.positionSlider);
    state.positionSlider->setStyle(jump);
    state.positionSlider->setMinimumWidth(kPictureWidth);
    state.positionSlider->setToolTip(
        QStringLiteral("Where the video is: drag, click or turn the wheel to go elsewhere"));

    state.timelineEvents = new DisplayEvents("VIDEO", kPictureWidth, 20);
    state.timelineEvents->setResizable();
    state.timelineEvents->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    state.timelineEvents->setToolTip(
        QStringLiteral("The summary's map: kept spans in green (hatched while provisional, "
                       "from the key frames alone); a click on one goes there"));

    auto* tickRow = new QBoxLayout(QBoxLayout::LeftToRight);
    for (int i = 0; i < 5; ++i) {
        state.tickLabels[i] = tickLabel(QStringLiteral("0:00"));
        if (i > 0)
            tickRow->addStretch(1);
        tickRow->addWidget(state.tickLabels[i], 0,
                           i == 0   ? Qt::AlignLeft
                           : i == 4 ? Qt::AlignRight
                                    : Qt::AlignHCenter);
    }
    column->addWidget(state.timelineEvents, 0);
    column->addWidget(state.positionSlider, 0);
    column->addLayout(tickRow, 0);
    return column;
}

// Play, Pause and Summary (shown in that order), each shown pressed while
// its mode is the one on screen.
QBoxLayout* buttonRow(ControlState& state) {
    PlayerCore& core = state.core;
    auto* row = new QBoxLayout(QBoxLayout::LeftToRight);
    auto* play = modeButton("Play", core, PlayerMode::Play);
    auto* summary = modeButton("Summary", core, PlayerMode::Summary);
    auto* pause = modeButton("Pause", core, PlayerMode::Pause);
    play->setToolTip(QStringLiteral("Plays the whole video (P)"));
    summary->setToolTip(
        QStringLiteral("Plays only what the summary keeps, chosen as it plays (S)"));
    pause->setToolTip(QStringLiteral("Holds the picture; again, or Space, plays on"));
    state.modeButtons[0] = play;
    state.modeButtons[1] = summary;
    state.modeButtons[2] = pause;
    for (ButtonActivation* button : {play, summary, pause}) {
        button->setFont(QFont(QStringLiteral("Arial"), 12, QFont::Bold));
        button->setCheckable(true);
    }
    row->addStretch(1);
    row->addWidget(play, 0);
    row->addWidget(pause, 0);
    row->addStretch(1);
    row->addWidget(summary, 0);
    row->addStretch(1);
    return row;
}

QBoxLayout* soundRow(ControlState& state) {
    auto* row = new QBoxLayout(QBoxLayout::LeftToRight);
    auto* volumeLabel = new QLabel(QStringLiteral("Volume"));
    volumeLabel->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    state.volumeSlider = new QSlider(Qt::Horizontal);
    state.volumeSlider->setRange(0, 100);
    state.volumeSlider->setValue(state.core.state.snapshot().volumePercent);
    state.volumeSlider->setFixedWidth(120);
    state.volumeSlider->setToolTip(QStringLiteral("The sound's volume (+ and -, or the wheel "
                                                  "over the picture)"));
    state.muteBox = new QCheckBox(QStringLiteral("Mute"));
    state.muteBox->setFont(QFont(QStringLiteral("Arial"), 9, QFont::Bold));
    state.muteBox->setToolTip(QStringLiteral("Silences the sound (M)"));
    row->addStretch(1);
    row->addWidget(volumeLabel, 0);
    row->addWidget(state.volumeSlider, 0);
    row->addWidget(state.muteBox, 0);
    row->addStretch(1);
    return row;
}

QGroupBox* weightPanel(ControlState& state) {
    QGroupBox* box = groupBox("Summary Weight Control");
    auto* layout = new QBoxLayout(QBoxLayout::TopToBottom);
    state.targetLengthCtl = settingSlider(Setting::Target);
    state.lengthWeightCtl = settingSlider(Setting::LengthWeight);
    state.continuityWeightCtl = settingSlider(Setting::ContinuityWeight);
    state.redundancyWeightCtl = settingSlider(Setting::RedundancyWeight);
    state.activityWeightCtl = settingSlider(Setting::ActivityWeight);
    box->setLayout(layout);
    for (SliderLCD* control : {state.targetLengthCtl, state.lengthWeightCtl,
                               state.continuityWeightCtl, state.redundancyWeightCtl,
                               state.activityWeightCtl})
        layout->addLayout(control, 0);
    return box;
}

QGroupBox* treePanel(ControlState& state) {
    QGroupBox* box = groupBox("Tree Generation Control");
    auto* layout = new QBoxLayout(QBoxLayout::TopToBottom);
    state.treeDepthCtl = settingSlider(Setting::Depth);
    state.treeNodesCtl = settingSlider(Setting::Nodes);
    state.treeDepthEvents = new DisplayEvents("Tree Depth", 215, 15);
    state.treeNodesEvents = new DisplayEvents("Tree Nodes", 215, 15);
    state.treeDepthEvents->setToolTip(
        QStringLiteral("How deep the tree has grown (blue) against its limit"));
    state.treeNodesEvents->setToolTip(
        QStringLiteral("How many candidates the tree holds (blue) against its limit"));
    box->setLayout(layout);
    layout->addWidget(state.treeDepthEvents, 1, Qt::AlignRight);
    layout->addLayout(state.treeDepthCtl, 0);
    layout->addWidget(state.treeNodesEvents, 1, Qt::AlignRight);
    layout->addLayout(state.treeNodesCtl, 0);

    auto* checkRow = new QBoxLayout(QBoxLayout::LeftToRight);
    state.automaticControlBox =
        optionBox("Automatic Control", "Lowers both limits while the playback buffer is "
                                       "low, so that playback never runs dry.");
    state.avoidEmptyBufferBox =
        optionBox("Avoid Empty Buffer", "Plays the next decided fragment, even one left out, "
                                        "whenever the buffer has run empty.");
    state.junkSegmentFilterBox = settingBox(Setting::JunkFilter);
    for (QCheckBox* box :
         {state.automaticControlBox, state.avoidEmptyBufferBox, state.junkSegmentFilterBox})
        checkRow->addWidget(box, 0);
    layout->addLayout(checkRow, 0);
    // A row of its own under the three, so the panel keeps its width.
    auto* rankingRow = new QBoxLayout(QBoxLayout::LeftToRight);
    state.shotAwareRankingBox = settingBox(Setting::ShotAware);
    state.wholeSpeechBox = settingBox(Setting::WholeSpeech);
    rankingRow->addWidget(state.shotAwareRankingBox, 0);
    rankingRow->addWidget(state.wholeSpeechBox, 0);
    rankingRow->addStretch(1);
    layout->addLayout(rankingRow, 0);
    return box;
}

// The button of the mode on screen shown pressed, the others raised.
void showModeOnButtons(ControlState& state, const PlayerState& now) {
    const PlayerMode shown = now.shownMode();
    const PlayerMode modes[] = {PlayerMode::Play, PlayerMode::Summary, PlayerMode::Pause};
    for (int i = 0; i < 3; ++i)
        state.modeButtons[i]->setChecked(modes[i] == shown);
}

} // namespace

void buildMainWindow(QWidget* mainWindow, DisplayWindow* displayWindow, double videoSeconds) {
    ControlState& state = controlState();
    PlayerCore& core = state.core;

    auto* outer = new QBoxLayout(QBoxLayout::TopToBottom);
    // The picture takes whatever room the window gains, both ways; the
    // timeline, the position slider and its scale are as wide as it is.
    state.displayWindow = displayWindow;
    displayWindow->setResizable();
    state.pictureColumn = new QBoxLayout(QBoxLayout::TopToBottom);
    state.pictureColumn->addWidget(displayWindow, 1);
    state.positionPanel = new QWidget;
    QBoxLayout* position = positionColumn(state, mainWindow, wholeSeconds(videoSeconds));
    position->setContentsMargins(0, 0, 0, 0);
    state.positionPanel->setLayout(position);
    state.pictureColumn->addWidget(state.positionPanel, 0);
    outer->addLayout(state.pictureColumn, 1);

    // The buttons, the sound and the settings: hidden in full screen.
    state.controlsPanel = new QWidget;
    auto* panel = new QBoxLayout(QBoxLayout::TopToBottom);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addLayout(buttonRow(state), 0);
    core.state.update([](PlayerState& s) {
        const bool paused = changeTo(s.paused, false);
        return changeTo(s.mode, PlayerMode::Play) || paused;
    });
    panel->addLayout(soundRow(state), 0);

    // The two panels of settings: one above the other, or side by side
    // where the screen is short (see fitToScreen); the user may hide them.
    state.settingsPanel = new QWidget;
    state.settingsLayout = new QBoxLayout(QBoxLayout::TopToBottom);
    state.settingsLayout->setContentsMargins(0, 0, 0, 0);
    state.settingsLayout->addWidget(weightPanel(state), 0, Qt::AlignTop);
    state.settingsLayout->addWidget(treePanel(state), 0, Qt::AlignTop);
    state.settingsPanel->setLayout(state.settingsLayout);
    panel->addWidget(state.settingsPanel, 0, Qt::AlignHCenter);
    state.controlsPanel->setLayout(panel);
    outer->addWidget(state.controlsPanel, 0);
    // Keys belong to the window as a whole, not to the control last clicked.
    for (QWidget* part : {state.positionPanel, state.controlsPanel})
        for (QWidget* control : part->findChildren<QWidget*>())
            control->setFocusPolicy(Qt::NoFocus);

    // The worker threads never read a widget: the position the user settles
    // on is a seek, the settings go as snapshots.
    QObject::connect(state.positionCtl, &SliderLCD::settled, state.positionSlider,
                     [&core](double seconds) { core.submit(command::SeekTo{seconds}); });
    publishSettings(mainWindow, state);
    auto* driver = new QueuedWidgetDriver(state, mainWindow);
    driver->onShownChange = [&state](const PlayerState& now) {
        showModeOnButtons(state, now);
        if (state.onShownState)
            state.onShownState(now);
    };
    core.driver = driver;
    setVideoDuration(videoSeconds);

    mainWindow->setLayout(outer);
    showModeOnButtons(state, core.state.snapshot());
    fitToScreen(mainWindow, state);
    mainWindow->show();
    outer->update();
}

void setPlaySpeed(double speed) {
    ControlState& state = controlState();
    state.speed = speed;
    state.settings.publish(settingsOfWindow(state));
    state.core.wakeup.notify();
}

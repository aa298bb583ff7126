#include "WindowControl.h"

#include "ControlState.h"
#include "DisplayEvents.h"
#include "PlayList.h"
#include "SliderLCD.h"
#include "WindowFit.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSlider>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <iterator>

KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::ControlModifier) {
        if (modifiers & Qt::ShiftModifier)
            return key == Qt::Key_S   ? KeyAction::Screenshot
                   : key == Qt::Key_O ? KeyAction::OpenFolder
                                      : KeyAction::None;
        if (key == Qt::Key_C)
            return KeyAction::CopyPicture;
        if (key == Qt::Key_S)
            return KeyAction::SaveSummary;
        return key == Qt::Key_O ? KeyAction::Open : KeyAction::None;
    }
    switch (key) {
    case Qt::Key_Space:
        return KeyAction::TogglePause;
    case Qt::Key_S:
        return KeyAction::Summary;
    case Qt::Key_P:
        return KeyAction::Play;
    case Qt::Key_Left:
        return KeyAction::Back5;
    case Qt::Key_Right:
        return KeyAction::Forward5;
    case Qt::Key_Up:
        return KeyAction::Forward60;
    case Qt::Key_Down:
        return KeyAction::Back60;
    case Qt::Key_Home:
        return KeyAction::ToStart;
    case Qt::Key_F:
        return KeyAction::FullScreen;
    case Qt::Key_Escape:
        return KeyAction::LeaveFullScreen;
    case Qt::Key_Q:
        return KeyAction::Close;
    case Qt::Key_M:
        return KeyAction::Mute;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return KeyAction::Louder;
    case Qt::Key_Minus:
        return KeyAction::Quieter;
    case Qt::Key_BracketLeft:
        return KeyAction::Slower;
    case Qt::Key_BracketRight:
        return KeyAction::Faster;
    case Qt::Key_Backspace:
        return KeyAction::NormalSpeed;
    case Qt::Key_Period:
        return KeyAction::NextPicture;
    case Qt::Key_Comma:
        return KeyAction::PreviousPicture;
    case Qt::Key_C:
        return KeyAction::ToggleControls;
    case Qt::Key_PageDown:
        return KeyAction::NextVideo;
    case Qt::Key_PageUp:
        return KeyAction::PreviousVideo;
    case Qt::Key_V:
        return KeyAction::ToggleSubtitles;
    default:
        return KeyAction::None;
    }
}

QString keyHelp() {
    return QStringLiteral("Space  pause / play on\n"
                          "S  Summary      P  Play\n"
                          "Left / Right  5 s back / on\n"
                          "Down / Up  60 s back / on\n"
                          "Home  to the start\n"
                          "F or double click  full screen      Esc  leave it\n"
                          "M  mute      + / -  volume\n"
                          "[ / ]  slower / faster      Backspace  normal speed\n"
                          ", / .  in a pause: previous / next picture\n"
                          "Ctrl+Shift+S  save the picture      Ctrl+C  copy it\n"
                          "Ctrl+S  save the summary      C  show / hide the settings\n"
                          "V  show / hide the subtitles\n"
                          "Wheel: volume over the picture, 5 s over the position\n"
                          "Ctrl+O or drop a file  open another video\n"
                          "Ctrl+O on several, or drop several  play them in turn\n"
                          "Ctrl+Shift+O  play a folder's videos\n"
                          "Page Down / Page Up  next / previous video\n"
                          "Q  close");
}

double steppedSpeed(double speed, int direction) {
    if (direction > 0) {
        for (const double step : kSpeeds)
            if (step > speed + 1e-9)
                return step;
        return std::end(kSpeeds)[-1];
    }
    for (auto step = std::rbegin(kSpeeds); step != std::rend(kSpeeds); ++step)
        if (*step < speed - 1e-9)
            return *step;
    return kSpeeds[0];
}

WindowControl::WindowControl(QWidget* watchedWindow, QWidget* watchedPicture,
                             PlayerCore& playerCore)
    : QObject(watchedWindow), window(watchedWindow), picture(watchedPicture), core(playerCore) {
    window->setAcceptDrops(true);
    window->setFocusPolicy(Qt::StrongFocus);
    // Keys reach the window whichever of its widgets has the focus.
    qApp->installEventFilter(this);
    picture->setToolTip(keyHelp());
    // The menu is the window's: over the picture and every control that has none of its own.
    window->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(window, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showMenu(window->mapToGlobal(at)); });
}

void WindowControl::showMenu(const QPoint& at) {
    // Made afresh each time, so that what it shows checked is what is so now.
    auto* menu = new QMenu(window);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const auto item = [this, menu](const QString& text, KeyAction action, const QString& keys) {
        QAction* added = menu->addAction(text, this, [this, action] { perform(action); });
        added->setShortcut(QKeySequence(keys));
        added->setShortcutVisibleInContextMenu(true);
        return added;
    };
    const PlayerState now = core.state.snapshot();
    item(now.paused ? QStringLiteral("Play on") : QStringLiteral("Pause"),
         KeyAction::TogglePause, QStringLiteral("Space"));
    item(QStringLiteral("Play"), KeyAction::Play, QStringLiteral("P"));
    item(QStringLiteral("Summary"), KeyAction::Summary, QStringLiteral("S"));
    menu->addSeparator();
    item(QStringLiteral("Open..."), KeyAction::Open, QStringLiteral("Ctrl+O"));
    QMenu* recent = menu->addMenu(QStringLiteral("Open Recent"));
    const QStringList videos = recentVideos ? recentVideos() : QStringList();
    for (const QString& path : videos)
        recent->addAction(path, this, [this, path] { emit openRequested(path); });
    recent->setEnabled(!videos.isEmpty());
    item(QStringLiteral("Open Folder..."), KeyAction::OpenFolder, QStringLiteral("Ctrl+Shift+O"));
    for (const int direction : {1, -1}) {
        QAction* video =
            item(direction > 0 ? QStringLiteral("Next Video") : QStringLiteral("Previous Video"),
                 direction > 0 ? KeyAction::NextVideo : KeyAction::PreviousVideo,
                 direction > 0 ? QStringLiteral("PgDown") : QStringLiteral("PgUp"));
        video->setEnabled(videoThere && videoThere(direction));
    }
    item(QStringLiteral("Save Summary..."), KeyAction::SaveSummary, QStringLiteral("Ctrl+S"));
    item(QStringLiteral("Save Picture"), KeyAction::Screenshot, QStringLiteral("Ctrl+Shift+S"));
    item(QStringLiteral("Copy Picture"), KeyAction::CopyPicture, QStringLiteral("Ctrl+C"));
    menu->addSeparator();
    if (addTrackMenus)
        addTrackMenus(menu);
    QMenu* speeds = menu->addMenu(QStringLiteral("Speed"));
    for (const double speed : kSpeeds) {
        QAction* chosen = speeds->addAction(QStringLiteral("%1x").arg(speed), this,
                                            [this, speed] { emit speedChosen(speed); });
        chosen->setCheckable(true);
        chosen->setChecked(speed == controlState().speed);
    }
    speeds->addSeparator();
    speeds->addAction(QStringLiteral("Slower\t["), this, [this] { perform(KeyAction::Slower); });
    speeds->addAction(QStringLiteral("Faster\t]"), this, [this] { perform(KeyAction::Faster); });
    QAction* full = item(QStringLiteral("Full Screen"), KeyAction::FullScreen, QStringLiteral("F"));
    full->setCheckable(true);
    full->setChecked(inFullScreen);
    QAction* settings =
        item(QStringLiteral("Show the Settings"), KeyAction::ToggleControls, QStringLiteral("C"));
    settings->setCheckable(true);
    settings->setChecked(settingsShown(controlState()));
    settings->setEnabled(!inFullScreen);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Keys..."), this, [this] {
        QMessageBox::information(window, QStringLiteral("Tessaro keys"), keyHelp());
    });
    item(QStringLiteral("Close"), KeyAction::Close, QStringLiteral("Q"));
    menu->popup(at);
}

void WindowControl::toggleSettings() {
    if (inFullScreen)
        return;
    ControlState& state = controlState();
    const bool shown = !settingsShown(state);
    setSettingsShown(state, shown);
    emit settingsShownChanged(shown);
}

namespace {
QString videoFilter() {
    return QStringLiteral("Videos (%1);;All files (*)").arg(videoNameFilters());
}
} // namespace

QString chooseVideo(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open a video"), QString(),
                                        videoFilter());
}

void WindowControl::openChosen() {
    // One video replaces the one playing; several play one after the other.
    const QStringList chosen = QFileDialog::getOpenFileNames(
        window, QStringLiteral("Open videos"), QString(), videoFilter());
    if (chosen.size() == 1)
        emit openRequested(chosen.front());
    else if (!chosen.isEmpty())
        emit openListRequested(chosen);
}

void WindowControl::openFolder() {
    const QString folder =
        QFileDialog::getExistingDirectory(window, QStringLiteral("Play a folder's videos"));
    if (!folder.isEmpty())
        emit openListRequested({folder});
}

bool WindowControl::wheel(QObject* watched, QEvent* event) {
    ControlState& state = controlState();
    const bool overPicture = watched == picture;
    const bool overPosition = watched == state.timelineEvents || watched == state.positionSlider;
    if (!overPicture && !overPosition)
        return false;
    // Whole notches of 15 degrees (120 eighths); a touchpad's small ones add up.
    wheelEighths += static_cast<QWheelEvent*>(event)->angleDelta().y();
    const int notches = wheelEighths / 120;
    wheelEighths -= notches * 120;
    if (notches != 0) {
        if (overPicture)
            emit volumeStep(0.05 * notches);
        else
            seekTo(core.state.snapshot().position + 5.0 * notches);
    }
    return true;
}

void WindowControl::seekBy(int seconds) {
    seekTo(seconds == 0 ? 0 : static_cast<int>(core.state.snapshot().position) + seconds);
}

void WindowControl::seekTo(double seconds) {
    ControlState& state = controlState();
    QSlider* slider = state.positionSlider;
    const double target = std::clamp(seconds, 0.0, static_cast<double>(slider->maximum()));
    slider->setValue(static_cast<int>(target));
    core.submit(command::SeekTo{target});
}

void WindowControl::skipSegment(int direction) {
    core.submit(command::SkipSegments{direction});
}

PlayerMode WindowControl::playingMode() const {
    return core.state.snapshot().mode;
}

void WindowControl::step(int pictures) {
    // A frame step shows a picture of the pause; playing, it does nothing.
    if (!core.state.snapshot().paused)
        return;
    core.submit(command::StepPictures{pictures});
}

void WindowControl::setFullScreen(bool on) {
    if (on == inFullScreen)
        return;
    inFullScreen = on;
    ControlState& state = controlState();
    // The picture alone, black around it.
    state.positionPanel->setVisible(!on);
    state.controlsPanel->setVisible(!on);
    keepPictureWidth(state);
    window->layout()->setContentsMargins(on ? QMargins() : QMargins(11, 11, 11, 11));
    QPalette palette = window->palette();
    if (on) {
        palette.setColor(QPalette::Window, Qt::black);
        window->setPalette(palette);
        window->setAutoFillBackground(true);
        window->showFullScreen();
    } else {
        window->setPalette(QPalette());
        window->setAutoFillBackground(false);
        window->showNormal();
    }
}

void WindowControl::perform(KeyAction action) {
    switch (action) {
    case KeyAction::None:
        return;
    case KeyAction::TogglePause: {
        // At the end, Space plays the video (or its summary) again from the start.
        const PlayerState now = core.state.snapshot();
        if (now.ended && !now.paused)
            return seekBy(0);
        core.submit(command::TogglePause{});
        return;
    }
    case KeyAction::Summary:
        core.submit(command::ChooseMode{PlayerMode::Summary});
        return;
    case KeyAction::Play:
        core.submit(command::ChooseMode{PlayerMode::Play});
        return;
    case KeyAction::Back5:
        return seekBy(-5);
    case KeyAction::Forward5:
        return seekBy(5);
    case KeyAction::Forward60:
        return seekBy(60);
    case KeyAction::Back60:
        return seekBy(-60);
    case KeyAction::ToStart:
        return seekBy(0);
    case KeyAction::FullScreen:
        return setFullScreen(!inFullScreen);
    case KeyAction::LeaveFullScreen:
        return setFullScreen(false);
    case KeyAction::Close:
        window->close();
        return;
    case KeyAction::Open:
        return openChosen();
    case KeyAction::Mute:
        emit muteToggled();
        return;
    case KeyAction::Louder:
        emit volumeStep(0.1);
        return;
    case KeyAction::Quieter:
        emit volumeStep(-0.1);
        return;
    case KeyAction::Slower:
    case KeyAction::Faster:
    case KeyAction::NormalSpeed:
        emit speedChosen(
            action == KeyAction::NormalSpeed
                ? 1.0
                : steppedSpeed(controlState().speed, action == KeyAction::Faster ? 1 : -1));
        return;
    case KeyAction::NextPicture:
        return step(1);
    case KeyAction::PreviousPicture:
        return step(-1);
    case KeyAction::Screenshot:
        emit screenshotRequested();
        return;
    case KeyAction::CopyPicture:
        emit copyRequested();
        return;
    case KeyAction::SaveSummary:
        emit saveRequested();
        return;
    case KeyAction::ToggleControls:
        return toggleSettings();
    case KeyAction::NextVideo:
    case KeyAction::PreviousVideo:
        emit videoStepRequested(action == KeyAction::NextVideo ? 1 : -1);
        return;
    case KeyAction::OpenFolder:
        return openFolder();
    case KeyAction::ToggleSubtitles:
        emit subtitlesToggled();
        return;
    }
}

bool WindowControl::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        // Only keys meant for this window, not for a dialog it opened.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget->window() != window)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const KeyAction action = keyAction(key->key(), key->modifiers());
        if (action == KeyAction::None)
            return false;
        perform(action);
        return true;
    }
    case QEvent::Wheel:
        return wheel(watched, event);
    case QEvent::MouseButtonDblClick:
        if (watched == picture) {
            perform(KeyAction::FullScreen);
            return true;
        }
        return false;
    case QEvent::DragEnter:
        if (watched == window && static_cast<QDragEnterEvent*>(event)->mimeData()->hasUrls()) {
            static_cast<QDragEnterEvent*>(event)->acceptProposedAction();
            return true;
        }
        return false;
    case QEvent::Drop:
        if (watched == window) {
            const QList<QUrl> urls = static_cast<QDropEvent*>(event)->mimeData()->urls();
            QStringList files;
            for (const QUrl& url : urls)
                if (url.isLocalFile())
                    files << url.toLocalFile();
            // One file replaces the video playing; several play in turn.
            if (files.size() > 1) {
                static_cast<QDropEvent*>(event)->acceptProposedAction();
                emit openListRequested(files);
            } else if (!urls.isEmpty() && urls.front().isLocalFile()) {
                static_cast<QDropEvent*>(event)->acceptProposedAction();
                // A folder stands for its videos.
                const QString file = urls.front().toLocalFile();
                if (QFileInfo(file).isDir())
                    emit openListRequested({file});
                else
                    emit openRequested(file);
            }
            return true;
        }
        return false;
    default:
        return false;
    }
}

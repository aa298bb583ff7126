#include "WindowControl.h"

#include "ControlState.h"
#include "SliderLCD.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMimeData>
#include <QSlider>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <iterator>

KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::ControlModifier) {
        if (modifiers & Qt::ShiftModifier)
            return key == Qt::Key_S ? KeyAction::Screenshot : KeyAction::None;
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
                          "Ctrl+S  save the summary\n"
                          "Ctrl+O or drop a file  open another video\n"
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
    auto* menu = new QMenu(picture);
    menu->addAction(QStringLiteral("Save summary..."), this, [this] { emit saveRequested(); });
    picture->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(picture, &QWidget::customContextMenuRequested, menu,
            [menu, this](const QPoint& at) { menu->popup(picture->mapToGlobal(at)); });
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
    state.controlsPanel->setVisible(!on);
    state.pictureGap->changeSize(on ? 0 : state.pictureGapWidth, 0, QSizePolicy::Fixed,
                                 QSizePolicy::Minimum);
    window->layout()->invalidate();
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
    case KeyAction::TogglePause:
        core.submit(command::TogglePause{});
        return;
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
    case KeyAction::Open: {
        const QString path = QFileDialog::getOpenFileName(
            window, QStringLiteral("Open a video"), QString(),
            QStringLiteral("Videos (*.mp4 *.mkv *.webm *.avi *.mov *.m4v *.mpg *.mpeg *.ts "
                           "*.wmv *.flv *.ogv *.3gp);;All files (*)"));
        if (!path.isEmpty())
            emit openRequested(path);
        return;
    }
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
            if (!urls.isEmpty() && urls.front().isLocalFile()) {
                static_cast<QDropEvent*>(event)->acceptProposedAction();
                emit openRequested(urls.front().toLocalFile());
            }
            return true;
        }
        return false;
    default:
        return false;
    }
}

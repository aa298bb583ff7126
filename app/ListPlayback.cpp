#include "ListPlayback.h"

#include "ControlState.h"
#include "DisplayWindow.h"
#include "MainWindow.h"
#include "OpeningFailure.h"
#include "Player.h"
#include "StateOnScreen.h"
#include "WindowControl.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QSlider>
#include <QTimer>
#include <QWidget>

#include <cmath>

namespace {
constexpr int kCannotOpenMs = 5000;
// How far the media controls' Next and Previous seek in Play, with one video.
constexpr int kSkipSeconds = 60;
const QString kNotAVideo = QStringLiteral("not a video this player can read");
} // namespace

std::optional<QString> probeOrSayWhy(const std::string& path, double* seconds,
                                     const QString& fallback) {
    if (probeVideo(path.c_str(), seconds))
        return std::nullopt;
    QString reason = openingFailureReason(QFile::decodeName(path.c_str()));
    if (reason.isEmpty())
        reason = fallback;
    reportOpeningFailure(path.c_str(), reason);
    return reason;
}

QString cannotOpenNotice(const std::string& path, const QString& reason) {
    return QStringLiteral("Cannot open %1: %2")
        .arg(QFileInfo(QFile::decodeName(path.c_str())).fileName(), reason);
}

ListPlayback::ListPlayback(PlayList given, PlayerCore& playerCore, QWidget* shownIn,
                           DisplayWindow* picture, NoticeTurns& turns)
    : list(std::move(given)), core(playerCore), window(shownIn), display(picture), notices(turns) {}

bool ListPlayback::opens(const std::string& path, double* seconds) {
    const std::optional<QString> reason = probeOrSayWhy(path, seconds, kNotAVideo);
    if (!reason)
        return true;
    notices.show(cannotOpenNotice(path, *reason), kCannotOpenMs);
    return false;
}

void ListPlayback::openOne(const QString& chosen) {
    const std::string path = chosen.toStdString();
    double seconds = 0.0;
    const std::optional<QString> reason = probeOrSayWhy(path, &seconds, kNotAVideo);
    if (reason) {
        // Why, on the picture and on the console; the video playing plays on.
        display->showNotice(cannotOpenNotice(path, *reason), kCannotOpenMs);
        return;
    }
    list = PlayList({path});
    endFollowed = false;
    switchTo(path, seconds, PlayerMode::Play, false);
}

void ListPlayback::openSeveral(const QStringList& chosen) {
    std::vector<std::string> paths;
    for (const QString& path : chosen) {
        if (QFileInfo(path).isDir()) {
            const std::vector<std::string> videos = videosInFolder(path);
            if (videos.empty())
                notices.show(QStringLiteral("No videos in %1").arg(path), kCannotOpenMs);
            paths.insert(paths.end(), videos.begin(), videos.end());
        } else {
            paths.push_back(path.toStdString());
        }
    }
    PlayList chosenList(std::move(paths));
    double seconds = 0.0;
    if (!chosenList.openFrom(0, 1, [&](const std::string& path) { return opens(path, &seconds); }))
        return;
    list = std::move(chosenList);
    endFollowed = false;
    switchTo(list.current(), seconds, PlayerMode::Play, false);
}

void ListPlayback::step(int direction, bool finished) {
    const PlayerMode mode = core.state.snapshot().mode;
    double seconds = 0.0;
    if (!list.openFrom(list.index() + direction, direction,
                       [&](const std::string& path) { return opens(path, &seconds); }))
        return;
    endFollowed = false;
    switchTo(list.current(), seconds, mode, finished);
}

void ListPlayback::follow(const PlayerState& now) {
    if (!now.ended || now.paused || endFollowed || !list.has(1))
        return;
    endFollowed = true;
    // Out of the state's notice, which the threads being replaced sent.
    QTimer::singleShot(0, window, [this] {
        if (core.state.snapshot().ended)
            step(1, true);
    });
}

MediaSkip ListPlayback::mediaSkipNow(int direction) const {
    const PlayerState now = core.state.snapshot();
    SkipPlace place;
    place.list = list.size() > 1;
    place.videoThere = list.has(direction);
    place.summary = now.mode == PlayerMode::Summary;
    place.position = now.position;
    place.firstSegment = now.firstSegmentStart;
    place.lastSegment = now.lastSegmentStart;
    return mediaSkip(direction, place);
}

void ListPlayback::skipAsMediaControls(int direction, WindowControl& control) {
    switch (mediaSkipNow(direction)) {
    case MediaSkip::Nothing:
        return;
    case MediaSkip::Seek:
        return control.seekTo(core.state.snapshot().position + direction * kSkipSeconds);
    case MediaSkip::Segment:
        return control.skipSegment(direction);
    case MediaSkip::Video:
        return step(direction);
    }
}

MprisActions mediaControls(WindowControl& control, ListPlayback& list, ControlState& state,
                           QWidget& window) {
    MprisActions actions;
    actions.togglePause = [&control] { control.perform(KeyAction::TogglePause); };
    actions.seekTo = [&control](double seconds) { control.seekTo(seconds); };
    actions.skip = [&control, &list](int direction) {
        list.skipAsMediaControls(direction, control);
    };
    actions.canSkip = [&list](int direction) {
        return list.mediaSkipNow(direction) != MediaSkip::Nothing;
    };
    actions.setSpeed = setPlaySpeed;
    actions.speed = [&state] { return state.speed; };
    actions.setVolume = [&state](double volume) {
        state.muteBox->setChecked(false);
        state.volumeSlider->setValue(static_cast<int>(std::lround(volume * 100)));
    };
    actions.raise = [&window] {
        window.raise();
        window.activateWindow();
    };
    actions.quit = [&window] { window.close(); };
    actions.open = [&control](const QString& path) { emit control.openRequested(path); };
    return actions;
}

#include "TrackChoice.h"

#include "WindowControl.h"

#include <QFileInfo>
#include <QMenu>
#include <QMetaObject>

#include <cstdio>
#include <utility>

namespace {
constexpr int kNoticeMs = 3000;
const QString kNone = QStringLiteral("none");
const QString kStream = QStringLiteral("stream ");
const QString kFile = QStringLiteral("file ");
} // namespace

QString subtitleName(const MediaTrack* track) {
    if (track == nullptr)
        return kNone;
    if (track->besideVideo)
        return kFile + QFileInfo(QString::fromStdString(track->path)).fileName();
    return kStream + QString::number(track->stream);
}

std::optional<int> subtitleNamed(const std::vector<MediaTrack>& tracks, const QString& name) {
    if (name == kNone)
        return -1;
    for (size_t k = 0; k < tracks.size(); ++k)
        if (subtitleName(&tracks[k]) == name)
            return static_cast<int>(k);
    return std::nullopt;
}

TrackChoice::TrackChoice(PlayerCore& playerCore, Notice told, QObject* parent)
    : QObject(parent), core(playerCore), notice(std::move(told)) {
    // A sound track the loop could not play: the picture says so, once.
    core.state.setListener(this, [this] {
        const uint32_t count = core.state.read([](const PlayerState& s) { return s.trackNotices; });
        if (toldTrackNotices.exchange(count) == count)
            return;
        const QString text = QString::fromStdString(
            core.state.read([](const PlayerState& s) { return s.trackNotice; }));
        QMetaObject::invokeMethod(
            this, [this, text] { notice(text); }, Qt::QueuedConnection);
    });
}

TrackChoice::~TrackChoice() {
    core.state.setListener(this, {});
}

std::function<void(const std::string&)> TrackChoice::noticeFromWorker() {
    return [self = this](const std::string& why) {
        QMetaObject::invokeMethod(
            self,
            [self, why] {
                std::printf("\n%s", why.c_str());
                std::fflush(stdout);
                self->notice(QString::fromStdString(why));
            },
            Qt::QueuedConnection);
    };
}

void TrackChoice::open(const std::string& path, const TrackMemory& remembered) {
    VideoTracks found = tracksOf(path);
    audio = std::move(found.audio);
    subtitles = std::move(found.subtitles);
    int played = playedAudioTrack(audio);
    for (size_t k = 0; k < audio.size(); ++k)
        if (remembered.audioStream == audio[k].stream)
            played = static_cast<int>(k);
    // The first audio stream is what the player plays without a choice.
    startAudio = played > 0 ? audio[played].stream : -1;
    std::optional<int> shown;
    if (remembered.subtitles)
        shown = subtitleNamed(subtitles, *remembered.subtitles);
    const int track = shown.value_or(shownSubtitleTrack(subtitles));
    lastSubtitles = track >= 0 ? track : shownSubtitleTrack(subtitles);
    core.state.update([track](PlayerState& s) {
        const bool shownChanged = changeTo(s.subtitlesShown, track >= 0);
        return changeTo(s.subtitleTrack, track) || shownChanged;
    });
}

std::optional<MediaTrack> TrackChoice::shownSubtitles() const {
    const auto [track, shown] = core.state.read([](const PlayerState& s) {
        return std::pair{s.subtitleTrack, s.subtitlesShown};
    });
    if (!shown || track < 0 || track >= static_cast<int>(subtitles.size()))
        return std::nullopt;
    return subtitles[track];
}

TrackMemory TrackChoice::chosen() const {
    TrackMemory memory;
    const int stream = core.state.read([](const PlayerState& s) { return s.audioStream; });
    if (stream >= 0)
        memory.audioStream = stream;
    const std::optional<MediaTrack> shown = shownSubtitles();
    memory.subtitles = subtitleName(shown ? &*shown : nullptr);
    return memory;
}

void TrackChoice::showSubtitles(int track, bool shown) {
    const int before = core.state.read([](const PlayerState& s) { return s.subtitleTrack; });
    core.state.update([track, shown](PlayerState& s) {
        const bool shownChanged = changeTo(s.subtitlesShown, shown);
        return changeTo(s.subtitleTrack, track) || shownChanged;
    });
    if (track >= 0)
        lastSubtitles = track;
    // Hidden, the lines stay read; another track is read from its start.
    if (track != before && onSubtitlesChosen)
        onSubtitlesChosen(shownSubtitles());
    core.screenWakeup.notify();
}

void TrackChoice::chooseSubtitles(int track) {
    showSubtitles(track, track >= 0);
    notice(
        track >= 0
            ? QStringLiteral("Subtitles: %1").arg(QString::fromStdString(subtitles[track].label()))
            : QStringLiteral("Subtitles off"));
}

void TrackChoice::toggleSubtitles() {
    if (subtitles.empty()) {
        notice(QStringLiteral("No subtitles"));
        return;
    }
    const bool shown = core.state.read([](const PlayerState& s) { return s.subtitlesShown; });
    const int track = lastSubtitles >= 0 ? lastSubtitles : 0;
    showSubtitles(track, !shown);
    notice(shown ? QStringLiteral("Subtitles off") : QStringLiteral("Subtitles on"));
}

void TrackChoice::attach(WindowControl& control) {
    control.addTrackMenus = [this](QMenu* menu) { addMenus(menu); };
    connect(&control, &WindowControl::subtitlesToggled, this, [this] { toggleSubtitles(); });
}

void TrackChoice::addMenus(QMenu* menu) {
    const PlayerState now = core.state.snapshot();
    QMenu* sound = menu->addMenu(QStringLiteral("Audio"));
    for (const MediaTrack& track : audio) {
        QAction* item = sound->addAction(
            QString::fromStdString(track.label()), this,
            [this, stream = track.stream] { core.submit(command::ChooseAudioTrack{stream}); });
        item->setCheckable(true);
        item->setChecked(track.stream == now.audioStream);
    }
    sound->setEnabled(!audio.empty());
    QMenu* lines = menu->addMenu(QStringLiteral("Subtitles"));
    QAction* toggle =
        lines->addAction(QStringLiteral("Show the Subtitles"), this, [this] { toggleSubtitles(); });
    toggle->setShortcut(QKeySequence(QStringLiteral("V")));
    toggle->setShortcutVisibleInContextMenu(true);
    toggle->setCheckable(true);
    toggle->setChecked(now.subtitlesShown);
    lines->addSeparator();
    QAction* none = lines->addAction(QStringLiteral("None"), this, [this] { chooseSubtitles(-1); });
    none->setCheckable(true);
    none->setChecked(!now.subtitlesShown);
    for (size_t k = 0; k < subtitles.size(); ++k) {
        QAction* item = lines->addAction(QString::fromStdString(subtitles[k].label()), this,
                                         [this, k] { chooseSubtitles(static_cast<int>(k)); });
        item->setCheckable(true);
        item->setChecked(now.subtitlesShown && now.subtitleTrack == static_cast<int>(k));
    }
}

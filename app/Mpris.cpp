#include "Mpris.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QFileInfo>
#include <QMetaObject>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <unistd.h>
#include <utility>

namespace {
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
// A position further than this from where playing on would have taken it
// was a jump (a key, a click on the slider).
constexpr double kJumpSeconds = 1.0;
} // namespace

MprisService::MprisService(PlayerStateBoard& board, MprisActions chosen, QObject* parent)
    : QObject(parent), state(board), actions(std::move(chosen)) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
}

MprisService::~MprisService() {
    state.setListener(this, {});
    if (!name.isEmpty()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(kObjectPath);
        bus.unregisterService(name);
    }
}

bool MprisService::start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        why = QStringLiteral("No session bus: media keys and desktop controls do not reach the "
                             "player");
        return false;
    }
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) {
        why = QStringLiteral("The session bus refused the player's media controls");
        return false;
    }
    name = QStringLiteral("org.mpris.MediaPlayer2.tessaro");
    if (!bus.registerService(name)) {
        name += QStringLiteral(".instance%1").arg(getpid());
        if (!bus.registerService(name)) {
            bus.unregisterObject(kObjectPath);
            name.clear();
            why = QStringLiteral("The session bus refused the player's media controls");
            return false;
        }
    }
    lastProperties = playerProperties();
    // A change the desktop hears of (the status, the volume, the rate, a
    // jump of the position) is looked at on the GUI thread; changes that
    // come while a look is on its way are seen by it. The position as it
    // plays on is read when asked for: not a look a picture.
    listening = true;
    state.setListener(this, [this] {
        const auto [heard, position] = state.read([](const PlayerState& now) {
            return std::pair{HeardState{now.paused, now.ended, now.mode, now.volumePercent,
                                        now.muted, now.speed},
                             now.position};
        });
        const bool jumped = std::abs(position - heardPosition) > kJumpSeconds;
        heardPosition = position;
        if (heard == heardState && !jumped)
            return;
        heardState = heard;
        if (!lookPosted.exchange(true))
            QMetaObject::invokeMethod(this, "lookForChanges", Qt::QueuedConnection);
    });
    return true;
}

void MprisService::setTrack(const QString& path, double seconds) {
    title = QFileInfo(path).fileName();
    length = seconds;
    ++track;
    stopped = false;
    if (listening)
        lookForChanges();
}

QString MprisService::playbackStatus() const {
    const auto [paused, ended] =
        state.read([](const PlayerState& now) { return std::pair(now.paused, now.ended); });
    if (stopped)
        return QStringLiteral("Stopped");
    if (paused)
        return QStringLiteral("Paused");
    return ended ? QStringLiteral("Stopped") : QStringLiteral("Playing");
}

QDBusObjectPath MprisService::trackId() const {
    return QDBusObjectPath(QStringLiteral("/org/tessaro/track/%1").arg(track));
}

QVariantMap MprisService::metadata() const {
    return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId())},
            {QStringLiteral("mpris:length"), qlonglong(std::llround(length * 1e6))},
            {QStringLiteral("xesam:title"), title}};
}

qlonglong MprisService::positionMicroseconds() const {
    return std::llround(state.read([](const PlayerState& now) { return now.position; }) * 1e6);
}

double MprisService::volume() const {
    return state.read(
        [](const PlayerState& now) { return now.muted ? 0.0 : now.volumePercent / 100.0; });
}

double MprisService::rate() const {
    return actions.speed ? actions.speed() : 1.0;
}

QVariantMap MprisService::playerProperties() const {
    return {{QStringLiteral("PlaybackStatus"), playbackStatus()},
            {QStringLiteral("Rate"), rate()},
            {QStringLiteral("Volume"), volume()},
            {QStringLiteral("Metadata"), metadata()},
            {QStringLiteral("CanGoNext"), canSkip(1)},
            {QStringLiteral("CanGoPrevious"), canSkip(-1)}};
}

void MprisService::lookForChanges() {
    lookPosted = false;
    if (stopped && !paused())
        stopped = false;
    const QVariantMap now = playerProperties();
    QVariantMap changed;
    for (auto item = now.begin(); item != now.end(); ++item)
        if (lastProperties.value(item.key()) != item.value())
            changed.insert(item.key(), item.value());
    if (!changed.isEmpty()) {
        QDBusMessage signal = QDBusMessage::createSignal(
            kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("PropertiesChanged"));
        signal << kPlayerInterface << changed << QStringList();
        QDBusConnection::sessionBus().send(signal);
    }
    const double position = state.read([](const PlayerState& now) { return now.position; });
    const qint64 when = QDateTime::currentMSecsSinceEpoch();
    const double elapsed = paused() || lastLook == 0 ? 0.0 : (when - lastLook) / 1000.0;
    if (std::abs(position - (lastPosition + elapsed * rate())) > kJumpSeconds)
        emit seeked(positionMicroseconds());
    lastPosition = position;
    lastLook = when;
    lastProperties = now;
}

MprisRootAdaptor::MprisRootAdaptor(MprisService* owner)
    : QDBusAbstractAdaptor(owner), service(owner) {}

QStringList MprisRootAdaptor::mimeTypes() const {
    return {QStringLiteral("video/mp4"),       QStringLiteral("video/x-matroska"),
            QStringLiteral("video/webm"),      QStringLiteral("video/x-msvideo"),
            QStringLiteral("video/quicktime"), QStringLiteral("video/mpeg"),
            QStringLiteral("video/mp2t"),      QStringLiteral("video/ogg")};
}

void MprisRootAdaptor::Raise() {
    service->actions.raise();
}

void MprisRootAdaptor::Quit() {
    service->actions.quit();
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* owner)
    : QDBusAbstractAdaptor(owner), service(owner) {
    connect(owner, &MprisService::seeked, this, &MprisPlayerAdaptor::Seeked);
}

void MprisPlayerAdaptor::setRate(double rate) {
    // MPRIS allows a rate of 0 as a pause; one outside the range is refused.
    if (rate == 0.0)
        return Pause();
    if (rate >= minimumRate() && rate <= maximumRate())
        service->actions.setSpeed(rate);
}

void MprisPlayerAdaptor::setVolume(double volume) {
    service->actions.setVolume(std::clamp(volume, 0.0, 1.0));
}

void MprisPlayerAdaptor::Next() {
    service->actions.skip(1);
}

void MprisPlayerAdaptor::Previous() {
    service->actions.skip(-1);
}

void MprisPlayerAdaptor::Pause() {
    if (!service->paused())
        service->actions.togglePause();
}

void MprisPlayerAdaptor::PlayPause() {
    if (service->stopped)
        return Play();
    service->actions.togglePause();
}

void MprisPlayerAdaptor::Stop() {
    Pause();
    service->actions.seekTo(0.0);
    service->stopped = true;
}

void MprisPlayerAdaptor::Play() {
    service->stopped = false;
    if (service->paused())
        service->actions.togglePause();
}

void MprisPlayerAdaptor::Seek(qlonglong offset) {
    service->actions.seekTo(
        service->state.read([](const PlayerState& now) { return now.position; }) + offset / 1e6);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& track, qlonglong position) {
    // A position for another track, or outside this one, is ignored.
    if (track != service->trackId() || position < 0)
        return;
    service->actions.seekTo(position / 1e6);
}

void MprisPlayerAdaptor::OpenUri(const QString& uri) {
    const QUrl url(uri);
    if (url.isLocalFile())
        service->actions.open(url.toLocalFile());
}

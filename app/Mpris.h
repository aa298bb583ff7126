#pragma once

// The player on the session bus as an MPRIS 2 media player, so that the
// desktop's media keys and controls reach it: the root interface and the
// Player interface on /org/mpris/MediaPlayer2, under
// org.mpris.MediaPlayer2.tessaro (a second player at once takes
// org.mpris.MediaPlayer2.tessaro.instance<pid>). Lives on the GUI thread;
// it reads the player's published state, hears each change of it (queued
// onto the GUI thread) and acts through the window's own paths.

#include "PlayerState.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <tuple>

// What the bus may ask of the player, each done as the window does it.
struct MprisActions {
    std::function<void()> togglePause;
    std::function<void(double)> seekTo;    // seconds in the video
    std::function<void(int)> skip;         // +1 next, -1 previous
    std::function<void(double)> setSpeed;  // 0.5 to 2
    std::function<void(double)> setVolume; // 0 to 1
    std::function<double()> speed;
    std::function<void()> raise;
    std::function<void()> quit;
    std::function<void(const QString&)> open; // a local file
    std::function<bool(int)> canSkip;         // whether skip(+1 or -1) does anything
};

class MprisService : public QObject {
    Q_OBJECT

public:
    MprisService(PlayerStateBoard& state, MprisActions actions, QObject* parent = nullptr);
    ~MprisService() override;

    // Takes a name on the session bus; false (with why in notice) without one.
    bool start();
    QString serviceName() const { return name; }
    QString notice() const { return why; }

    // The video playing: its path and length.
    void setTrack(const QString& path, double seconds);

    // The Player interface's state, for its adaptor.
    QString playbackStatus() const;
    QVariantMap metadata() const;
    qlonglong positionMicroseconds() const;
    double volume() const;
    double rate() const;
    QDBusObjectPath trackId() const;
    bool canSkip(int direction) const { return !actions.canSkip || actions.canSkip(direction); }

    PlayerStateBoard& state;
    bool paused() const {
        return state.read([](const PlayerState& now) { return now.paused; });
    }
    const MprisActions actions;
    bool stopped = false;

signals:
    void seeked(qlonglong position);

private:
    // Sends PropertiesChanged for what changed since the last look, and
    // Seeked when the position jumped.
    Q_INVOKABLE void lookForChanges();
    QVariantMap playerProperties() const;

    QString name;
    QString why;
    QString title;
    double length = 0.0;
    int track = 0;
    QVariantMap lastProperties;
    double lastPosition = 0.0;
    qint64 lastLook = 0;
    // Whether the board is listened to (once started), and whether a look
    // at the state is already on its way to the GUI thread.
    bool listening = false;
    std::atomic<bool> lookPosted{false};
    // What the listener last heard; only the listener touches them, and the
    // board calls its listeners one at a time.
    using HeardState = std::tuple<bool, bool, PlayerMode, int32_t, bool, double>;
    HeardState heardState{};
    double heardPosition = 0.0;
};

class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ uriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)

public:
    explicit MprisRootAdaptor(MprisService* service);
    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Tessaro"); }
    QString desktopEntry() const { return QStringLiteral("tessaro"); }
    QStringList uriSchemes() const { return {QStringLiteral("file")}; }
    QStringList mimeTypes() const;

public slots:
    void Raise();
    void Quit();

private:
    MprisService* const service;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ minimumRate)
    Q_PROPERTY(double MaximumRate READ maximumRate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canControl)
    Q_PROPERTY(bool CanPause READ canControl)
    Q_PROPERTY(bool CanSeek READ canControl)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    explicit MprisPlayerAdaptor(MprisService* service);
    QString playbackStatus() const { return service->playbackStatus(); }
    double rate() const { return service->rate(); }
    void setRate(double rate);
    QVariantMap metadata() const { return service->metadata(); }
    double volume() const { return service->volume(); }
    void setVolume(double volume);
    qlonglong position() const { return service->positionMicroseconds(); }
    double minimumRate() const { return 0.5; }
    double maximumRate() const { return 2.0; }
    bool canControl() const { return true; }
    bool canGoNext() const { return service->canSkip(1); }
    bool canGoPrevious() const { return service->canSkip(-1); }

public slots:
    void Next();
    void Previous();
    void Pause();
    void PlayPause();
    void Stop();
    void Play();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& track, qlonglong position);
    void OpenUri(const QString& uri);

signals:
    void Seeked(qlonglong position);

private:
    MprisService* const service;
};

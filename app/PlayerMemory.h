#pragma once

// What the player remembers between runs: where each video was left and in
// which mode, with the tracks chosen for it, the sound's volume and mute, the videos opened last and
// whether the panels of settings are shown. Videos are known by their
// content (the descriptor store's key), so a moved or renamed file resumes
// and another file written over an old one's name does not. Kept with
// QSettings in the user's configuration folder; a file that cannot be read
// or written is left alone, with one notice.

#include "PlayerCommands.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

class QSettings;

struct ResumePoint {
    double seconds = 0.0;
    PlayerMode mode = PlayerMode::Play;
};

// The tracks chosen for a video: the audio stream, and the subtitles (as
// TrackChoice names them); unset when nothing was chosen.
struct TrackMemory {
    std::optional<int> audioStream;
    std::optional<QString> subtitles;
    bool operator==(const TrackMemory&) const = default;
};

// Where a video left at `left` seconds of `duration` starts again: there,
// unless that is within 5 s of its start or its end.
std::optional<double> resumeAt(double left, double duration);

class PlayerMemory {
public:
    // The user's file; a test gives its own.
    PlayerMemory();
    explicit PlayerMemory(const QString& file);
    ~PlayerMemory();
    PlayerMemory(const PlayerMemory&) = delete;
    PlayerMemory& operator=(const PlayerMemory&) = delete;

    // The key a video is remembered under; empty when it cannot be read.
    static std::string keyOf(const std::string& path);

    // Where the video of this key and length starts, if anywhere but its start.
    std::optional<ResumePoint> resumeFor(const std::string& key, double duration) const;
    void remember(const std::string& key, const ResumePoint& point);
    // The tracks chosen for the video of this key, kept beside its resume point.
    TrackMemory tracksFor(const std::string& key) const;
    void rememberTracks(const std::string& key, const TrackMemory& tracks);

    // Volume in percent and mute; the defaults when nothing was kept.
    int volumePercent() const;
    bool muted() const;
    void rememberSound(int volumePercent, bool muted);

    // The videos opened last, newest first, at most ten; a path opened
    // again moves to the front.
    QStringList recentVideos() const;
    void rememberOpened(const QString& path);

    // Whether the window shows its panels of settings (shown at first).
    bool settingsShown() const;
    void rememberSettingsShown(bool shown);

    // Why the file is left alone, once; then empty.
    QString takeNotice();

private:
    void write();

    std::unique_ptr<QSettings> settings;
    bool usable = true;
    bool noticeGiven = false;
    QString notice;
};

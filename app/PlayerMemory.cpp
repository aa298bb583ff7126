#include "PlayerMemory.h"

#include "VideoKey.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kNearEdge = 5.0;
// The videos remembered; the oldest go first.
constexpr int kMostVideos = 500;
// The videos the menu offers to open again.
constexpr int kMostRecent = 10;

QString videoGroup(const std::string& key) {
    return QStringLiteral("videos/") + QString::fromStdString(key);
}
} // namespace

std::optional<double> resumeAt(double left, double duration) {
    if (!std::isfinite(left) || !std::isfinite(duration) || left < kNearEdge ||
        left > duration - kNearEdge)
        return std::nullopt;
    return left;
}

PlayerMemory::PlayerMemory()
    : PlayerMemory(QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("tessaro"),
                             QStringLiteral("player"))
                       .fileName()) {}

PlayerMemory::PlayerMemory(const QString& file)
    : settings(std::make_unique<QSettings>(file, QSettings::IniFormat)) {
    // Every key is parsed once here (a lookup parses only what it needs),
    // so that damage anywhere is found; a damaged file is left alone.
    settings->allKeys();
    usable = settings->status() == QSettings::NoError;
    if (!usable)
        notice = QStringLiteral("Cannot read %1: nothing is remembered").arg(file);
}

PlayerMemory::~PlayerMemory() = default;

std::string PlayerMemory::keyOf(const std::string& path) {
    return videoKey(path, ReaderOptions{}).content;
}

std::optional<ResumePoint> PlayerMemory::resumeFor(const std::string& key, double duration) const {
    if (!usable || key.empty())
        return std::nullopt;
    const QString group = videoGroup(key);
    bool valid = false;
    const double seconds = settings->value(group + QStringLiteral("/position")).toDouble(&valid);
    const QString mode = settings->value(group + QStringLiteral("/mode")).toString();
    if (!valid)
        return std::nullopt;
    const std::optional<double> at = resumeAt(seconds, duration);
    if (!at)
        return std::nullopt;
    return ResumePoint{*at,
                       mode == QStringLiteral("summary") ? PlayerMode::Summary : PlayerMode::Play};
}

void PlayerMemory::remember(const std::string& key, const ResumePoint& point) {
    if (!usable || key.empty() || !std::isfinite(point.seconds))
        return;
    const QString group = videoGroup(key);
    settings->setValue(group + QStringLiteral("/position"), point.seconds);
    settings->setValue(group + QStringLiteral("/mode"), point.mode == PlayerMode::Summary
                                                            ? QStringLiteral("summary")
                                                            : QStringLiteral("play"));
    settings->setValue(group + QStringLiteral("/when"), QDateTime::currentSecsSinceEpoch());
    // The file stays small: the videos left longest ago are forgotten.
    settings->beginGroup(QStringLiteral("videos"));
    QStringList videos = settings->childGroups();
    if (videos.size() > kMostVideos) {
        std::sort(videos.begin(), videos.end(), [this](const QString& a, const QString& b) {
            return settings->value(a + QStringLiteral("/when")).toLongLong() <
                   settings->value(b + QStringLiteral("/when")).toLongLong();
        });
        for (int i = 0; i < videos.size() - kMostVideos; ++i)
            settings->remove(videos[i]);
    }
    settings->endGroup();
    write();
}

TrackMemory PlayerMemory::tracksFor(const std::string& key) const {
    TrackMemory tracks;
    if (!usable || key.empty())
        return tracks;
    const QString group = videoGroup(key);
    bool valid = false;
    const int audio = settings->value(group + QStringLiteral("/audioStream")).toInt(&valid);
    if (valid && audio >= 0)
        tracks.audioStream = audio;
    const QVariant subtitles = settings->value(group + QStringLiteral("/subtitles"));
    if (subtitles.isValid())
        tracks.subtitles = subtitles.toString();
    return tracks;
}

void PlayerMemory::rememberTracks(const std::string& key, const TrackMemory& tracks) {
    if (!usable || key.empty())
        return;
    const QString group = videoGroup(key);
    const auto keep = [this, &group](const char* name, const std::optional<QVariant>& value) {
        if (value)
            settings->setValue(group + QLatin1String(name), *value);
        else
            settings->remove(group + QLatin1String(name));
    };
    keep("/audioStream", tracks.audioStream ? std::optional<QVariant>(*tracks.audioStream)
                                            : std::nullopt);
    keep("/subtitles",
         tracks.subtitles ? std::optional<QVariant>(*tracks.subtitles) : std::nullopt);
    write();
}

int PlayerMemory::volumePercent() const {
    bool valid = false;
    const int volume = settings->value(QStringLiteral("sound/volume")).toInt(&valid);
    return usable && valid ? std::clamp(volume, 0, 100) : 100;
}

bool PlayerMemory::muted() const {
    return usable && settings->value(QStringLiteral("sound/muted")).toBool();
}

void PlayerMemory::rememberSound(int volume, bool mute) {
    if (!usable)
        return;
    settings->setValue(QStringLiteral("sound/volume"), volume);
    settings->setValue(QStringLiteral("sound/muted"), mute);
    write();
}

QStringList PlayerMemory::recentVideos() const {
    return usable ? settings->value(QStringLiteral("recent/videos")).toStringList()
                  : QStringList();
}

void PlayerMemory::rememberOpened(const QString& path) {
    if (!usable)
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList recent = recentVideos();
    recent.removeAll(absolute);
    recent.prepend(absolute);
    while (recent.size() > kMostRecent)
        recent.removeLast();
    settings->setValue(QStringLiteral("recent/videos"), recent);
    write();
}

bool PlayerMemory::settingsShown() const {
    return !usable || settings->value(QStringLiteral("window/settingsShown"), true).toBool();
}

void PlayerMemory::rememberSettingsShown(bool shown) {
    if (!usable)
        return;
    settings->setValue(QStringLiteral("window/settingsShown"), shown);
    write();
}

void PlayerMemory::write() {
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        usable = false;
        notice = QStringLiteral("Cannot write %1: nothing is remembered").arg(settings->fileName());
    }
}

QString PlayerMemory::takeNotice() {
    if (noticeGiven || notice.isEmpty())
        return {};
    noticeGiven = true;
    return notice;
}

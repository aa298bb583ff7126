#pragma once

// The tracks of the video playing and those chosen: the sound's stream,
// which the decoding loop plays (and the state says which), and the
// subtitles, which the session's feed reads and the screen draws while
// the state says they show. A video opens with its remembered choice when
// it still has that track, else with the track its file marks (a subtitle
// file beside it first). The context menu's Audio and Subtitles, and V.
// GUI thread.

#include "MediaTracks.h"
#include "PlayerCore.h"
#include "PlayerMemory.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QMenu;
class WindowControl;

// How a subtitle choice is remembered: "none", "stream N" for the video's
// stream N, "file NAME" for the file of that name beside it.
QString subtitleName(const MediaTrack* track);
// The place in `tracks` of the one so named; -1 for none, and nullopt when
// the name is of a track that is not there (or is not a name).
std::optional<int> subtitleNamed(const std::vector<MediaTrack>& tracks, const QString& name);

class TrackChoice : public QObject {
public:
    using Notice = std::function<void(const QString&)>;

    TrackChoice(PlayerCore& core, Notice notice, QObject* parent);
    ~TrackChoice() override;

    // A video opens: its tracks, and what was chosen for it before.
    void open(const std::string& path, const TrackMemory& remembered);
    // The stream the sound starts with; -1: the first audio stream.
    int startingAudioStream() const { return startAudio; }
    // The subtitle track to read, when one shows.
    std::optional<MediaTrack> shownSubtitles() const;
    // What to remember of the video playing.
    TrackMemory chosen() const;

    // For a worker's notices (the subtitle reader's): on the console and
    // on the picture, from any thread.
    std::function<void(const std::string&)> noticeFromWorker();
    // Called with the subtitle track to read from now on (none: nothing).
    std::function<void(const std::optional<MediaTrack>&)> onSubtitlesChosen;

    // The window's V and its context menu act on these tracks.
    void attach(WindowControl& control);
    // V: the subtitles shown or hidden; the picture says which.
    void toggleSubtitles();
    // The context menu's Audio and Subtitles, checked as the state says.
    void addMenus(QMenu* menu);

private:
    void chooseSubtitles(int track);
    void showSubtitles(int track, bool shown);

    PlayerCore& core;
    const Notice notice;
    std::vector<MediaTrack> audio;
    std::vector<MediaTrack> subtitles;
    int startAudio = -1;
    // The subtitle track V shows again.
    int lastSubtitles = -1;
    // The state's listener is called on whichever thread changed it.
    std::atomic<uint32_t> toldTrackNotices{0};
};

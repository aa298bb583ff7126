#pragma once

// The videos the player goes through one after the other: those given on
// the command line, dropped together, chosen together in the file dialog,
// or a folder's. Which one plays, the next and the previous, and passing
// over those that cannot be opened. Knows nothing of windows.

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The file names the file dialog offers as videos, and a folder's videos are
// chosen by: "*.mp4 *.mkv ...".
QString videoNameFilters();

// The videos in `folder`, not in the folders within it, in the order a
// person reads their names ("clip 2" before "clip 10").
std::vector<std::string> videosInFolder(const QString& folder);

class PlayList {
public:
    PlayList() = default;
    explicit PlayList(std::vector<std::string> paths) : paths(std::move(paths)) {}

    int size() const { return static_cast<int>(paths.size()); }
    int index() const { return at; }
    const std::string& current() const { return paths.at(at); }
    // A video on from the one playing (+1) or back (-1).
    bool has(int direction) const { return at + direction >= 0 && at + direction < size(); }
    // "3/12" for the window's title; empty for a list of one.
    std::string place() const;

    // From `from` on, each video in `direction` (+1 or -1) to `opens` until
    // it takes one, which becomes the current one; `opens` says itself why
    // it refuses one. None taken: the list stays as it was and nullopt.
    std::optional<int> openFrom(int from, int direction,
                                const std::function<bool(const std::string&)>& opens);

private:
    std::vector<std::string> paths;
    int at = 0;
};

// What the media controls' Next (+1) or Previous (-1) does. With a list,
// Play goes to the video there; Summary goes to the next or previous kept
// segment, and past the last one (or before the first) to the video there.
// With one video: in Summary a segment, in Play a seek, as ever.
enum class MediaSkip { Nothing, Seek, Segment, Video };

struct SkipPlace {
    bool list = false;       // more than one video
    bool videoThere = false; // the list has a video that way
    bool summary = false;
    double position = 0.0;
    double firstSegment = -1.0; // see PlayerState
    double lastSegment = -1.0;
};

MediaSkip mediaSkip(int direction, const SkipPlace& place);

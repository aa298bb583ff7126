#pragma once

// The sound and subtitle tracks a video offers: the file's own streams, and
// subtitle files beside it with the same name (film.srt, film.ass, film.vtt
// beside film.mkv). The player lists them in its menu and plays the ones
// chosen; tessaro-summarize takes one by number.

#include <string>
#include <vector>

struct AVFormatContext;

struct MediaTrack {
    enum class Kind { Audio, Subtitle };
    Kind kind = Kind::Audio;
    // The stream's index in the file it is read from; a subtitle file
    // beside the video holds one, and its index there is 0.
    int stream = -1;
    // Where the track is read: the video, or the subtitle file beside it.
    std::string path;
    bool besideVideo = false;
    // As the file tags it ("eng", "Commentary"); empty when untagged.
    std::string language;
    std::string title;
    // FFmpeg's name of the codec: "aac", "subrip", "ass", "webvtt", "mov_text".
    std::string codec;
    // The file marks the track as the one to play.
    bool marked = false;
    // Its place, from 1, among the list's tracks of its kind (the lists
    // below fill it in): the N of "Track N" and of --audio-track N.
    int number = 0;

    // How a menu names it: "English (eng) \u2014 Commentary", "Track 2 (aac)",
    // "film.srt (beside the video)".
    std::string label() const;
    bool operator==(const MediaTrack&) const = default;
};

// The file's sound tracks, in stream order.
std::vector<MediaTrack> audioTracks(const AVFormatContext* context, const std::string& path);
// The file's text subtitle tracks (SRT, ASS/SSA, WebVTT, mov_text; picture
// subtitles are left out), in stream order, then the files beside it.
std::vector<MediaTrack> subtitleTracks(const AVFormatContext* context, const std::string& path);
// Opens path to list one kind or both (one opening for both); empty lists
// when it cannot be opened.
std::vector<MediaTrack> audioTracksOf(const std::string& path);
std::vector<MediaTrack> subtitleTracksOf(const std::string& path);
struct VideoTracks {
    std::vector<MediaTrack> audio;
    std::vector<MediaTrack> subtitles;
};
VideoTracks tracksOf(const std::string& path);

// The position in `tracks` of the sound played when the video opens: the
// first one the file marks, else the first; -1 when there is none.
int playedAudioTrack(const std::vector<MediaTrack>& tracks);
// The subtitles shown when the video opens: a file beside the video (it
// was put there to be seen), else the first stream the file marks, else
// none (-1).
int shownSubtitleTrack(const std::vector<MediaTrack>& tracks);

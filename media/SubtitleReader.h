#pragma once

// Reads one text subtitle track (see MediaTracks.h) through FFmpeg's
// demuxers and subtitle decoders, as lines in the form libass takes
// (ass_process_codec_private for the header, ass_process_chunk for each
// line). Whatever the source format, the decoders give ASS: SRT, WebVTT and
// mov_text lines arrive as ASS events under a default style.
//
// Damage is not a failure: a line that cannot be decoded is passed over, a
// file that is not UTF-8 is read as Latin-1, and each such thing is told
// once in notices(). Used by one thread.

#include "MediaTracks.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SubtitleLine {
    // When the line shows and for how long, in the video's time.
    int64_t startMs = 0;
    int64_t durationMs = 0;
    // An ASS event without its "Dialogue:" and times, as FFmpeg 5.1's
    // decoders give it: ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text.
    std::string event;

    int64_t endMs() const { return startMs + durationMs; }
    bool operator==(const SubtitleLine&) const = default;
};

// The words of an event as a viewer reads them: the Text field with its
// override tags ({\i1}...) taken out, \N and \n as line breaks, \h as a space.
std::string plainText(const std::string& event);

class SubtitleReader {
public:
    SubtitleReader();
    ~SubtitleReader();
    SubtitleReader(const SubtitleReader&) = delete;
    SubtitleReader& operator=(const SubtitleReader&) = delete;

    // False, with failure() saying why in a few words, when the track
    // cannot be read at all (no such file, no such stream, not subtitles).
    bool open(const MediaTrack& track);
    const std::string& failure() const;

    // The ASS header (script info and styles) the lines are drawn with.
    const std::string& header() const;

    // The next line in the file's order (which need not be time order, and
    // lines may overlap); false at the end of the track or once `stop`
    // holds true. A track read from the video demuxes the whole file for it.
    bool next(SubtitleLine& line, const std::atomic<bool>* stop = nullptr);

    // What was passed over or guessed, each said once, for the caller to
    // show: "The subtitles are not UTF-8; they are read as Latin-1".
    const std::vector<std::string>& notices() const;

private:
    struct Reading;
    std::unique_ptr<Reading> reading;
};

// Every line of the track, sorted by start time (lines that start together
// keep the file's order). Notices and a failure are added to `notices`.
std::vector<SubtitleLine> readSubtitles(const MediaTrack& track, std::vector<std::string>& notices);

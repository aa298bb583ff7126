#pragma once

// The sound of the pictures the player hands on, taken from the file by
// time rather than by picture: each picture brings the sound from where
// the sound before it ended (or from its own time, when it does not follow
// on) to its end, placed on the playback timeline as the picture is.
// Consecutive pictures and consecutive kept fragments so play one
// continuous sound, whatever the length of the file's sound packets or the
// spacing of its pictures. At a speed other than 1 the timeline is scaled
// by it and the sound goes through the tempo stage. Used by the decoding
// thread.

#include "AVPointers.h"
#include "AudioSpanSource.h"
#include "SoundTempo.h"

#include <cstdint>
#include <optional>
#include <string>

class SoundSink;

class PlaybackSound {
public:
    // The file's sound for the sink; opened when first needed, once the
    // sink plays. The first audio stream, unless another is chosen.
    PlaybackSound(std::string path, SoundSink* sink);
    ~PlaybackSound();
    PlaybackSound(const PlaybackSound&) = delete;
    PlaybackSound& operator=(const PlaybackSound&) = delete;

    // Why the file's sound cannot be played, once; empty otherwise.
    std::string takeNotice();
    // The sound of that stream of the file from the next picture on (-1:
    // the first); opened at once when the sink plays, so that a stream
    // that cannot be played is known: the one played before plays on
    // (before any, the first), and the notice says so. False when it is
    // the stream already chosen.
    bool chooseStream(int stream);
    // The stream the sound is taken from (open, or to be opened); -1 for
    // the first before it is open, and when there is none to play.
    int stream() const;
    // The sink was flushed: the next picture starts the sound anew.
    void restart();
    // A second of video lasts 1 / speed on the timeline from now on; the
    // next picture starts the sound anew, as after restart().
    void setSpeed(double speed);
    // The sound of the picture at videoTime, shown at playTime on the
    // timeline for `duration` seconds. A cut: the picture does not follow
    // the one before.
    void picture(double videoTime, double playTime, double duration, bool cut);

private:
    bool ready();
    // Opens the stream for the sink's format; false with why (empty when
    // the file's reader has said it) when it cannot be played.
    bool openStream(int chosen, std::string* why);

    const std::string path;
    SoundSink* const sink;
    // Made anew for each stream opened.
    std::optional<AudioSpanSource> source;
    int wanted = -1;
    // The last stream opened that played; -1 before the first.
    int played = -1;
    ffmpeg::AudioFifoPtr taken;
    enum class State { Closed, Open, Refused } state = State::Closed;
    std::string notice;
    int rate = 0;
    int channels = 0;
    double speed = 1.0;
    SoundTempo tempo;
    // The run being written: the timeline's lead over the video's clock
    // scaled by the speed, and where its sound ends (a sample of the
    // video's clock at the sink's rate).
    bool running = false;
    double lead = 0.0;
    int64_t end = 0;
    // Where the source's last span ended; -1 after a restart.
    int64_t sourceEnd = -1;
};

#pragma once

// The sound of the pictures the player hands on, taken from the file by
// time rather than by picture: each picture brings the sound from where
// the sound before it ended (or from its own time, when it does not follow
// on) to its end, placed on the playback timeline as the picture is.
// Consecutive pictures and consecutive kept fragments so play one
// continuous sound, whatever the length of the file's sound packets or the
// spacing of its pictures. Used by the decoding thread.

#include "AVPointers.h"
#include "AudioSpanSource.h"

#include <cstdint>
#include <string>

class SoundSink;

class PlaybackSound {
public:
    // The file's sound for the sink; opened when first needed, once the
    // sink plays.
    PlaybackSound(std::string path, SoundSink* sink);
    ~PlaybackSound();
    PlaybackSound(const PlaybackSound&) = delete;
    PlaybackSound& operator=(const PlaybackSound&) = delete;

    // Why the file's sound cannot be played, once; empty otherwise.
    std::string takeNotice();
    // The sink was flushed: the next picture starts the sound anew.
    void restart();
    // The sound of the picture at videoTime, shown at playTime on the
    // timeline for `duration` seconds. A cut: the picture does not follow
    // the one before.
    void picture(double videoTime, double playTime, double duration, bool cut);

private:
    bool ready();

    const std::string path;
    SoundSink* const sink;
    AudioSpanSource source;
    ffmpeg::AudioFifoPtr taken;
    enum class State { Closed, Open, Refused } state = State::Closed;
    std::string notice;
    int rate = 0;
    int channels = 0;
    // The run being written: the timeline's lead over the video's clock,
    // and where its sound ends (a sample of the video's clock at the
    // sink's rate).
    bool running = false;
    double lead = 0.0;
    int64_t end = 0;
    // Where the source's last span ended; -1 after a restart.
    int64_t sourceEnd = -1;
};

#pragma once

// Where the player's sound goes: interleaved float samples at the sink's
// own rate and channel count, each piece with its time on the playback
// timeline. AudioOutput is the real one; tests put a recording one in its
// place.

#include <string>
#include <vector>

class SoundSink {
public:
    virtual ~SoundSink() = default;

    // Whether what is written is heard. Tried again by retry().
    virtual bool available() const = 0;
    // The format write takes.
    virtual int sampleRate() const = 0;
    virtual int channels() const = 0;
    // Why there is no sound, as one line; given once, then empty.
    virtual std::string takeNotice() = 0;
    // A device lost while playing is tried again (at an open or a restart).
    virtual void retry() {}

    // Queues samples to play from presentationTime seconds of the timeline
    // (0 at the last flush). A cut ends the sound before it and starts this
    // one with a short fade each; sound that follows on plays straight on.
    virtual void write(std::vector<float> samples, double presentationTime, bool cut) = 0;
    // Drops everything queued: a restart.
    virtual void flush() = 0;
    virtual void setPaused(bool paused) = 0;
};

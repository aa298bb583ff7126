#pragma once

// Plays the file's sound on the default output device and tells which moment
// of the playback timeline is being heard, so that pictures can follow it.
//
// The device (a QAudioSink, fed in push mode every few milliseconds) lives on
// a thread of its own with an event loop; the decoding thread converts and
// queues audio with write, any thread reads the clock or changes pause,
// volume and mute. Without a device (none found, switched off, failed to
// start or to answer) sound is off: every call returns at once, the clock is
// always none, and one notice says why.

#include "AudioPlayback.h"
#include "Resampler.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class AudioThread;

class AudioOutput {
public:
    // How long the constructor waits for the device to open before it gives up on sound.
    static constexpr int openTimeoutMs = 3000;

    // useDevice false switches sound off, as if there were no device.
    explicit AudioOutput(bool useDevice = true);
    // Stops the device and its thread.
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Whether sound plays. Turns false for good if the device fails later.
    bool available() const { return isAvailable.load(); }
    // Why there is no sound, as one line for the console; given once, then empty.
    std::string takeNotice();

    // --- The decoding thread.
    // The format of the file's audio as written below: interleaved signed 16-bit
    // samples at this rate and channel count. Writes before it are dropped.
    // False (with a notice) when it cannot be converted for the device.
    bool setInputFormat(int sampleRate, int channels);
    // Converts frameCount frames and queues them to play from presentationTime
    // seconds of the playback timeline (0 at the last flush; in Summary mode the
    // kept fragments follow each other on it). A discontinuity marks a cut: the
    // audio before it fades out and this audio fades in. Never waits for the device.
    void write(const int16_t* samples, int frameCount, double presentationTime, bool discontinuity);

    // --- Any thread.
    // A seek or a mode change: drops all queued and playing sound at once; the
    // clock starts again once the next writes are heard.
    void flush();
    // Stops the sound at once; resumes where it stopped.
    void setPaused(bool paused);
    void setVolume(double volume); // 0 to 1
    void setMuted(bool muted);
    bool paused() const { return isPaused.load(); }
    double volume() const { return volumeLevel.load(); }
    bool muted() const { return isMuted.load(); }

    // The timeline time of the sound being heard now; none without sound,
    // before the first written sample is heard, and while the queue is dry.
    std::optional<double> presentationTime() const;
    // Written sound waits to be heard: the clock is about to run.
    bool clockPending() const;

private:
    friend class AudioThread;
    // From the audio thread: the device stopped working.
    void deviceFailed(const std::string& why);
    void setNotice(const std::string& text);
    bool makeResampler();

    std::atomic<bool> isAvailable{false};
    std::atomic<bool> isPaused{false};
    std::atomic<double> volumeLevel{1.0};
    std::atomic<bool> isMuted{false};

    std::mutex noticeMutex;
    std::string notice;
    bool noticeGiven = false;

    SteadyPacerClock time;
    std::unique_ptr<AudioPlayback> playback;
    std::unique_ptr<AudioThread> thread;

    // The decoding side's converter, and the format it converts from.
    std::mutex writerMutex;
    Resampler resampler;
    int inputRate = 0;
    int inputChannels = 0;
    // Where the audio written so far ends on the timeline, in seconds.
    double writtenEnd = 0.0;
};

#pragma once

// Plays the file's sound on the default output device and tells which moment
// of the playback timeline is being heard, so that pictures can follow it.
//
// The device (a QAudioSink, fed in push mode every few milliseconds) lives on
// a thread of its own with an event loop; the decoding thread converts and
// queues audio with write, any thread reads the clock or changes pause,
// volume and mute. Without a device (none found, switched off, failed to
// start or to answer) sound is off: every call returns at once, the clock is
// always none, and one notice says why. A device that stops working while
// it plays says so at once, and is tried again by retry().

#include "AudioPlayback.h"
#include "SoundSink.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class AudioThread;

class AudioOutput final : public SoundSink {
public:
    // How long the constructor waits for the device to open before it gives up on sound.
    static constexpr int openTimeoutMs = 3000;

    // useDevice false switches sound off, as if there were no device.
    explicit AudioOutput(bool useDevice = true);
    // Stops the device and its thread.
    ~AudioOutput() override;
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Whether sound plays. Turns false if the device fails later, until a retry.
    bool available() const override { return isAvailable.load(); }
    // The device's format, which write takes (0 without a device).
    int sampleRate() const override { return playback ? playback->sampleRate : 0; }
    int channels() const override { return playback ? playback->channels : 0; }
    // Why there is no sound, as one line for the console; given once, then empty.
    std::string takeNotice() override;
    // Called, on the audio thread, with the notice of a device that stopped
    // working, instead of keeping it for takeNotice: once for each time the
    // device is lost after it played.
    void setLossHandler(std::function<void(const std::string&)> handler);
    // A device that failed is started again with the next sound.
    void retry() override;

    // --- The decoding thread.
    // Queues the samples to play from presentationTime seconds of the
    // playback timeline (0 at the last flush; in Summary mode the kept
    // fragments follow each other on it). A cut fades the audio before it
    // out and this audio in. Never waits for the device.
    void write(std::vector<float> samples, double presentationTime, bool cut) override;

    // --- Any thread.
    // A seek or a mode change: drops all queued and playing sound at once; the
    // clock starts again once the next writes are heard.
    void flush() override;
    // Stops the sound at once; resumes where it stopped.
    void setPaused(bool paused) override;
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
    // From the audio thread: the device stopped working, or played.
    void deviceFailed(const std::string& why);
    void devicePlays() { lossTold = false; }
    void setNotice(const std::string& text);

    std::atomic<bool> isAvailable{false};
    std::atomic<bool> isPaused{false};
    std::atomic<double> volumeLevel{1.0};
    std::atomic<bool> isMuted{false};

    std::mutex noticeMutex;
    std::string notice;
    bool noticeGiven = false;
    std::function<void(const std::string&)> onLoss;
    // The loss has been told since the device last played.
    std::atomic<bool> lossTold{false};

    SteadyPacerClock time;
    std::unique_ptr<AudioPlayback> playback;
    std::unique_ptr<AudioThread> thread;
};

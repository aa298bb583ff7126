#pragma once

// The store's analysis of a video made by a decoder that reads it for
// another reason: the player's live summary, read from the first picture,
// is the same pass the store would make, so the store side hands it this
// tap instead of decoding the video a second time. It records as the
// tool's analysis does (see AnalysisRecorder) and says how it ended: the
// whole video recorded, or given up (the reader jumped, or went before the
// end), when the store side analyses the video itself.

#include "AnalysisRecorder.h"
#include "Worker.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class LiveRecording final : public FrameTap {
public:
    enum class Outcome : uint8_t { Recording, Completed, Abandoned };

    LiveRecording(std::unique_ptr<DescriptorStore> store, VideoKey key, double frameRate);

    void picture(const Frame& frame, const AVFrame* picture, int width, int height) override;
    void sound(const SoundUnit* units, size_t count) override { recorder.sound(units, count); }
    void ended() override;
    void jumped() override;
    // The decoder that tapped it is done with it: unless it completed, the
    // recording is given up.
    void release();

    Outcome outcome() const { return state; }
    double secondsRecorded() const { return static_cast<double>(frames) / frameRate; }
    // What the decoder said of the video's sound, for the store side to
    // tell as its own analysis would.
    void addNotice(std::string notice);
    std::vector<std::string> takeNotices();
    // Notified when the outcome is known.
    Wakeup decided;

private:
    void decide(Outcome outcome);

    const std::unique_ptr<DescriptorStore> store;
    const double frameRate;
    AnalysisRecorder recorder;
    std::atomic<int64_t> frames{0};
    std::atomic<Outcome> state{Outcome::Recording};
    std::mutex noticeMutex;
    std::vector<std::string> notices;
};

#pragma once

// The player loop driven pass by pass, with a recording widget driver and
// sound sink, for the loop's tests.

#include "PlayerLoop.h"

#include "SoundSink.h"
#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

constexpr int kScenesFrames = 250; // 10 s at 25 fps

// Counts what the loop asks of the widgets, and keeps the tree strips' last
// positions.
struct RecordingDriver : WidgetDriver {
    int calls = 0;
    double depth = 0, nodes = 0;
    void setTimelineData(const double*, int, double, double, double, double, double) override {
        ++calls;
    }
    void setTreeDepthStrip(double, double, double position, double, double) override {
        ++calls, depth = position;
    }
    void setTreeNodesStrip(double, double, double position, double, double) override {
        ++calls, nodes = position;
    }
};

// Keeps what the loop writes since its last flush: each piece of sound's
// time on the timeline, its length, whether it is marked as a cut, whether
// it is heard at all, and the pitch of a tone in it.
struct RecordingSink : SoundSink {
    static constexpr int rate = 48000;
    struct Piece {
        double time;
        size_t frames;
        bool cut, loud;
        double onset;     // of its first loud sample, when loud
        double frequency; // of the first channel, by its sign changes
    };
    std::vector<Piece> pieces;

    bool available() const override { return true; }
    int sampleRate() const override { return rate; }
    int channels() const override { return 2; }
    std::string takeNotice() override { return {}; }
    void write(std::vector<float> samples, double time, bool cut) override {
        const auto first = std::find_if(samples.begin(), samples.end(),
                                        [](float x) { return std::abs(x) > 0.01f; });
        const bool loud = first != samples.end();
        const double onset = time + static_cast<double>((first - samples.begin()) / 2) / rate;
        int changes = 0;
        for (size_t k = 2; k < samples.size(); k += 2)
            changes += (samples[k] < 0.0f) != (samples[k - 2] < 0.0f);
        const double seconds = static_cast<double>(samples.size() / 2) / rate;
        pieces.push_back({time, samples.size() / 2, cut, loud, onset, changes / 2.0 / seconds});
    }
    void flush() override { pieces.clear(); }
    void setPaused(bool) override {}
};

class PlayerLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        core.setDuration(10);
        core.driver = &driver;
        board.publish(chosen);
    }

    void open(PlayerMode mode, const char* file = kScenes) {
        core.begin(mode, 0.0, false);
        board.publish(chosen);
        playback = makePlaybackQueue();
        loop = std::make_unique<PlayerLoop>(testMedia(file), *playback, core, board, &sink);
        loop->setStoreBoard(storeBoard);
        loop->setAudioStream(audioStream);
        loop->start();
    }
    // What the window and the screen's thread would do.
    void mode(PlayerMode chosenMode) { core.submit(command::ChooseMode{chosenMode}); }
    void seek(double seconds) { core.submit(command::SeekTo{seconds}); }
    void setSaving(bool on) { core.submit(command::Saving{on}); }
    void shown(double time) {
        core.screen.shownTime = time;
        core.screen.shownSerial = playback->serial();
    }
    void bound(int32_t frames, int64_t bytes = PlaybackTimeline::BUFFER_BUDGET) {
        loop->setBufferBounds(frames, bytes);
    }
    // The next frame queued, as the screen takes it: its time and picture.
    std::optional<std::pair<double, uint64_t>> next() {
        std::optional<PlaybackQueue::Entry> entry;
        for (PlayerLoop::Next after = PlayerLoop::Next::Continue; !entry;) {
            if (after == PlayerLoop::Next::Wait)
                return std::nullopt;
            after = loop->pass();
            entry = playback->tryGet();
        }
        const Picture& picture = entry->item.picture;
        lastPlayTime = entry->item.playTime;
        // As the screen's thread shows it.
        core.screen.shownTime = entry->item.frameTime;
        core.screen.shownSerial = entry->serial;
        return std::pair{entry->item.frameTime,
                         pictureChecksum(picture.avFrame(), picture.width(), picture.height())};
    }
    double lastPlayTime = 0.0;
    void fill() {
        while (loop->pass() == PlayerLoop::Next::Continue) {
        }
    }
    // Takes at most `most` frames out, as the player does; returns their times.
    std::vector<double> take(int most = 1 << 30) {
        std::vector<double> times;
        for (; most > 0; --most) {
            const auto entry = playback->tryGet();
            if (!entry)
                break;
            times.push_back(entry->item.frameTime);
            taken.push_back(entry->item);
        }
        return times;
    }
    // Runs passes, taking at most `most` frames out after each, until the
    // loop has nothing left to do.
    std::vector<double> runToEnd(int most = 1 << 30) {
        std::vector<double> times;
        for (int i = 0; i < 100000; ++i) {
            const PlayerLoop::Next next = loop->pass();
            const std::vector<double> taken = take(most);
            times.insert(times.end(), taken.begin(), taken.end());
            if (next == PlayerLoop::Next::Wait && loop->ended() && playback->empty())
                break;
        }
        return times;
    }

    // The window's controls at their starting settings, without widgets.
    PlayerSettings chosen;
    SettingsBoard board;
    PlayerCore core;
    RecordingDriver driver;
    RecordingSink sink;
    std::vector<PictureFrame> taken; // with their places on the timeline
    std::unique_ptr<PlaybackQueue> playback = makePlaybackQueue();
    std::unique_ptr<PlayerLoop> loop;
    StoreBoard* storeBoard = nullptr; // given to the loops opened
    int audioStream = -1;             // the sound they start with
};

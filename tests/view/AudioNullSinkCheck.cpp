// Plays a beep every half second over a quiet hum through AudioOutput,
// records the default output's monitor with parec meanwhile, and compares
// when each beep is heard in the recording with when the clock said so.
// Early on a flush restarts the sound from 0, as a seek does; later a pause
// must silence the hum at once. Runs only on the null sink of
// scripts/null-sink, so that it never beeps through a real sound card.
// Exit status: 0 when all holds, 1 when not, 77 when that sink is not the default.

#include "AudioOutput.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int rate = 48000;
constexpr double beepEvery = 0.5;
constexpr int beeps = 12;
constexpr double restartAt = 1.2; // between the third and fourth beep
constexpr double pauseAt = 3.2;   // after the restart
// What pictures must do against the sound; the clock must do at least as well.
constexpr double medianLimit = 0.040;
constexpr double worstLimit = 0.080;

std::vector<int16_t> makeTrack() {
    std::vector<int16_t> track(static_cast<size_t>((beeps * beepEvery + 0.5) * rate));
    for (size_t i = 0; i < track.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const bool beep = std::fmod(t, beepEvery) < 0.05 && t < beeps * beepEvery;
        const double s =
            beep ? 0.8 * std::sin(2 * M_PI * 1000 * t) : 0.1 * std::sin(2 * M_PI * 300 * t);
        track[i] = static_cast<int16_t>(std::lround(s * 32767));
    }
    return track;
}

// Finds, by sample, where beeps start and where the sound stops. A sample's
// wall time comes from the block around it that arrived soonest after being
// recorded: a reader that was kept waiting only adds delay.
class Recorder {
public:
    Recorder()
        : pipe(popen("exec parec -d @DEFAULT_MONITOR@ --raw --format=s16le --rate=48000 "
                     "--channels=1 --latency-msec=5 2>/dev/null",
                     "r")) {
        if (pipe != nullptr) {
            reader = std::thread([this] { run(); });
        }
    }
    ~Recorder() { stop(); }
    // parec ends when its output is closed.
    void stop() {
        if (reader.joinable()) {
            stopping = true;
            reader.join();
            pclose(pipe);
        }
    }
    bool started() const { return pipe != nullptr; }

    std::vector<Clock::time_point> beeps() const { return wallTimes(beepStarts); }
    std::vector<Clock::time_point> silences() const { return wallTimes(silenceStarts); }

private:
    void run() {
        std::vector<int16_t> samples(block);
        bool inBeep = false;
        bool silent = true;
        for (int64_t at = 0; !stopping && std::fread(samples.data(), 2, block, pipe) == block;
             at += block) {
            arrivals.push_back(Clock::now());
            int peak = 0;
            for (int i = 0; i < block; ++i) {
                peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
                if (!inBeep && peak > 13000) {
                    inBeep = true;
                    beepStarts.push_back(at + i);
                }
            }
            inBeep = inBeep && peak > 13000;
            if (!silent && peak < 300) {
                silenceStarts.push_back(at);
            }
            silent = peak < 300;
        }
    }

    std::vector<Clock::time_point> wallTimes(const std::vector<int64_t>& samples) const {
        std::vector<Clock::time_point> times;
        for (int64_t sample : samples) {
            Clock::time_point best = Clock::time_point::max();
            const int64_t first = std::max<int64_t>(0, sample / block - 200);
            const int64_t last = std::min<int64_t>(arrivals.size(), sample / block + 200);
            for (int64_t b = first; b < last; ++b) {
                const int64_t after = (b + 1) * block - sample;
                best =
                    std::min(best, arrivals[b] - std::chrono::microseconds(after * 1000000 / rate));
            }
            times.push_back(best);
        }
        return times;
    }

    static constexpr int block = rate / 200;
    FILE* pipe;
    std::thread reader;
    std::atomic<bool> stopping{false};
    // The reader's until stop.
    std::vector<Clock::time_point> arrivals;
    std::vector<int64_t> beepStarts;
    std::vector<int64_t> silenceStarts;
};

bool onNullSink() {
    FILE* answer = popen("pactl get-default-sink 2>/dev/null", "r");
    char name[64] = {};
    const bool read = answer != nullptr && std::fgets(name, sizeof name, answer) != nullptr;
    if (answer != nullptr) {
        pclose(answer);
    }
    return read && std::string(name) == "tessaro_null\n";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!onNullSink()) {
        std::printf("the default output is not the null sink of scripts/null-sink\n");
        return 77;
    }
    Recorder recorder;
    // An idle null sink sleeps up to two seconds at a time; the recording
    // wakes it to its own short latency, as a sound card would run.
    std::this_thread::sleep_for(2500ms);
    AudioOutput audio;
    if (!recorder.started() || !audio.available()) {
        std::printf("no recording or no sound: %s\n", audio.takeNotice().c_str());
        return 1;
    }

    // The decoder: writes one picture's worth at a time, four times faster
    // than it plays, and starts again from 0 with a flush when asked to.
    const std::vector<int16_t> track = makeTrack();
    std::atomic<bool> restart{false};
    std::atomic<bool> done{false};
    std::thread decoder([&] {
        audio.setInputFormat(rate, 1);
        size_t start = 0;
        while (!done) {
            if (restart) {
                audio.flush();
                start = 0;
                restart = false;
            }
            const size_t n = std::min<size_t>(rate / 25, track.size() - start);
            audio.write(track.data() + start, static_cast<int>(n),
                        static_cast<double>(start) / rate, false);
            start += n;
            std::this_thread::sleep_for(10ms);
        }
    });

    std::vector<Clock::time_point> clockBeeps;
    int next = 0;
    bool restarted = false;
    std::optional<Clock::time_point> pausedAt;
    for (const auto begin = Clock::now(); Clock::now() - begin < 20s;) {
        const std::optional<double> heard = audio.presentationTime();
        const Clock::time_point now = Clock::now();
        for (; heard && next < beeps && *heard >= next * beepEvery; ++next) {
            // Back to when the clock passed the beep.
            const double late = *heard - next * beepEvery;
            clockBeeps.push_back(now - std::chrono::microseconds(std::llround(late * 1e6)));
        }
        if (heard && !restarted && *heard >= restartAt) {
            restart = true;
            while (restart) {
                std::this_thread::sleep_for(1ms);
            }
            restarted = true;
            next = 0;
        } else if (heard && restarted && !pausedAt && *heard >= pauseAt) {
            audio.setPaused(true);
            pausedAt = Clock::now();
            std::this_thread::sleep_for(700ms);
            audio.setPaused(false);
        } else if (heard && restarted && *heard > beeps * beepEvery) {
            break;
        }
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(300ms);
    done = true;
    decoder.join();
    recorder.stop();

    // Three beeps before the restart, all of them after it.
    const std::vector<Clock::time_point> heardBeeps = recorder.beeps();
    const size_t expected = beeps + 3;
    std::printf("%zu beeps heard, the clock passed %zu, %zu expected\n", heardBeeps.size(),
                clockBeeps.size(), expected);
    bool good = heardBeeps.size() == expected && clockBeeps.size() == expected;
    std::vector<double> offsets;
    for (size_t k = 0; k < std::min(heardBeeps.size(), clockBeeps.size()); ++k) {
        offsets.push_back(std::chrono::duration<double>(heardBeeps[k] - clockBeeps[k]).count());
        std::printf("beep %2zu heard %+6.1f ms after the clock said so\n", k,
                    offsets.back() * 1000);
        offsets.back() = std::abs(offsets.back());
    }
    std::sort(offsets.begin(), offsets.end());
    if (!offsets.empty()) {
        const double median = offsets[offsets.size() / 2];
        std::printf("offset median %.1f ms, worst %.1f ms\n", median * 1000, offsets.back() * 1000);
        good = good && median <= medianLimit && offsets.back() <= worstLimit;
    }

    const std::vector<Clock::time_point> silences = recorder.silences();
    const auto stop = std::find_if(silences.begin(), silences.end(), [&](Clock::time_point t) {
        return pausedAt && t >= *pausedAt - 100ms;
    });
    if (stop == silences.end()) {
        std::printf("the sound did not stop at the pause\n");
        good = false;
    } else {
        std::printf("the sound stopped %.1f ms after the pause\n",
                    std::chrono::duration<double>(*stop - *pausedAt).count() * 1000);
    }
    std::printf("%s\n", good ? "PASS" : "FAIL");
    return good ? 0 : 1;
}

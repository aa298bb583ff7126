// tessaro-play-bench --sound-check: whether the player's sound goes with its
// pictures, measured through a real sound server. It makes a video with a
// short beep and a white flash at the start of every second, makes sure a
// PulseAudio null sink is the default output (starting the server if none
// answers), records the sink's monitor with parec, and plays the video in
// the real player offscreen: 20 s of Play, then a summary from the start.
// It prints when each flash was shown against when its beep was heard, how
// many kept fragments' beeps were heard, and whether a beep was heard during
// a pause in the middle of Play.

#include "SoundCheck.h"

#include "ControlState.h"
#include "Frame.h"
#include "Player.h"
#include "SliderLCD.h"
#include "ThreadDecoding.h"
#include "ThreadVisualitation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
// What a test run (--check) allows: a picture and its sound this far apart
// are plainly not together; the measured figures are far smaller.
constexpr double kCheckedOffsetMs = 250;
// A pause stops the sound at once, but what the device already holds
// (a few hundred milliseconds) may still be heard.
constexpr double kPauseSlack = 0.4;
// The status CTest takes as a skipped test: no sound server can be had.
constexpr int kSkipped = 77;
constexpr const char* kSink = "tessaro_null";

double secondsOf(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// A null sink as the default output, the server started if none answers.
bool nullSink() {
    if (!run("pactl info >/dev/null 2>&1")) {
        run("pulseaudio --daemonize=yes --exit-idle-time=-1 >/dev/null 2>&1");
        for (int i = 0; i < 50 && !run("pactl info >/dev/null 2>&1"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!run(std::string("pactl list short sinks | cut -f2 | grep -qx ") + kSink))
        run(std::string("pactl load-module module-null-sink sink_name=") + kSink +
            " >/dev/null 2>&1");
    return run(std::string("pactl set-default-sink ") + kSink + " >/dev/null 2>&1");
}

// The sink's monitor as it is recorded, each block with the moment it came.
class Recording {
public:
    bool start() {
        pipe = popen((std::string("parec -d ") + kSink +
                      ".monitor --raw --format=s16le --rate=48000 --channels=1 "
                      "--latency-msec=5")
                         .c_str(),
                     "r");
        if (pipe == nullptr)
            return false;
        reader = std::thread([this] {
            int16_t block[240];
            for (;;) {
                const size_t got = std::fread(block, sizeof block[0], 240, pipe);
                if (got == 0)
                    return;
                const double now = secondsOf(Clock::now());
                const std::lock_guard lock(mutex);
                samples.insert(samples.end(), block, block + got);
                arrivals.push_back({samples.size(), now});
            }
        });
        return true;
    }
    void stop() {
        run("pkill -f 'parec -d tessaro_null.monitor' >/dev/null 2>&1");
        if (reader.joinable())
            reader.join();
        if (pipe != nullptr)
            pclose(pipe);
        pipe = nullptr;
    }
    // When each beep began, on the steady clock: the first 2 ms window loud
    // after a quiet one, placed by the moment the block holding it came.
    std::vector<double> beeps() {
        const std::lock_guard lock(mutex);
        std::vector<double> onsets;
        constexpr size_t window = 96;
        bool loud = false;
        size_t arrival = 0;
        for (size_t i = 0; i + window <= samples.size(); i += window) {
            double level = 0;
            for (size_t k = i; k < i + window; ++k)
                level += std::abs(samples[k]);
            const bool now = level / window > 400;
            if (now && !loud) {
                while (arrival < arrivals.size() && arrivals[arrival].end <= i)
                    ++arrival;
                if (arrival < arrivals.size())
                    onsets.push_back(arrivals[arrival].when -
                                     double(arrivals[arrival].end - i) / kRate);
            }
            loud = now;
        }
        return onsets;
    }

private:
    struct Arrival {
        size_t end;
        double when;
    };
    FILE* pipe = nullptr;
    std::thread reader;
    std::mutex mutex;
    std::vector<int16_t> samples;
    std::vector<Arrival> arrivals;
};

void runEventsFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

void press(QWidget* window, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

struct Flash {
    double when;
    bool summary;
};

double nearestGap(const std::vector<double>& beeps, double when) {
    double best = 1e9;
    for (double beep : beeps)
        if (std::abs(beep - when) < std::abs(best))
            best = beep - when;
    return best;
}

} // namespace

bool keepNullSinkAwake() {
    if (!run(std::string("[ \"$(pactl get-default-sink 2>/dev/null)\" = ") + kSink + " ]"))
        return false;
    run(std::string("parec -d ") + kSink + ".monitor --raw --latency-msec=5 >/dev/null 2>&1 &");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    return true;
}

void letNullSinkSleep() {
    run("pkill -f 'parec -d tessaro_null.monitor' >/dev/null 2>&1");
}

int soundCheck(int argc, char** argv) {
    // tessaro-play-bench --sound-check [PLAY_SECONDS SUMMARY_SECONDS] [--check]
    int playSeconds = 20;
    int summarySeconds = 25;
    bool check = false;
    std::vector<int> numbers;
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--check")
            check = true;
        else
            numbers.push_back(std::max(1, std::atoi(argv[i])));
    }
    if (numbers.size() == 2) {
        playSeconds = numbers[0];
        summarySeconds = numbers[1];
    }
    const std::string video = "/tmp/tessaro-sound-check-" + std::to_string(getpid()) + ".mp4";
    if (!run("ffmpeg -hide_banner -nostdin -loglevel error -y "
             "-f lavfi -i color=c=0x202020:s=640x360:r=25:d=30 "
             "-f lavfi -i sine=f=1000:sample_rate=48000:d=30 "
             "-vf \"drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='lt(mod(t,1),0.04)'\" "
             "-af \"volume=enable='gte(mod(t,1),0.05)':volume=0\" "
             "-c:v libx264 -preset veryfast -g 25 -c:a aac -b:a 128k " +
             video)) {
        std::fprintf(stderr, "tessaro-play-bench: cannot make the test video with ffmpeg\n");
        return 1;
    }
    if (!nullSink()) {
        std::fprintf(stderr, "tessaro-play-bench: no PulseAudio null sink\n");
        std::remove(video.c_str());
        return kSkipped;
    }
    Recording recording;
    if (!recording.start())
        return 1;
    // An idle null sink sleeps in steps of up to two seconds: the recording
    // keeps it awake before the sound starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    double seconds = 0.0;
    if (!probeVideo(video.c_str(), &seconds))
        return 1;

    std::mutex shownMutex;
    std::vector<Flash> flashes;
    double pausedAt = 0.0;
    double resumedAt = 0.0;
    std::atomic<bool> summarising{false};
    int keptShown = 0;
    const auto measure = [&](const PlayerParts& parts) {
        parts.visualization->onShown = [&](const PictureFrame& frame) {
            const double when = secondsOf(Clock::now());
            if (frame.frameTime - std::floor(frame.frameTime + 1e-6) < 0.02) {
                const std::lock_guard lock(shownMutex);
                flashes.push_back({when, summarising});
            }
        };
        QTimer::singleShot(0, [&, parts] {
            // Play, with a pause of 1.5 s in the middle: a beep falls in it.
            runEventsFor(playSeconds * 500);
            pausedAt = secondsOf(Clock::now());
            press(parts.mainWindow, Qt::Key_Space);
            runEventsFor(1500);
            resumedAt = secondsOf(Clock::now());
            press(parts.mainWindow, Qt::Key_Space);
            runEventsFor(playSeconds * 500 + 500);
            // A summary of the whole video: Home, then Summary at a target
            // that keeps a few fragments.
            ControlState& state = controlState();
            state.targetLengthCtl->slider->setValue(30);
            emit state.targetLengthCtl->slider->sliderReleased();
            press(parts.mainWindow, Qt::Key_Home);
            runEventsFor(500);
            {
                const std::lock_guard lock(shownMutex);
                summarising = true;
            }
            press(parts.mainWindow, Qt::Key_S);
            runEventsFor(summarySeconds * 1000);
            const std::lock_guard lock(shownMutex);
            for (const Flash& f : flashes)
                keptShown += f.summary ? 1 : 0;
            parts.mainWindow->close();
        });
    };
    const int status = runPlayer(application, video.c_str(), seconds, measure);
    std::remove(video.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    recording.stop();
    const std::vector<double> beeps = recording.beeps();

    std::vector<double> offsets;
    for (const Flash& f : flashes)
        if (!f.summary)
            offsets.push_back(std::abs(nearestGap(beeps, f.when)) * 1000);
    std::sort(offsets.begin(), offsets.end());
    int heard = 0;
    for (const Flash& f : flashes)
        if (f.summary && std::abs(nearestGap(beeps, f.when)) < 0.2)
            ++heard;
    std::printf("\n");
    if (offsets.empty()) {
        std::printf("av offset: no flash shown\n");
    } else {
        std::printf("av offset: median %.0f ms, worst %.0f ms (%zu flashes, %zu beeps)\n",
                    offsets[offsets.size() / 2], offsets.back(), offsets.size(), beeps.size());
    }
    std::printf("beeps: heard %d of %d kept\n", heard, keptShown);
    // What the device already held when the pause came may still be heard.
    int heardWhilePaused = 0;
    for (double beep : beeps)
        if (beep > pausedAt + kPauseSlack && beep < resumedAt)
            ++heardWhilePaused;
    std::printf("pause: %d beeps heard while paused\n", heardWhilePaused);
    if (!check)
        return status;
    // As a test: every kept fragment is heard, and every flash has its beep
    // close by (the pictures follow the sound's clock; a busy machine may
    // drop pictures but not move them away from their sound).
    const bool heardAll = keptShown > 0 && heard == keptShown;
    const bool together = !offsets.empty() && offsets.back() < kCheckedOffsetMs;
    return status == 0 && heardAll && together && heardWhilePaused == 0 ? 0 : 1;
}

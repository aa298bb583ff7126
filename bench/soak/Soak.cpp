// Soak: the real player, offscreen, on a long video, driven for a given time
// by a restless user through the widgets on the GUI thread. Records resident
// memory, frames shown and dropped and the longest stall of the picture;
// fails on a crash, on a GUI thread that stops answering for over 2 s, or on
// memory that keeps growing.
//
//   tessaro-soak VIDEO SECONDS [SEED]

#include "ControlState.h"
#include "Player.h"
#include "SliderLCD.h"
#include "ThreadVisualitation.h"
#include "VideoReader.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QSlider>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHeartbeatMs = 100;
constexpr double kHangSeconds = 2.0;
constexpr int kSampleMs = 1000;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long residentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

QAbstractButton* buttonNamed(QWidget* window, const QString& text) {
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// A release of the slider at a new position, as a drag would end.
void release(QSlider* slider, int value) {
    slider->setValue(value);
    emit slider->sliderReleased();
}

// Checks from its own thread that the GUI thread's heartbeat keeps coming.
// What the user did last, for the report of a hang.
std::atomic<const char*> lastAction{"none"};

// Every thread's stack, from a debugger attached to this process, when one
// is installed.
void dumpThreads() {
    const std::string command = "gdb -p " + std::to_string(getpid()) +
                                " -batch -ex 'thread apply all bt 25' 1>&2 2>/dev/null";
    [[maybe_unused]] const int status = std::system(command.c_str());
}

class Watchdog {
public:
    explicit Watchdog(std::atomic<int64_t>& heartbeat) : heartbeat(heartbeat) {
        thread = std::thread([this] { watch(); });
    }
    ~Watchdog() {
        stop = true;
        thread.join();
    }
    double longestSilence() const { return longest.load(); }

private:
    void watch() {
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const int64_t now = Clock::now().time_since_epoch().count();
            const double silent =
                std::chrono::duration<double>(Clock::duration(now - heartbeat.load())).count();
            longest = std::max(longest.load(), silent);
            if (silent > kHangSeconds) {
                std::fprintf(stderr,
                             "\nSOAK FAILED: the GUI thread did not answer for %.1f s (last "
                             "action: %s)\n",
                             silent, lastAction.load());
                std::fflush(stderr);
                dumpThreads();
                std::abort();
            }
        }
    }

    std::atomic<int64_t>& heartbeat;
    std::atomic<bool> stop{false};
    std::atomic<double> longest{0.0};
    std::thread thread;
};

struct Figures {
    int actions = 0;
    std::vector<long> rss; // one sample a second, in kilobytes
    int64_t shown = 0;
    int64_t dropped = 0;
    double longestStall = 0.0;     // picture not advancing, outside pauses
    double longestPlayStall = 0.0; // the same, in Play mode only
    int playStallPosition = 0;     // where in the video (seconds) it happened
    double longestSilence = 0.0;   // between two heartbeats of the GUI thread
};

// The restless user: one random action at a random moment, again and again.
class RestlessUser {
public:
    RestlessUser(QWidget* window, ControlState& state, unsigned seed, Figures& figures)
        : window(window), state(state), random(seed), figures(figures) {}

    void act() {
        const int choice = pick(0, 9);
        switch (choice) {
        case 0:
        case 1:
            lastAction = "mode button";
            click(modeButtons[pick(0, 2)]);
            break;
        case 2:
        case 3:
            lastAction = "seek";
            release(state.positionSlider,
                    pick(state.positionSlider->minimum(), state.positionSlider->maximum()));
            break;
        case 4:
        case 5:
            weightBurst(pick(1, 6));
            return;
        case 6:
        case 7: {
            lastAction = "tree slider";
            SliderLCD* tree = pick(0, 1) == 0 ? state.treeDepthCtl : state.treeNodesCtl;
            release(tree->slider, pick(tree->slider->minimum(), tree->slider->maximum()));
            break;
        }
        default: {
            lastAction = "check box";
            QCheckBox* boxes[] = {state.automaticControlBox, state.avoidEmptyBufferBox,
                                  state.junkSegmentFilterBox, state.shotAwareRankingBox};
            boxes[pick(0, 3)]->click();
            break;
        }
        }
        ++figures.actions;
        scheduleNext();
    }

    void scheduleNext() {
        QTimer::singleShot(pick(50, 3000), window, [this] { act(); });
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

    void click(const char* name) {
        if (QAbstractButton* button = buttonNamed(window, name))
            button->click();
    }

    // Several weight releases a few milliseconds apart, as a user trying values.
    void weightBurst(int left) {
        SliderLCD* weights[] = {state.targetLengthCtl, state.lengthWeightCtl,
                                state.continuityWeightCtl, state.redundancyWeightCtl,
                                state.activityWeightCtl};
        SliderLCD* weight = weights[pick(0, 4)];
        lastAction = "weight release";
        release(weight->slider, pick(weight->slider->minimum(), weight->slider->maximum()));
        ++figures.actions;
        if (left > 1)
            QTimer::singleShot(pick(5, 80), window, [this, left] { weightBurst(left - 1); });
        else
            scheduleNext();
    }

    static constexpr const char* modeButtons[] = {"Play", "Summary", "Pause"};
    QWidget* window;
    ControlState& state;
    std::mt19937 random;
    Figures& figures;
};

// Memory that keeps growing: the last third's peak well above the peak of
// the first third (after a minute of warming up).
bool memoryRunsAway(const std::vector<long>& rss, long* earlyPeak, long* latePeak) {
    const size_t n = rss.size();
    const size_t warm = std::min<size_t>(60, n / 6);
    const size_t third = n / 3;
    *earlyPeak = 0;
    *latePeak = 0;
    for (size_t i = warm; i < std::max(warm, third); ++i)
        *earlyPeak = std::max(*earlyPeak, rss[i]);
    for (size_t i = n - third; i < n; ++i)
        *latePeak = std::max(*latePeak, rss[i]);
    return third > 0 && *latePeak > *earlyPeak * 3 / 2 + 100 * 1024;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tessaro-soak VIDEO SECONDS [SEED]\n");
        return 2;
    }
    const char* video = argv[1];
    const double duration = std::atof(argv[2]);
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u;

    int qtArgc = 1;
    char name[] = "tessaro-soak";
    char* qtArgv[] = {name, nullptr};
    QApplication application(qtArgc, qtArgv);

    double videoSeconds = 0.0;
    {
        VideoReader probe(video);
        if (probe.status() != VideoReader::OK) {
            std::fprintf(stderr, "tessaro-soak: cannot open %s\n", video);
            return 2;
        }
        videoSeconds = probe.timestampToSeconds(probe.getVideoLength());
    }

    ControlState& state = controlState();
    Figures figures;
    std::atomic<int64_t> heartbeat{Clock::now().time_since_epoch().count()};
    const auto start = Clock::now();
    std::unique_ptr<RestlessUser> user;
    std::unique_ptr<Watchdog> watchdog;
    ThreadVisualitation* visualization = nullptr;
    int64_t lastShown = -1;
    int lastMode = -1;
    auto lastAdvance = Clock::now();

    QTimer heartbeatTimer;
    QObject::connect(&heartbeatTimer, &QTimer::timeout, [&] {
        heartbeat = Clock::now().time_since_epoch().count();
        if (visualization == nullptr)
            return;
        const int64_t shown = visualization->shownFrames();
        // A stall is timed within one mode: a wait for the summary tree that
        // ends when the user switches to Play is not a stall of Play.
        const int mode = static_cast<int>(state.shared.mode.load());
        if (shown != lastShown || state.shared.paused() || mode != lastMode) {
            lastShown = shown;
            lastMode = mode;
            lastAdvance = Clock::now();
            return;
        }
        const double stall = secondsSince(lastAdvance);
        figures.longestStall = std::max(figures.longestStall, stall);
        if (state.shared.playing() && stall > figures.longestPlayStall) {
            figures.longestPlayStall = stall;
            figures.playStallPosition = state.shared.positionValue;
        }
    });
    QTimer sampleTimer;
    QObject::connect(&sampleTimer, &QTimer::timeout,
                     [&] { figures.rss.push_back(residentKilobytes()); });

    const int status = runPlayer(application, video, videoSeconds, [&](const PlayerParts& parts) {
        visualization = parts.visualization;
        heartbeatTimer.start(kHeartbeatMs);
        sampleTimer.start(kSampleMs);
        heartbeat = Clock::now().time_since_epoch().count();
        watchdog = std::make_unique<Watchdog>(heartbeat);
        user = std::make_unique<RestlessUser>(parts.mainWindow, state, seed, figures);
        user->scheduleNext();
        QTimer::singleShot(static_cast<int>(duration * 1000), parts.mainWindow, [&, parts] {
            figures.shown = visualization->shownFrames();
            figures.dropped = visualization->droppedFrames();
            heartbeatTimer.stop();
            sampleTimer.stop();
            figures.longestSilence = watchdog->longestSilence();
            watchdog.reset();
            parts.mainWindow->close();
        });
    });
    const double ran = secondsSince(start);

    long earlyPeak = 0, latePeak = 0;
    const bool runaway = memoryRunsAway(figures.rss, &earlyPeak, &latePeak);
    const long peak =
        figures.rss.empty() ? 0 : *std::max_element(figures.rss.begin(), figures.rss.end());
    const long final = figures.rss.empty() ? 0 : figures.rss.back();
    std::printf("\n\nSoak: %.0f s on %s (%.0f s of video), seed %u\n", ran, video, videoSeconds,
                seed);
    std::printf("  actions:               %d\n", figures.actions);
    std::printf("  resident memory:       peak %ld MB, final %ld MB (first third peak %ld MB, "
                "last third peak %ld MB)\n",
                peak / 1024, final / 1024, earlyPeak / 1024, latePeak / 1024);
    std::printf("  frames shown/dropped:  %lld / %lld\n", static_cast<long long>(figures.shown),
                static_cast<long long>(figures.dropped));
    std::printf("  longest stall:         %.1f s (in Play mode %.1f s, at %d s of the video)\n",
                figures.longestStall, figures.longestPlayStall, figures.playStallPosition);
    std::printf("  longest GUI silence:   %.2f s\n", figures.longestSilence);
    if (status != 0) {
        std::printf("SOAK FAILED: the player returned %d\n", status);
        return 1;
    }
    if (runaway) {
        std::printf("SOAK FAILED: resident memory kept growing\n");
        return 1;
    }
    if (figures.shown == 0) {
        std::printf("SOAK FAILED: no frame was shown\n");
        return 1;
    }
    std::printf("SOAK PASSED\n");
    return 0;
}

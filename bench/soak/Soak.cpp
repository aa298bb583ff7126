// Soak: the real player, offscreen, on a long video with sound played into a
// null sink of the soak's own sound server, driven for a given time by a
// restless user (see RestlessUser) on the GUI thread. Records resident
// memory, frames shown and dropped, the longest stall of the picture, the
// GUI thread's longest silence and the sound's underruns; fails on a crash,
// on a GUI thread silent for over half a second, on memory above 600 MB or
// growing after the first third, or on more than one underrun a minute away
// from the user's restarts of the sound.
//
//   tessaro-soak VIDEO SECONDS [SEED] [OTHER VIDEO...]

#include "AudioOutput.h"
#include "ControlState.h"
#include "Player.h"
#include "RestlessUser.h"
#include "SoundSink.h"
#include "ThreadVisualitation.h"
#include "VideoReader.h"

#include <QApplication>
#include <QSlider>
#include <QTimer>
#include <QWidget>

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <execinfo.h>
#include <malloc.h>
#include <pthread.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHeartbeatMs = 100;
constexpr double kHangSeconds = 2.0;
constexpr int kSampleMs = 1000;
constexpr double kLongestSilence = 0.5;
// A silence this long has the GUI thread's stack written (the first few).
constexpr double kTracedSilence = 0.3;
constexpr int kTracedSilences = 10;
constexpr long kMemoryLimitKb = 600 * 1024;
// An underrun this soon after the user restarted the sound belongs to the restart.
constexpr double kRestartSeconds = 1.0;
constexpr double kUnderrunsPerMinute = 1.0;

double elapsedSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// What the program's allocations hold now, in the allocator's pools and in
// blocks of their own; resident memory above it is the code, the libraries
// and what the allocator keeps after frees.
long heapKilobytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

long residentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Every thread's stack, from a debugger attached to this process, when one
// is installed.
void dumpThreads() {
    const std::string command = "gdb -p " + std::to_string(getpid()) +
                                " -batch -ex 'thread apply all bt 25' 1>&2 2>/dev/null";
    [[maybe_unused]] const int status = std::system(command.c_str());
}

// The GUI thread's stack, written by the thread itself on a signal from the
// watchdog: where it is while it does not answer. Frames of the program and
// its libraries come as file(+offset), for addr2line.
void writeOwnStack(int) {
    void* frames[64];
    const int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, STDERR_FILENO);
}

class Watchdog {
public:
    // Made on the GUI thread, which it watches.
    Watchdog(std::atomic<int64_t>& heartbeat, Clock::time_point start)
        : heartbeat(heartbeat), start(start), gui(pthread_self()) {
        // Loads what backtrace needs now, not inside the signal.
        void* frame[1];
        backtrace(frame, 1);
        struct sigaction action = {};
        action.sa_handler = writeOwnStack;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGUSR2, &action, nullptr);
        thread = std::thread([this] { watch(); });
    }
    ~Watchdog() {
        stop = true;
        thread.join();
    }
    double longestSilence() const { return longest.load(); }
    // The user's last action when the longest silence was measured.
    const char* longestSilenceAction() const { return longestDuring.load(); }
    // When the longest silence began, in seconds from the soak's start.
    double longestSilenceAt() const { return longestAt.load(); }
    int silencesOverTheLimit() const { return silencesOverLimit.load(); }

private:
    void watch() {
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const int64_t now = Clock::now().time_since_epoch().count();
            const double silent =
                std::chrono::duration<double>(Clock::duration(now - heartbeat.load())).count();
            if (silent > longest) {
                longest = silent;
                longestDuring = RestlessUser::lastAction();
                longestAt = elapsedSince(start) - silent;
            }
            if (silent > kLongestSilence && !overLimit)
                ++silencesOverLimit;
            overLimit = silent > kLongestSilence;
            if (silent > kTracedSilence && !traced) {
                traced = true;
                if (++silencesTraced <= kTracedSilences) {
                    std::fprintf(stderr,
                                 "\ntessaro-soak: the GUI thread silent for %.2f s at %.0f s "
                                 "(after: %s); its stack:\n",
                                 silent, elapsedSince(start) - silent, RestlessUser::lastAction());
                    std::fflush(stderr);
                    pthread_kill(gui, SIGUSR2);
                }
            }
            traced = silent > kTracedSilence && traced;
            if (silent > kHangSeconds) {
                std::fprintf(stderr,
                             "\nSOAK FAILED: the GUI thread did not answer for %.1f s (last "
                             "action: %s)\n",
                             silent, RestlessUser::lastAction());
                std::fflush(stderr);
                dumpThreads();
                std::abort();
            }
        }
    }

    std::atomic<int64_t>& heartbeat;
    const Clock::time_point start;
    const pthread_t gui;
    std::atomic<bool> stop{false};
    std::atomic<double> longest{0.0};
    std::atomic<double> longestAt{0.0};
    std::atomic<const char*> longestDuring{"none"};
    std::atomic<int> silencesOverLimit{0};
    // The watching thread's own.
    bool overLimit = false;
    bool traced = false;
    int silencesTraced = 0;
    std::thread thread;
};

struct Figures {
    std::vector<long> rss;  // one sample a second, in kilobytes
    std::vector<long> heap; // the same, of heapKilobytes
    int64_t underruns = 0;
    int64_t underrunsAway = 0; // not within kRestartSeconds of a restart, nor at the end
    int64_t shown = 0;
    int64_t dropped = 0;
    double longestStall = 0.0;     // picture not advancing, outside pauses
    double longestPlayStall = 0.0; // the same, in Play mode only
    int playStallPosition = 0;     // where in the video (seconds) it happened
    double longestSilence = 0.0;   // between two heartbeats of the GUI thread
    double longestSilenceAt = 0.0; // when it began, from the soak's start
    const char* longestSilenceAction = "none";
    int silencesOverLimit = 0;
    // Resident memory's peak, when it came and what the user had just done.
    long peak = 0;
    double peakAt = 0.0;
    const char* peakAction = "none";
    long peakOutsideSaves = 0; // the same, while no save ran
};

// Memory that grows after the first third: the peak from then on above the
// first third's, by more than what one more cached picture set may take.
bool memoryGrowsLate(const std::vector<long>& rss, long* earlyPeak, long* latePeak) {
    const size_t third = rss.size() / 3;
    *earlyPeak = 0;
    *latePeak = 0;
    for (size_t i = 0; i < rss.size(); ++i)
        (i < third ? *earlyPeak : *latePeak) = std::max(i < third ? *earlyPeak : *latePeak, rss[i]);
    return third > 0 && *latePeak > *earlyPeak + *earlyPeak / 20 + 32 * 1024;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tessaro-soak VIDEO SECONDS [SEED] [OTHER VIDEO...]\n");
        return 2;
    }
    const char* video = argv[1];
    const double duration = std::atof(argv[2]);
    const unsigned seed = argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u;
    std::vector<std::string> videos = {video};
    for (int i = 4; i < argc; ++i)
        videos.emplace_back(argv[i]);

    // Before the player opens its device: the sound goes to the soak's own sink.
    SoundServer sound;
    if (!sound.open())
        std::fprintf(stderr, "tessaro-soak: no sound server could be started; no sound\n");

    // As the player's own start: FFmpeg's notes (x264's at every save) would
    // bury the soak's.
    av_log_set_level(AV_LOG_FATAL);

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
    AudioOutput* audio = nullptr;
    int64_t lastShown = -1, lastUnderruns = 0;
    int64_t shownBefore = 0, droppedBefore = 0; // by the videos opened before
    int64_t shownNow = 0, droppedNow = 0;
    int lastMode = -1;
    auto lastAdvance = Clock::now();

    QTimer heartbeatTimer;
    QObject::connect(&heartbeatTimer, &QTimer::timeout, [&] {
        heartbeat = Clock::now().time_since_epoch().count();
        if (visualization == nullptr)
            return;
        // Where the video open now ends, the sound runs out and the picture
        // stops: neither is a fault.
        const PlayerState now = state.core.state.snapshot();
        const bool atTheEnd = static_cast<int>(now.position) >= state.positionSlider->maximum() - 2;
        const int64_t underruns = audio ? audio->underruns() : 0;
        if (underruns > lastUnderruns) {
            figures.underruns += underruns - lastUnderruns;
            if (std::chrono::duration<double>(Clock::now() - user->counts().lastRestart).count() >
                    kRestartSeconds &&
                !atTheEnd)
                figures.underrunsAway += underruns - lastUnderruns;
        }
        lastUnderruns = underruns;
        const int64_t shown = visualization->shownFrames();
        shownNow = shown;
        droppedNow = visualization->droppedFrames();
        // A stall is timed within one mode: a wait for the summary tree that
        // ends when the user switches to Play is not a stall of Play.
        const int mode = static_cast<int>(now.shownMode());
        if (shown != lastShown || now.paused || mode != lastMode || atTheEnd) {
            lastShown = shown;
            lastMode = mode;
            lastAdvance = Clock::now();
            return;
        }
        const double stall = elapsedSince(lastAdvance);
        figures.longestStall = std::max(figures.longestStall, stall);
        if (now.shownMode() == PlayerMode::Play && stall > figures.longestPlayStall) {
            figures.longestPlayStall = stall;
            figures.playStallPosition = static_cast<int>(now.position);
        }
    });
    QTimer sampleTimer;
    QObject::connect(&sampleTimer, &QTimer::timeout, [&] {
        const long resident = residentKilobytes();
        if (resident > figures.peak) {
            figures.peak = resident;
            figures.peakAt = elapsedSince(start);
            figures.peakAction = RestlessUser::lastAction();
        }
        if (!user->saving())
            figures.peakOutsideSaves = std::max(figures.peakOutsideSaves, resident);
        figures.rss.push_back(resident);
        figures.heap.push_back(heapKilobytes());
    });

    const int status = runPlayer(application, video, videoSeconds, [&](const PlayerParts& parts) {
        audio = parts.audio;
        if (user) {
            // Another video opened: its threads are new.
            shownBefore += shownNow;
            droppedBefore += droppedNow;
            shownNow = droppedNow = 0;
            lastShown = -1;
            visualization = parts.visualization;
            return;
        }
        visualization = parts.visualization;
        heartbeatTimer.start(kHeartbeatMs);
        sampleTimer.start(kSampleMs);
        heartbeat = Clock::now().time_since_epoch().count();
        watchdog = std::make_unique<Watchdog>(heartbeat, start);
        user = std::make_unique<RestlessUser>(parts.mainWindow, state, seed, videos);
        user->scheduleNext();
        QWidget* window = parts.mainWindow;
        QTimer::singleShot(static_cast<int>(duration * 1000), window, [&, window] {
            figures.shown = shownBefore + visualization->shownFrames();
            figures.dropped = droppedBefore + visualization->droppedFrames();
            heartbeatTimer.stop();
            sampleTimer.stop();
            figures.longestSilence = watchdog->longestSilence();
            figures.longestSilenceAction = watchdog->longestSilenceAction();
            figures.longestSilenceAt = watchdog->longestSilenceAt();
            figures.silencesOverLimit = watchdog->silencesOverTheLimit();
            watchdog.reset();
            window->close();
        });
    });
    const double ran = elapsedSince(start);

    long earlyPeak = 0, latePeak = 0;
    const bool growing = memoryGrowsLate(figures.rss, &earlyPeak, &latePeak);
    const long peak = figures.peak;
    const long final = figures.rss.empty() ? 0 : figures.rss.back();
    long heapEarly = 0, heapLate = 0;
    memoryGrowsLate(figures.heap, &heapEarly, &heapLate);
    const double minutes = ran / 60.0;
    const RestlessUser::Counts done = user ? user->counts() : RestlessUser::Counts{};
    std::printf("\n\nSoak: %.0f s on %s (%.0f s of video), seed %u\n", ran, video, videoSeconds,
                seed);
    std::printf("  actions:               %d (speed %d, picture steps %d, mute/volume %d, "
                "opens %d, saves cancelled %d, files left by them %d)\n",
                done.actions, done.speedChanges, done.pictureSteps, done.soundChanges, done.opens,
                done.savesCancelled, done.savesLeftBehind);
    std::printf("  resident memory:       peak %ld MB, final %ld MB (first third peak %ld MB, "
                "later peak %ld MB); the peak at %.0f s (after: %s)\n",
                peak / 1024, final / 1024, earlyPeak / 1024, latePeak / 1024, figures.peakAt,
                figures.peakAction);
    std::printf("  outside saves:         peak %ld MB\n", figures.peakOutsideSaves / 1024);
    std::printf("  heap in use:           peak %ld MB, final %ld MB (first third peak %ld MB, "
                "later peak %ld MB)\n",
                std::max(heapEarly, heapLate) / 1024,
                figures.heap.empty() ? 0L : figures.heap.back() / 1024, heapEarly / 1024,
                heapLate / 1024);
    std::printf("  frames shown/dropped:  %lld / %lld\n", static_cast<long long>(figures.shown),
                static_cast<long long>(figures.dropped));
    std::printf("  longest stall:         %.1f s (in Play mode %.1f s, at %d s of the video)\n",
                figures.longestStall, figures.longestPlayStall, figures.playStallPosition);
    std::printf("  longest GUI silence:   %.2f s at %.0f s (after: %s); %d over %.1f s\n",
                figures.longestSilence, figures.longestSilenceAt, figures.longestSilenceAction,
                figures.silencesOverLimit, kLongestSilence);
    std::printf("  sound underruns:       %lld (%.2f a minute); %lld away from restarts "
                "(%.2f a minute)\n",
                static_cast<long long>(figures.underruns), figures.underruns / minutes,
                static_cast<long long>(figures.underrunsAway), figures.underrunsAway / minutes);
    bool failed = status != 0;
    const auto fail = [&failed](const char* why) {
        std::printf("SOAK FAILED: %s\n", why);
        failed = true;
    };
    if (status != 0)
        fail("the player returned an error");
    if (peak > kMemoryLimitKb)
        fail("resident memory went above 600 MB");
    if (growing)
        fail("resident memory kept growing after the first third");
    if (figures.longestSilence > kLongestSilence)
        fail("the GUI thread was silent for more than half a second");
    if (figures.underrunsAway > kUnderrunsPerMinute * minutes)
        fail("the sound ran dry more than once a minute away from restarts");
    if (done.savesLeftBehind > 0)
        fail("a cancelled save left a file behind");
    if (figures.shown == 0)
        fail("no frame was shown");
    if (!failed)
        std::printf("SOAK PASSED\n");
    return failed ? 1 : 0;
}

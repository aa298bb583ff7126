// tessaro-play-bench --sound-check [FILE]: whether the player's sound goes
// with its pictures, measured through a real sound server. It plays the
// video in the real player offscreen, its sound going to a null sink of a
// PulseAudio server of the bench's own, while a recording of the sink's
// monitor runs: Play with a pause in the middle, then a summary from the
// start. Each white frame shown is timed against its beep in the
// recording; each kept fragment's whole seconds against the beeps heard
// then (and how much of each), and the kept time against the stretches of
// digital silence in it.

#include "SoundCheck.h"

#include "AudioSpanSource.h"
#include "ChildProcess.h"
#include "ControlState.h"
#include "Demuxer.h"
#include "Frame.h"
#include "MainWindow.h"
#include "Player.h"
#include "PlayerDriving.h"
#include "SliderLCD.h"
#include "SoundSink.h"
#include "ThreadDecoding.h"
#include "ThreadVisualitation.h"
#include "VideoReader.h"

#include <QApplication>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include <unistd.h>

extern "C" {
#include <libavutil/audio_fifo.h>
}

namespace {

// What the loose check (--check-loose) allows: a picture and its sound this
// far apart are plainly not together.
constexpr double kLooseOffsetMs = 250;
// The figures: offsets in Play and in Summary, what is heard of a kept
// beep and of the kept time, a variable rate's pictures and a changed
// sample rate's pitch.
constexpr double kMedianOffsetMs = 40;
constexpr double kWorstOffsetMs = 80;
constexpr double kShortestBeepMs = 45;
constexpr double kHeardShare = 0.99;
constexpr double kRateTolerance = 0.01;
constexpr double kDroppedShare = 0.01;
constexpr double kPitchHz = 1000;
constexpr double kPitchTolerance = 0.01;
constexpr double kSummaryTarget = 0.3;

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Where the video's pictures and its sound start and end, in video time,
// as the player numbers them.
bool probeTimes(const char* path, SoundRun& run) {
    Demuxer probe;
    if (probe.open(path) != Demuxer::Opened::Yes)
        return false;
    const int videoIndex = probe.lowestStream(AVMEDIA_TYPE_VIDEO);
    const int audioIndex = probe.lowestStream(AVMEDIA_TYPE_AUDIO);
    if (videoIndex < 0)
        return false;
    const AVFormatContext* format = probe.format();
    const AVStream* video = probe.stream(videoIndex);
    if (video->start_time != AV_NOPTS_VALUE)
        run.origin = static_cast<double>(video->start_time) * av_q2d(video->time_base);
    if (audioIndex < 0) {
        run.soundFrom = run.soundTo = 0.0;
        return true;
    }
    const AVStream* audio = probe.stream(audioIndex);
    const double base = av_q2d(audio->time_base);
    run.soundFrom = audio->start_time != AV_NOPTS_VALUE
                        ? static_cast<double>(audio->start_time) * base
                        : run.origin;
    if (audio->duration != AV_NOPTS_VALUE && audio->duration > 0)
        run.soundTo = run.soundFrom + static_cast<double>(audio->duration) * base;
    else if (format->duration > 0)
        run.soundTo = run.origin + static_cast<double>(format->duration) / AV_TIME_BASE;
    return true;
}

// The file's own lag of sound behind pictures: the first whole second of
// its sound, looked for within half a second of where its flash stands.
double ownSoundLag(const char* path, const SoundRun& run) {
    constexpr int kRate = 48000;
    AudioSpanSource source;
    std::string error;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    if (!std::isfinite(run.soundFrom) || !source.open(path, &error) ||
        !source.setOutput(mono, AV_SAMPLE_FMT_FLT, kRate, &error))
        return 0.0;
    const double second = run.origin + std::ceil(run.soundFrom - run.origin + 0.1);
    ffmpeg::AudioFifoPtr fifo(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, 1, kRate));
    const int64_t from = std::llround((second - 0.5) * kRate);
    if (!fifo || !source.take(from, kRate, fifo.get()))
        return 0.0;
    std::vector<float> samples(kRate);
    void* planes[1] = {samples.data()};
    if (av_audio_fifo_read(fifo.get(), planes, kRate) != kRate)
        return 0.0;
    // The beep starts at the first sample above half the loudest: mixed
    // down from 5.1, the noise of the six channels adds up to half a beep's
    // loudness in a single one.
    float loudest = 0.0f;
    for (float v : samples)
        loudest = std::max(loudest, std::abs(v));
    for (int i = 0; loudest > 0.0f && i < kRate; ++i)
        if (std::abs(samples[i]) > loudest / 2)
            return static_cast<double>(from + i) / kRate - second;
    return 0.0;
}

std::string offsetText(const OffsetFigures& o) {
    char text[96];
    if (o.flashes == 0)
        return "no flash shown";
    std::snprintf(text, sizeof text, "median %.0f ms, worst %.0f ms", o.medianMs, o.worstMs);
    return text;
}

void printFigures(const SoundFigures& f) {
    std::printf("\n");
    if (f.play.flashes == 0)
        std::printf("av offset: no flash shown\n");
    else
        std::printf("av offset: median %.0f ms, worst %.0f ms (%d flashes, %d beeps)\n",
                    f.play.medianMs, f.play.worstMs, f.play.flashes, f.beeps);
    std::printf("beeps: heard %d of %d kept\n", f.keptHeard, f.keptBeeps);
    std::printf("pause: %d beeps heard while paused\n", f.heardWhilePaused);
    std::printf("summary av offset: %s (%d flashes)\n", offsetText(f.summary).c_str(),
                f.summary.flashes);
    std::printf("summary sound: %.1f %% of the kept time heard, shortest kept beep %.0f ms of 50\n",
                f.heardShare * 100, f.shortestKeptMs);
    std::printf("play rate: %.2f shown per second of %.2f, %.1f %% dropped\n", f.shownRate,
                f.realRate, f.droppedShare * 100);
    std::printf("pitch: %.0f to %.0f Hz (%d beeps)\n", f.lowestPitch, f.highestPitch,
                f.pitchedBeeps);
}

bool offsetsMet(const OffsetFigures& o) {
    return o.flashes > 0 && o.medianMs <= kMedianOffsetMs && o.worstMs <= kWorstOffsetMs;
}

} // namespace

std::string missedFigures(const SoundResult& result, bool rate, bool pitch) {
    const SoundFigures& f = result.figures;
    std::string missed;
    const auto miss = [&missed](const std::string& what) {
        missed += missed.empty() ? what : ", " + what;
    };
    using Failure = SoundResult::Failure;
    static const char* const failures[] = {"the player's status", "the video unread",
                                           "no recording",        "interrupted",
                                           "the bench's copy",    "hung"};
    if (!result.measured || result.status != 0)
        miss(std::string("the run (") + failures[static_cast<int>(result.failure)] + ", status " +
             std::to_string(result.status) + ")");
    if (result.failure != Failure::None)
        return missed;
    if (!offsetsMet(f.play))
        miss("play offset");
    if (!offsetsMet(f.summary))
        miss("summary offset");
    if (f.keptBeeps == 0 || f.keptHeard < f.keptBeeps)
        miss("kept beeps heard");
    if (!(f.shortestKeptMs >= kShortestBeepMs))
        miss("whole beeps");
    if (!(f.heardShare >= kHeardShare))
        miss("kept time heard");
    if (rate && !(std::abs(f.shownRate / f.realRate - 1) <= kRateTolerance &&
                  f.droppedShare <= kDroppedShare))
        miss("rate");
    if (pitch &&
        !(f.pitchedBeeps > 0 && std::abs(f.lowestPitch - kPitchHz) <= kPitchHz * kPitchTolerance &&
          std::abs(f.highestPitch - kPitchHz) <= kPitchHz * kPitchTolerance))
        miss("pitch");
    return missed;
}

int withoutSink() {
    if (interrupted())
        return kInterrupted;
    std::fprintf(stderr, "tessaro-play-bench: no PulseAudio null sink\n");
    return kSkipped;
}

bool makeBeepVideo(const BeepVideo& v, const std::string& path) {
    char pictures[320];
    std::snprintf(pictures, sizeof pictures,
                  "testsrc2=s=%s:r=%d:d=%g,drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:"
                  "enable='lt(mod(t,1),0.04)'%s%s",
                  v.size, v.frameRate, v.seconds, v.pictureFilter.empty() ? "" : ",",
                  v.pictureFilter.c_str());
    char sound[320];
    std::snprintf(sound, sizeof sound,
                  "aevalsrc='0.125*sin(2*PI*1000*t)*lt(mod(t\\,1)\\,0.05)+0.01*(2*random(0)-1)'"
                  ":s=%d:c=%s:d=%g",
                  v.sampleRate, v.channels, v.seconds - v.soundDelay - v.soundEndsEarly);
    std::vector<std::string> command = {"ffmpeg", "-hide_banner", "-nostdin", "-loglevel",
                                        "error",  "-y",           "-f",       "lavfi",
                                        "-i",     pictures};
    if (v.soundDelay > 0)
        command.insert(command.end(), {"-itsoffset", std::to_string(v.soundDelay)});
    command.insert(command.end(), {"-f", "lavfi", "-i", sound});
    command.insert(command.end(), v.output.begin(), v.output.end());
    command.push_back(path);
    return runProgram(command, 300, false) == 0;
}

SoundResult measureSound(const SoundPlan& plan, int argc, char** argv) {
    SoundResult result;
    SoundRun run;
    run.pitchAfter = plan.pitchAfter;
    result.failure = SoundResult::Failure::Video;
    if (!probeTimes(plan.file.c_str(), run))
        return result;
    run.ownLag = ownSoundLag(plan.file.c_str(), run);
    Recording recording;
    result.failure = SoundResult::Failure::Recording;
    if (!recording.start())
        return result;
    result.failure = SoundResult::Failure::Video;

    useDesktopOffscreen();
    QApplication application(argc, argv);
    double seconds = 0.0;
    if (!probeVideo(plan.file.c_str(), &seconds))
        return result;

    // Summary's frames: those shown after its restart from the start, from
    // the first one at the start of the new timeline (a frame taken before
    // may follow the restart). Those between Play and it count for neither.
    std::atomic<bool> leftPlay{false};
    std::atomic<int64_t> summaryAfterRestart{-1};
    // Home waits for the summary from Play's position to pass its first
    // second: a picture the screen took before Home may still be shown
    // after it, and is then no picture of the summary from the start.
    std::atomic<int64_t> summaryFromPlay{-1};
    bool summaryFromPlayBegan = false; // the visualization thread's
    std::atomic<bool> summaryPastFirstSecond{false};
    // The visualization thread alone touches summaryStarted and run.shown
    // until the player has joined it.
    bool summaryStarted = false;
    bool finished = false; // the whole run was played, not cut short by Ctrl-C
    const auto measure = [&](const PlayerParts& parts) {
        PlayerLoop& loop = parts.decoding->loop();
        ThreadVisualitation* visualization = parts.visualization;
        setPlaySpeed(plan.speed);
        parts.visualization->onShown = [&, visualization](const PictureFrame& frame) {
            const double wall = steadySeconds();
            const int64_t after = summaryAfterRestart;
            if (after >= 0 && loop.restarts() > after && frame.playTime < 1.0)
                summaryStarted = true;
            const int64_t left = summaryFromPlay;
            if (left >= 0 && loop.restarts() > left) {
                if (frame.playTime < 1.0)
                    summaryFromPlayBegan = true;
                else if (summaryFromPlayBegan)
                    summaryPastFirstSecond = true;
            }
            if (leftPlay && !summaryStarted)
                return;
            run.shown.push_back({wall, frame.frameTime, frame.playTime, summaryStarted,
                                 visualization->droppedFrames()});
        };
        QTimer::singleShot(0, [&, parts] {
            QWidget* window = parts.mainWindow;
            if (plan.pause) {
                // A pause of 1.5 s in the middle of Play: a beep falls in it.
                if (!runEventsFor(window, plan.playSeconds * 500))
                    return;
                run.pausedAt = run.playMeasuredUntil = steadySeconds();
                press(window, Qt::Key_Space);
                if (!runEventsFor(window, 1500))
                    return;
                run.resumedAt = steadySeconds();
                press(window, Qt::Key_Space);
                if (!runEventsFor(window, plan.playSeconds * 500 + 500))
                    return;
            } else {
                if (!runEventsFor(window, plan.playSeconds * 1000))
                    return;
                run.playMeasuredUntil = steadySeconds();
            }
            // A summary of the whole video at a target that keeps a few
            // fragments: Summary, then Home (Summary restarts where Play
            // stood, Home from the start).
            // The window lets a new target settle before it asks for a new
            // summary: Summary waits for it, else its first pictures follow
            // the old target until the new one rebuilds the summary.
            ControlState& state = controlState();
            const uint64_t ranking = state.settings.snapshot().rankingGeneration;
            QSlider* target = state.targetLengthCtl->slider;
            const bool newTarget = target->value() != static_cast<int>(kSummaryTarget * 100);
            target->setValue(static_cast<int>(kSummaryTarget * 100));
            emit target->sliderReleased();
            if (newTarget && !runEventsFor(window, 5000, [&] {
                    return state.settings.snapshot().rankingGeneration != ranking;
                }))
                return;
            const int64_t beforeSummary = loop.restarts();
            summaryFromPlay = beforeSummary;
            leftPlay = true;
            press(window, Qt::Key_S);
            if (!runEventsFor(window, 5000, [&] { return loop.restarts() > beforeSummary; }))
                return;
            if (!runEventsFor(window, 5000, [&] { return summaryPastFirstSecond.load(); }))
                return;
            summaryAfterRestart = loop.restarts();
            press(window, Qt::Key_Home);
            if (!runEventsFor(window, plan.summarySeconds * 1000))
                return;
            run.closedAt = steadySeconds();
            finished = true;
            window->close();
        });
    };
    result.status = runPlayer(application, plan.file.c_str(), seconds, measure);
    // Frames lie a period apart on the timeline at speed 1, closer faster.
    run.framePeriod = controlState().core.screen.framePeriod / plan.speed;
    run.speed = plan.speed;
    // The last sound played reaches the recording.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const SoundTrack track = recording.stop();
    result.measured = finished;
    result.failure = finished ? SoundResult::Failure::None : SoundResult::Failure::Interrupted;
    if (finished)
        result.figures = soundFigures(run, track);
    return result;
}

// The pictures follow the sound's clock: a busy machine may drop pictures
// but not move them from their sound, nor lose a kept beep.
bool meetsLoosely(const SoundResult& result) {
    const SoundFigures& f = result.figures;
    const bool heardAll = f.keptBeeps > 0 && f.keptHeard == f.keptBeeps;
    const bool together = f.play.flashes > 0 && f.play.worstMs < kLooseOffsetMs;
    return result.measured && result.status == 0 && heardAll && together && f.heardWhilePaused == 0;
}

int soundCheck(const SoundOptions& options, int argc, char** argv) {
    catchInterrupts();
    SoundPlan plan;
    plan.file = options.file;
    plan.playSeconds = options.playSeconds > 0 ? options.playSeconds : 20;
    plan.summarySeconds = options.summarySeconds > 0 ? options.summarySeconds : 25;
    plan.speed = options.speed;
    // The bench's own video, removed when done.
    struct Removed {
        std::string path;
        ~Removed() {
            if (!path.empty())
                std::remove(path.c_str());
        }
    } made;
    if (plan.file.empty()) {
        made.path = plan.file = "/tmp/tessaro-sound-check-" + std::to_string(getpid()) + ".mp4";
        BeepVideo video;
        video.seconds = 30;
        video.size = "640x360";
        video.output = {"-c:v",     "libx264", "-preset", "veryfast", "-g",   "25",
                        "-pix_fmt", "yuv420p", "-c:a",    "aac",      "-b:a", "128k"};
        if (!makeBeepVideo(video, plan.file)) {
            if (interrupted())
                return kInterrupted;
            std::fprintf(stderr, "tessaro-play-bench: cannot make the test video with ffmpeg\n");
            return 1;
        }
    }
    SoundServer server;
    if (!server.open())
        return withoutSink();
    const SoundResult result = measureSound(plan, argc, argv);
    if (result.failure == SoundResult::Failure::Video)
        std::fprintf(stderr, "tessaro-play-bench: cannot read %s\n", plan.file.c_str());
    if (result.failure == SoundResult::Failure::Recording)
        std::fprintf(stderr, "tessaro-play-bench: cannot record the null sink with parec\n");
    if (!result.measured)
        return result.failure == SoundResult::Failure::Interrupted ? kInterrupted : 1;
    const SoundFigures& f = result.figures;
    printFigures(f);
    switch (options.check) {
    case SoundOptions::Check::None:
        return result.status;
    case SoundOptions::Check::Loose:
        return meetsLoosely(result) ? 0 : 1;
    case SoundOptions::Check::Figures:
        break;
    }
    std::string missed = missedFigures(result, false, false);
    if (f.heardWhilePaused > 0)
        missed += missed.empty() ? "pause" : ", pause";
    std::printf("check: %s\n", missed.empty() ? "meets the figures" : ("misses " + missed).c_str());
    return missed.empty() ? 0 : 1;
}

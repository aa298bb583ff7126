// tessaro-play-bench [--depth N] [--nodes N] FILE [SECONDS]: runs the real
// player offscreen on FILE, plays SECONDS (30) and counts the frames shown
// and dropped against the stream's own rate and the processor time the
// whole process took meanwhile, then
// presses Summary and times the first summary frame on screen. Last, the
// peak resident memory of the whole run.

#include "ControlState.h"
#include "Player.h"
#include "SliderLCD.h"
#include "SoundCheck.h"
#include "ThreadDecoding.h"
#include "ThreadVisualitation.h"
#include "VideoReader.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace {

void runEventsFor(
    int milliseconds, const std::function<bool()>& done = [] { return false; }) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds && !done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

QAbstractButton* buttonNamed(QWidget* window, const char* text) {
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (button->text() == QLatin1String(text))
            return button;
    return nullptr;
}

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: tessaro-play-bench [--depth N] [--nodes N] FILE [SECONDS]\n"
                         "       tessaro-play-bench --sound-check\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--sound-check") == 0)
        return soundCheck(argc, argv);
    int depth = 60;
    int nodes = 500;
    const char* file = nullptr;
    int seconds = 30;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--depth") == 0 && i + 1 < argc)
            depth = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--nodes") == 0 && i + 1 < argc)
            nodes = std::atoi(argv[++i]);
        else if (file == nullptr)
            file = argv[i];
        else
            seconds = std::max(1, std::atoi(argv[i]));
    }
    if (file == nullptr)
        return usage();
    const bool awake = keepNullSinkAwake();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    double videoSeconds = 0.0;
    double streamRate = 0.0;
    {
        VideoReader probe(file);
        if (probe.status() != VideoReader::OK)
            return 1;
        videoSeconds = probe.timestampToSeconds(probe.getVideoLength());
        streamRate = probe.getFrameRate();
    }

    const auto measure = [&](const PlayerParts& parts) {
        ControlState& state = controlState();
        state.treeDepthCtl->slider->setValue(depth);
        state.treeNodesCtl->slider->setValue(nodes);
        QTimer::singleShot(0, [parts, seconds, streamRate] {
            // Let playback start, then count over the measured span.
            runEventsFor(1500);
            const int64_t shown0 = parts.visualization->shownFrames();
            const int64_t dropped0 = parts.visualization->droppedFrames();
            const double cpu0 = processorSeconds();
            QElapsedTimer playing;
            playing.start();
            runEventsFor(seconds * 1000);
            const double cpu = (processorSeconds() - cpu0) / (playing.elapsed() / 1000.0);
            const int64_t shown = parts.visualization->shownFrames() - shown0;
            const int64_t dropped = parts.visualization->droppedFrames() - dropped0;
            std::printf("\nplay: %d s, %lld frames shown (%.1f per second), %lld dropped\n",
                        seconds, static_cast<long long>(shown), double(shown) / seconds,
                        static_cast<long long>(dropped));
            std::printf("rate: stream %.2f, shown %.2f per second, %lld dropped\n", streamRate,
                        double(shown) / seconds, static_cast<long long>(dropped));
            std::printf("cpu: %.2f cores in Play\n", cpu);

            PlayerLoop& loop = parts.decoding->loop;
            const int64_t restarts = loop.restarts;
            QElapsedTimer sinceSummary;
            buttonNamed(parts.mainWindow, "Summary")->click();
            sinceSummary.start();
            // After the restart the buffer holds summary frames only.
            runEventsFor(60000, [&] { return loop.restarts > restarts; });
            runEventsFor(120000, [&] { return !parts.playbackQueue->empty(); });
            const int64_t before = parts.visualization->shownFrames();
            runEventsFor(120000, [&] { return parts.visualization->shownFrames() > before; });
            std::printf("summary: first frame after %.2f s\n", sinceSummary.elapsed() / 1000.0);
            // Some summary playing, for the memory it takes.
            runEventsFor(5000);
            std::printf("peak memory: %ld MB\n", peakResidentKilobytes() / 1024);
            std::fflush(stdout);
            parts.mainWindow->close();
        });
    };
    const int status = runPlayer(application, file, videoSeconds, measure);
    if (awake)
        letNullSinkSleep();
    return status;
}

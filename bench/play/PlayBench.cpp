// tessaro-play-bench FILE [SECONDS]: runs the real player offscreen, plays
// FILE for SECONDS (30) and counts the frames shown and dropped against the
// 24 per second it aims at, then presses Summary and times the first summary
// frame on screen.

#include "ControlState.h"
#include "FrameBuffer.h"
#include "Player.h"
#include "ThreadVisualitation.h"
#include "VideoReader.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <functional>

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

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tessaro-play-bench FILE [SECONDS]\n");
        return 2;
    }
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    double videoSeconds = 0.0;
    {
        VideoReader probe(argv[1]);
        if (probe.status != VideoReader::OK)
            return 1;
        videoSeconds = probe.timestampToSeconds(probe.getVideoLength());
    }

    SharedControls& shared = controlState().shared;
    const auto measure = [&](const PlayerParts& parts) {
        QTimer::singleShot(0, [&shared, parts, seconds] {
            // Let playback start, then count over the measured span.
            runEventsFor(1500);
            const int64_t shown0 = parts.visualization->shownFrames();
            const int64_t dropped0 = parts.visualization->droppedFrames();
            runEventsFor(seconds * 1000);
            const int64_t shown = parts.visualization->shownFrames() - shown0;
            const int64_t dropped = parts.visualization->droppedFrames() - dropped0;
            std::printf("\nplay: %d s, %lld frames shown (%.1f per second), %lld dropped\n",
                        seconds, static_cast<long long>(shown), double(shown) / seconds,
                        static_cast<long long>(dropped));

            QElapsedTimer sinceSummary;
            buttonNamed(parts.mainWindow, "Summary")->click();
            sinceSummary.start();
            runEventsFor(60000, [&] { return shared.seenSummaryMode.load(); });
            // The first kept fragment reaches the playback buffer, then the screen.
            runEventsFor(120000, [&] {
                QMutexLocker lock(parts.frameBuffer->mutex);
                return parts.frameBuffer->count > 0;
            });
            const int64_t before = parts.visualization->shownFrames();
            runEventsFor(120000, [&] { return parts.visualization->shownFrames() > before; });
            std::printf("summary: first frame after %.2f s\n", sinceSummary.elapsed() / 1000.0);
            std::fflush(stdout);
            parts.mainWindow->close();
        });
    };
    return runPlayer(application, argv[1], videoSeconds, measure);
}

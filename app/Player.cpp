#include "Player.h"

#include "ControlState.h"
#include "DisplayWindow.h"
#include "FrameBuffer.h"
#include "MainWindow.h"
#include "ThreadDecoding.h"
#include "ThreadImageRefresh.h"
#include "ThreadVisualitation.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {
constexpr const char* kWindowTitle = "Tessaro  summaries while you watch";
constexpr int kDisplayWidth = 445;
constexpr int kDisplayHeight = 335;
constexpr int kPlaybackCapacity = 5000;
constexpr uint32_t kRefreshPeriodMicroseconds = 60000;

void announce(const char* message) {
    std::printf("%s", message);
    std::fflush(stdout);
}

// Ctrl-C or a termination request from the console closes the window the
// ordinary way, so the workers stop and the run ends as if the user closed it.
int signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

std::unique_ptr<QSocketNotifier> closeOnTerminationSignals(QWidget* window) {
    if (pipe(signalPipe) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, window, [window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(signalPipe[0], &byte, 1);
        window->close();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return notifier;
}
} // namespace

int runPlayer(QApplication& application, const char* videoPath, double videoSeconds,
              const std::function<void(const PlayerParts&)>& started) {
    auto mainWindow = std::make_unique<QWidget>();
    mainWindow->setWindowTitle(QString::fromUtf8(kWindowTitle));
    // Adopted by the window's layout, so the window deletes it.
    auto* displayWindow = new DisplayWindow("VIDEO", kDisplayWidth, kDisplayHeight);
    auto frameBuffer = std::make_unique<FrameBuffer>(kPlaybackCapacity);

    buildMainWindow(mainWindow.get(), displayWindow, videoSeconds);
    const auto signalNotifier = closeOnTerminationSignals(mainWindow.get());
    SharedControls& shared = controlState().shared;

    auto decoding = std::make_unique<ThreadDecoding>(videoPath, frameBuffer.get(), shared);
    auto visualization =
        std::make_unique<ThreadVisualitation>(frameBuffer.get(), displayWindow, shared);
    // The refresh brings to the screen a picture whose own repaint request
    // was merged away; an unchanged picture is not painted again.
    auto refresh = std::make_unique<ThreadImageRefresh>(
        displayWindow, kRefreshPeriodMicroseconds,
        [displayWindow] { return displayWindow->pictureIsNew(); });

    refresh->start(QThread::HighPriority);
    announce("\nRefreshing thread initiated");
    decoding->start(QThread::InheritPriority);
    announce("\nDecoding thread initiated");
    visualization->start(QThread::HighPriority);
    announce("\nVisualitation thread initiated");
    if (started)
        started({mainWindow.get(), frameBuffer.get(), decoding.get(), visualization.get(),
                 refresh.get()});

    const int result = application.exec();
    std::printf("\nFinished %d", result);

    // Stop every worker before the window and the buffer they use go away.
    refresh->stop();
    visualization->requestStop();
    decoding->requestStop();
    refresh->wait();
    visualization->wait();
    decoding->wait();
    decoding.reset();
    visualization.reset();
    refresh.reset();
    frameBuffer.reset();
    mainWindow.reset();
    return 0;
}

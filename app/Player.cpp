#include "Player.h"

#include "ControlState.h"
#include "DisplayWindow.h"
#include "FrameBuffer.h"
#include "MainWindow.h"
#include "ThreadDecoding.h"
#include "ThreadImageRefresh.h"
#include "ThreadVisualitation.h"

#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <memory>

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
} // namespace

int runPlayer(QApplication& application, const char* videoPath, double videoSeconds) {
    auto mainWindow = std::make_unique<QWidget>();
    mainWindow->setWindowTitle(QString::fromUtf8(kWindowTitle));
    // Adopted by the window's layout, so the window deletes it.
    auto* displayWindow = new DisplayWindow("VIDEO", kDisplayWidth, kDisplayHeight);
    auto frameBuffer = std::make_unique<FrameBuffer>(kPlaybackCapacity);

    buildMainWindow(mainWindow.get(), displayWindow, videoSeconds);
    SharedControls& shared = controlState().shared;

    auto decoding = std::make_unique<ThreadDecoding>(videoPath, frameBuffer.get(), shared);
    auto visualization =
        std::make_unique<ThreadVisualitation>(frameBuffer.get(), displayWindow, shared);
    auto refresh =
        std::make_unique<ThreadImageRefresh>(mainWindow.get(), kRefreshPeriodMicroseconds);

    refresh->start(QThread::HighPriority);
    announce("\nRefreshing thread initiated");
    decoding->start(QThread::InheritPriority);
    announce("\nDecoding thread initiated");
    visualization->start(QThread::HighPriority);
    announce("\nVisualitation thread initiated");

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
    frameBuffer->deleteAllFrames();
    mainWindow.reset();
    return 0;
}

#pragma once

#include <functional>

class FrameBuffer;
class QApplication;
class QWidget;
class ThreadDecoding;
class ThreadImageRefresh;
class ThreadVisualitation;

// What a running player is made of, for tests and measurements that watch it.
struct PlayerParts {
    QWidget* mainWindow = nullptr;
    FrameBuffer* frameBuffer = nullptr;
    ThreadDecoding* decoding = nullptr;
    ThreadVisualitation* visualization = nullptr;
    ThreadImageRefresh* refresh = nullptr;
};

// Builds the window, starts the refresh, decoding and visualization threads
// and runs the event loop. When the window closes the workers are stopped and
// joined before anything they use is destroyed. Returns the process status.
// `started`, when given, is called on the GUI thread once the threads run.
int runPlayer(QApplication& application, const char* videoPath, double videoSeconds,
              const std::function<void(const PlayerParts&)>& started = {});

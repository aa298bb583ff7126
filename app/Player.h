#pragma once

class QApplication;

// Builds the window, starts the refresh, decoding and visualization threads
// and runs the event loop. When the window closes the workers are stopped and
// joined before anything they use is destroyed. Returns the process status.
int runPlayer(QApplication& application, const char* videoPath, double videoSeconds);

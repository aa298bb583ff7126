// Tessaro: plays a video, or a summary of it built while it plays.

#include "ObjectDetector.h"
#include "OpeningFailure.h"
#include "Player.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {
constexpr const char* kMissingVideo = "\nMust specify input video";
// The desktop entry's mark before the path: started where nobody reads the
// console, the player says in a window why a file does not open.
constexpr const char* kFromDesktop = "--from-desktop";
} // namespace

int main(int argc, char** argv) {
    // Before anything else: the player does not start without both cascades.
    if (!clapperDetectorsLoad()) {
        std::fputs(CASCADE_LOAD_ERROR, stderr);
        return -1;
    }

    // The console carries Tessaro's own messages; FFmpeg's notes on damaged
    // pictures would bury them.
    av_log_set_level(AV_LOG_FATAL);

    QApplication application(argc, argv);
    int first = 1;
    const bool fromDesktop = argc > first && std::strcmp(argv[first], kFromDesktop) == 0;
    if (fromDesktop)
        ++first;
    if (argc <= first) {
        std::printf("%s", kMissingVideo);
        std::fflush(stdout);
        return -1;
    }
    const char* videoPath = argv[first];

    double videoSeconds = 0.0;
    if (!probeVideo(videoPath, &videoSeconds)) {
        const QString path = QFile::decodeName(videoPath);
        const QString reason = openingFailureReason(path);
        reportOpeningFailure(videoPath, reason);
        if (fromDesktop)
            openingFailureBox(path, reason)->exec();
        return -1;
    }
    return runPlayer(application, videoPath, videoSeconds, {}, true);
}

// Tessaro: plays a video, or a summary of it built while it plays.

#include "ObjectDetector.h"
#include "Player.h"

#include <QApplication>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <cstdio>
#include <memory>

namespace {
constexpr const char* kMissingVideo = "\nMust specify input video";
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
    if (argc < 2) {
        std::printf("%s", kMissingVideo);
        std::fflush(stdout);
        return -1;
    }
    const char* videoPath = argv[1];

    double videoSeconds = 0.0;
    if (!probeVideo(videoPath, &videoSeconds))
        return -1;
    return runPlayer(application, videoPath, videoSeconds, {}, true);
}

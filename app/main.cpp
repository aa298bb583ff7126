// Tessaro: plays a video, or a summary of it built while it plays.

#include "ObjectDetector.h"
#include "Player.h"
#include "VideoReader.h"

#include <QApplication>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdint>
#include <cstdio>
#include <memory>

namespace {
constexpr const char* kMissingVideo = "\nMust specify input video";
constexpr const char* kBadLength = "\nERROR: Incorrect video length (%lu)";
constexpr const char* kCannotOpen = "\nERROR: Cannot open video %s";
} // namespace

int main(int argc, char** argv) {
    // The clapperboard detectors were loaded during static initialisation;
    // naming them here keeps them in the program.
    (void)&whiteClapperDetector;
    (void)&blackClapperDetector;

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
    {
        auto probe = std::make_unique<VideoReader>(videoPath);
        if (probe->status != VideoReader::OK) {
            // The reader has said why; a reader without a stream answers no questions.
            std::printf(kCannotOpen, videoPath);
            std::fflush(stdout);
            return -1;
        }
        int width = 0;
        int height = 0;
        probe->getVideoSize(&width, &height);
        const int64_t length = probe->getVideoLength();
        videoSeconds = probe->timestampToSeconds(length);
        if (length <= 0)
            std::printf(kBadLength, static_cast<unsigned long>(static_cast<uint32_t>(length)));
    }
    return runPlayer(application, videoPath, videoSeconds);
}

// Tessaro: plays a video, or a summary of it built while it plays.

#include "ListPlayback.h"
#include "ObjectDetector.h"
#include "OpeningFailure.h"
#include "Player.h"
#include "WindowControl.h"

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
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {
constexpr const char* kMissingVideo = "\nMust specify input video";
// The desktop entry's mark before the path: started where nobody reads the
// console, the player says in a window why a file does not open.
constexpr const char* kFromDesktop = "--from-desktop";

#ifndef TESSARO_VERSION
#define TESSARO_VERSION "unknown"
#endif

constexpr const char* kUsage = R"(Usage: tessaro [--from-desktop] VIDEO [VIDEO...]
   or: tessaro --help | --version

Plays VIDEO (any file FFmpeg can read), or a summary of it chosen live while
it plays: press S for Summary, and only the parts the summary keeps are
played, at the target length and weights the window's sliders set.
Another video can be opened with Ctrl+O or by dropping its file on the window.
Several videos play one after the other, in the mode the one before ended in;
one that cannot be opened is passed over.

Options:
  --from-desktop  started by the desktop entry or a file manager: when no file
                  opens, each one is also explained in a message window, and
                  without a VIDEO a file dialog asks for one
  -h, --help      show this text and exit
  --version       show the version and exit

Keys:
  Space           pause; again, back to the mode that was paused
  S / P           Summary / Play
  Left / Right    5 s back / on
  Down / Up       60 s back / on
  Home            to the start
  F               full screen (also a double click); again, or Esc, to leave it
  M               mute
  + / -           volume up / down
  [ / ]           slower / faster (0.5 to 2 times the video's speed)
  Backspace       back to the video's own speed
  , / .           in a pause: the previous / next picture
  Ctrl+S          save the whole video's summary
  Ctrl+Shift+S    save the picture on screen as PNG
  Ctrl+C          copy the picture on screen
  Ctrl+O          open another video, or several to play in turn
  Ctrl+Shift+O    play a folder's videos in turn
  Page Down / Up  the next / previous video
  C               show or hide the panels of settings
  V               show or hide the subtitles
  Q               close

Environment:
  TESSARO_NO_STORE=1     neither read nor fill the descriptor store
  TESSARO_STORE_LIMIT    the store's size (bytes, or 500M, 4G...; default 2G)
  XDG_CACHE_HOME         the store's folder is $XDG_CACHE_HOME/tessaro
                         (else ~/.cache/tessaro)
  XDG_CONFIG_HOME        where videos were left is kept in
                         $XDG_CONFIG_HOME/tessaro/player.ini
                         (else ~/.config/tessaro/player.ini)

Exit status:
  0    a normal run (the window closed, or Ctrl-C on the console)
  255  no video given, no video given can be opened, or a cascade file is
       missing
)";

// Only as the one word given: with anything else the words mean what they always did.
bool printsUsage(int argc, char** argv) {
    if (argc != 2)
        return false;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, stdout);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("tessaro %s\n", TESSARO_VERSION);
        return true;
    }
    return false;
}
} // namespace

int main(int argc, char** argv) {
    if (printsUsage(argc, argv))
        return 0;

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
    // Started from the desktop's menu there is no file yet: the player asks
    // for one rather than end without a word.
    const QByteArray chosen =
        fromDesktop && argc <= first ? QFile::encodeName(chooseVideo(nullptr)) : QByteArray();
    if (argc <= first && chosen.isEmpty()) {
        std::printf("%s", kMissingVideo);
        std::fflush(stdout);
        return -1;
    }
    std::vector<std::string> paths;
    for (int k = first; k < argc; ++k)
        paths.emplace_back(argv[k]);
    if (paths.empty())
        paths.emplace_back(chosen.constData());

    // The first video that opens plays; each one before it is named on the
    // console, and on the picture once it is up. None: the run ends here.
    PlayList list(paths);
    double videoSeconds = 0.0;
    QStringList passedOver;
    std::vector<std::pair<QString, QString>> refused;
    const auto opens = [&](const std::string& path) {
        const std::optional<QString> reason = probeOrSayWhy(path, &videoSeconds, QString());
        if (!reason)
            return true;
        passedOver << cannotOpenNotice(path, *reason);
        refused.emplace_back(QFile::decodeName(path.c_str()), *reason);
        return false;
    };
    if (!list.openFrom(0, 1, opens)) {
        if (fromDesktop)
            for (const auto& [path, reason] : refused)
                openingFailureBox(path, reason)->exec();
        return -1;
    }
    return runPlayer(application, list.current().c_str(), videoSeconds, {}, true,
                     paths.size() > 1 ? list : PlayList(), passedOver);
}

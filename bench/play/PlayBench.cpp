// tessaro-play-bench [--depth N] [--nodes N] FILE [SECONDS]: runs the real
// player offscreen on FILE, plays SECONDS (30) and counts the frames shown
// and dropped against the stream's own rate and the processor time the
// whole process took meanwhile, then
// presses Summary and times the first summary frame on screen. Last, the
// peak resident memory of the whole run. The descriptor store is a new one:
// the video is analysed while it plays, and once the analysis is complete,
// the summary map's time after a new target is taken before Summary, and
// when the key frames' thumbnails, the provisional map and the exact map
// came after the opening.

#include "CommandLineReading.h"
#include "ControlState.h"
#include "MainWindow.h"
#include "Player.h"
#include "PlayerDriving.h"
#include "SettingsSchema.h"
#include "SliderLCD.h"
#include "SoundCheck.h"
#include "SoundSink.h"
#include "StoreSide.h"
#include "ThreadDecoding.h"
#include "ThreadVisualitation.h"
#include "VideoReader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>
#include <QTimer>
#include <QWidget>

#include <CLI/CLI.hpp>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace {

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

// Seconds with a tenth, or a dash for what never came.
std::string secondsText(double seconds) {
    if (seconds < 0.0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

constexpr const char* kSynopsis =
    "usage: tessaro-play-bench [--depth N] [--nodes N] [--speed X] [--store DIR] FILE [SECONDS]\n"
    "       tessaro-play-bench --sound-check\n"
    "       tessaro-play-bench --sound-check [FILE] [PLAY SUMMARY] [--speed X]\n"
    "                          [--check | --check-loose]\n"
    "       tessaro-play-bench --sound-check --formats [NAME,...] [PLAY SUMMARY]\n"
    "                          [--check | --check-loose]\n"
    "       tessaro-play-bench --help\n";
constexpr const char* kUsage =
    "\n"
    "FILE [SECONDS]     the real player offscreen: SECONDS (30) of Play, then Summary\n"
    "  --depth, --nodes the tree limits for Summary (60, 500)\n"
    "  --speed X        play at X times the video's speed (0.5 to 2; 1), as [ and ] do\n"
    "  --store DIR      the descriptor store under DIR/tessaro, kept (else a new one, removed);\n"
    "                   once the video is analysed: the store's figures, then Summary from it\n"
    "--sound-check      the sound against the pictures through the null sink of a PulseAudio\n"
    "                   server of its own: PLAY seconds (20) of Play with a pause,\n"
    "                   then SUMMARY seconds (25) of a summary from the start at target 0.3, on\n"
    "                   FILE (a 50 ms 1 kHz beep and a white frame at each whole second) or on\n"
    "                   a video it makes so; prints the offsets of flashes to beeps in Play and\n"
    "                   in Summary, the kept beeps heard and the shortest of them, the share of\n"
    "                   the kept time with sound, Play's rate, and the beeps' pitch\n"
    "  --formats        the same on twelve formats it makes (4 s of Play, 6 of Summary each),\n"
    "                   one line a format; NAME,... only those (their files' names without\n"
    "                   extension: aac48k flac96k aac8k pcm ac3 opus mp3 fps240 vfr\n"
    "                   ratechange late early)\n"
    "  --check          exit 1 unless every figure is met: offsets median <= 40 ms and worst\n"
    "                   <= 80 ms in Play and in Summary, every kept beep heard and >= 45 ms\n"
    "                   of 50, sound over >= 99 % of the kept time, no beep in the pause;\n"
    "                   a variable rate shown within 1 % of its real rate with <= 1 %\n"
    "                   dropped; after a change of sample rate the pitch within 1 % of\n"
    "                   1000 Hz\n"
    "  --check-loose    exit 1 unless every kept beep is heard, none during the pause, and\n"
    "                   every flash is within 250 ms of its beep\n"
    "Exit status: 0, 1 (a check failed, or the run), 2 (bad command line), 77 (no sound\n"
    "server: skipped), 130 (interrupted).\n";

int usage() {
    std::fputs(kSynopsis, stderr);
    return 2;
}

bool isNumber(const char* text) {
    char* end = nullptr;
    std::strtol(text, &end, 10);
    return *text != '\0' && *end == '\0';
}

// The speed after --speed: 0 when it is not one the player plays at.
double speedArgument(const char* text) {
    char* end = nullptr;
    const double speed = std::strtod(text, &end);
    return *text != '\0' && *end == '\0' && speed >= 0.5 && speed <= 2.0 ? speed : 0.0;
}

// An option taking a value that take accepts, or refuses.
void valueOption(CLI::App& app, const char* name, std::function<bool(const std::string&)> take) {
    app.add_option(name)
        ->each([take](const std::string& text) {
            if (!take(text))
                throw CommandLineRefusal{kSynopsis};
        })
        ->trigger_on_parse();
}

// The plain words after the mode's own, read with CLI11; false on a bad
// command line. Beside what CLI11 refuses, "-", "--" and "--name=value",
// which this bench never took, are refused too.
bool readArguments(int argc, char** argv, int skip, const std::function<void(CLI::App&)>& define,
                   const std::function<void()>& reset, std::vector<std::string>* words) {
    const auto neverTaken = [](const std::string& word) {
        const bool attached = word.rfind("--", 0) == 0 && word.find('=') != std::string::npos;
        return word == "-" || word == "--" || attached ? std::string(kSynopsis) : std::string();
    };
    CommandLineReading reading =
        readCommandLine({argv + skip, argv + argc}, define, reset, neverTaken);
    *words = std::move(reading.words);
    return reading.refusal.empty();
}

// tessaro-play-bench --sound-check ...: 2 on a bad command line.
int soundCheckCommand(int argc, char** argv) {
    SoundOptions options;
    const auto define = [&options](CLI::App& app) {
        app.add_flag_callback("--check",
                              [&options] { options.check = SoundOptions::Check::Figures; })
            ->trigger_on_parse();
        app.add_flag_callback("--check-loose",
                              [&options] { options.check = SoundOptions::Check::Loose; })
            ->trigger_on_parse();
        app.add_flag_callback("--formats", [&options] { options.formats = true; })
            ->trigger_on_parse();
        valueOption(app, "--speed", [&options](const std::string& text) {
            options.speed = speedArgument(text.c_str());
            return options.speed > 0;
        });
    };
    std::vector<std::string> words;
    if (!readArguments(
            argc, argv, 2, define, [&options] { options = SoundOptions(); }, &words))
        return usage();
    std::vector<int> numbers;
    for (const std::string& word : words) {
        if (isNumber(word.c_str()) && std::atoi(word.c_str()) > 0)
            numbers.push_back(std::atoi(word.c_str()));
        else if (word.rfind("-", 0) != 0 && options.file.empty() && numbers.empty())
            options.file = word;
        else
            return usage();
    }
    if (numbers.size() == 2) {
        options.playSeconds = numbers[0];
        options.summarySeconds = numbers[1];
    } else if (!numbers.empty()) {
        return usage();
    }
    if (options.formats)
        options.only = std::exchange(options.file, {});
    return options.formats ? soundFormats(options, argc, argv) : soundCheck(options, argc, argv);
}

// What a run of Play then Summary is told on its command line.
struct PlayOptions {
    int depth = static_cast<int>(settingEntry(Setting::Depth).fallback);
    int nodes = static_cast<int>(settingEntry(Setting::Nodes).fallback);
    double speed = 1.0;
    std::optional<std::string> store;
    std::string file;
    int seconds = 30;
};

// false on a bad command line.
bool readPlayOptions(int argc, char** argv, PlayOptions* options) {
    const auto define = [options](CLI::App& app) {
        for (int* limit : {&options->depth, &options->nodes})
            valueOption(app, limit == &options->depth ? "--depth" : "--nodes",
                        [limit](const std::string& text) {
                            *limit = std::atoi(text.c_str());
                            return isNumber(text.c_str());
                        });
        valueOption(app, "--store", [options](const std::string& text) {
            options->store = text;
            return true;
        });
        valueOption(app, "--speed", [options](const std::string& text) {
            options->speed = speedArgument(text.c_str());
            return options->speed > 0;
        });
    };
    std::vector<std::string> words;
    if (!readArguments(
            argc, argv, 1, define, [options] { *options = PlayOptions(); }, &words) ||
        words.empty())
        return false;
    options->file = words.front();
    for (size_t i = 1; i < words.size(); ++i) {
        if (!isNumber(words[i].c_str()))
            return false;
        options->seconds = std::max(1, std::atoi(words[i].c_str()));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kSynopsis, stdout);
            std::fputs(kUsage, stdout);
            return 0;
        }
    if (argc > 1 && std::strcmp(argv[1], "--sound-check") == 0)
        return soundCheckCommand(argc, argv);
    PlayOptions options;
    if (!readPlayOptions(argc, argv, &options))
        return usage();
    const int depth = options.depth, nodes = options.nodes, seconds = options.seconds;
    const double speed = options.speed;
    const char* file = options.file.c_str();
    const char* storeFolder = options.store ? options.store->c_str() : nullptr;

    double videoSeconds = 0.0;
    double streamRate = 0.0;
    {
        VideoReader probe(file);
        if (probe.status() != VideoReader::OK) {
            std::fprintf(stderr, "tessaro-play-bench: cannot read %s\n", file);
            return 1;
        }
        videoSeconds = probe.timestampToSeconds(probe.getVideoLength());
        streamRate = probe.getFrameRate();
    }
    catchInterrupts();
    const SinkAwake awake;
    if (!awake.ready())
        return 130;
    useDesktopOffscreen();
    // A store of its own, empty, so that the video is analysed while it
    // plays; or the one under --store, kept.
    char cacheFolder[] = "/tmp/tessaro-play-bench-XXXXXX";
    if (storeFolder == nullptr && mkdtemp(cacheFolder) == nullptr)
        return 1;
    qputenv("XDG_CACHE_HOME", storeFolder != nullptr ? storeFolder : cacheFolder);
    struct Removal {
        const char* folder;
        ~Removal() {
            if (folder != nullptr)
                std::filesystem::remove_all(folder);
        }
    } removal{storeFolder != nullptr ? nullptr : cacheFolder};
    QApplication application(argc, argv);

    // Not when Ctrl-C closed the window first.
    bool completed = false;
    const bool fresh = storeFolder == nullptr;
    const auto measure = [&](const PlayerParts& parts) {
        ControlState& state = controlState();
        state.treeDepthCtl->slider->setValue(depth);
        state.treeNodesCtl->slider->setValue(nodes);
        setPlaySpeed(speed);
        auto sinceStart = std::make_shared<QElapsedTimer>();
        sinceStart->start();
        QTimer::singleShot(0, [parts, seconds, streamRate, speed, sinceStart, fresh, &completed] {
            QWidget* window = parts.mainWindow;
            // Let playback start, then count over the measured span. A
            // window closed meanwhile (Ctrl-C) ends the run.
            if (!runEventsFor(window, 1500))
                return;
            const int64_t shown0 = parts.visualization->shownFrames();
            const int64_t dropped0 = parts.visualization->droppedFrames();
            const double cpu0 = processorSeconds();
            QElapsedTimer playing;
            playing.start();
            if (!runEventsFor(window, seconds * 1000))
                return;
            const double cpu = (processorSeconds() - cpu0) / (playing.elapsed() / 1000.0);
            const int64_t shown = parts.visualization->shownFrames() - shown0;
            const int64_t dropped = parts.visualization->droppedFrames() - dropped0;
            std::printf("\nplay: %d s, %lld frames shown (%.1f per second), %lld dropped\n",
                        seconds, static_cast<long long>(shown), double(shown) / seconds,
                        static_cast<long long>(dropped));
            std::printf("rate: stream %.2f, shown %.2f per second, %lld dropped\n", streamRate,
                        double(shown) / seconds, static_cast<long long>(dropped));
            if (speed != 1.0)
                std::printf("speed: %.2f, shown %.3f times the stream rate, %.2f %% dropped\n",
                            speed, double(shown) / seconds / streamRate,
                            100.0 * double(dropped) /
                                double(std::max<int64_t>(1, shown + dropped)));
            std::printf("cpu: %.2f cores in Play\n", cpu);

            // The store's figures, when it is on: the analysis that began
            // with playing, then the map after a new target.
            StoreSide* store = parts.store;
            double mapSeconds = -1.0;
            double analysedSeconds = 0.0;
            if (!runEventsFor(window, 3600000, [&] { return store->analysisEnded(); }))
                return;
            if (store->board.video()) {
                analysedSeconds = sinceStart->elapsed() / 1000.0;
                if (!runEventsFor(window, 600000, [&] { return store->mapsDrawn > 0; }))
                    return;
                const int64_t maps = store->mapsDrawn;
                const int64_t posted = store->mapsPosted;
                QSlider* target = controlState().targetLengthCtl->slider;
                QElapsedTimer sinceChange;
                sinceChange.start();
                target->setValue(target->value() + 5);
                emit target->sliderReleased();
                if (!runEventsFor(window, 600000, [&] { return store->mapsPosted > posted; }))
                    return;
                std::printf("store: the map redrawn first (in part) after %.2f s\n",
                            sinceChange.elapsed() / 1000.0);
                if (!runEventsFor(window, 600000, [&] { return store->mapsDrawn > maps; }))
                    return;
                mapSeconds = sinceChange.elapsed() / 1000.0;
                if (fresh)
                    std::printf("glance: thumbnails over the whole timeline after %s s, "
                                "provisional map after %s s, exact map after %s s\n",
                                secondsText(store->glanceSeconds).c_str(),
                                secondsText(store->provisionalMapSeconds).c_str(),
                                secondsText(store->exactMapSeconds).c_str());
            }

            PlayerLoop& loop = parts.decoding->loop();
            const int64_t restarts = loop.restarts();
            QElapsedTimer sinceSummary;
            buttonNamed(window, "Summary")->click();
            sinceSummary.start();
            // After the restart the buffer holds summary frames only.
            if (!runEventsFor(window, 60000, [&] { return loop.restarts() > restarts; }) ||
                !runEventsFor(window, 120000, [&] { return !parts.playbackQueue->empty(); }))
                return;
            const int64_t before = parts.visualization->shownFrames();
            if (!runEventsFor(window, 120000,
                              [&] { return parts.visualization->shownFrames() > before; }))
                return;
            const double firstPicture = sinceSummary.elapsed() / 1000.0;
            std::printf("summary: first frame after %.2f s\n", firstPicture);
            if (mapSeconds >= 0.0)
                std::printf("store: analysed in %.1f s, summary map after a target change in "
                            "%.2f s, first summary picture after %.2f s\n",
                            analysedSeconds, mapSeconds, firstPicture);
            // Some summary playing, for the memory it takes.
            if (!runEventsFor(window, 5000))
                return;
            std::printf("peak memory: %ld MB\n", peakResidentKilobytes() / 1024);
            std::fflush(stdout);
            completed = true;
            window->close();
        });
    };
    const int status = runPlayer(application, file, videoSeconds, measure);
    return completed ? status : 130;
}

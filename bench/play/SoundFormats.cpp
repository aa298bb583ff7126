// tessaro-play-bench --sound-check --formats: the sound check on the same
// beeps and flashes in the formats a new user's files come in, one line a
// format. Each format's player runs in a process of its own (a copy of
// this one), so that one that hangs or crashes is ended by its id and the
// others still run; all of them play into one sound server of the bench's.

#include "ChildProcess.h"
#include "SoundCheck.h"
#include "SoundSink.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Long enough for a summary at 0.3 to keep a few fragments.
constexpr double kVideoSeconds = 12;
// The rate change's pieces start this late: from 0, the first one's pictures
// would be moved to make room for the encoders' delays and the second's not,
// and its flashes would no longer stand at whole seconds from the start.
constexpr double kRateChangeStart = 1.0;

struct Format {
    const char* name;
    const char* file;
    BeepVideo video;
    bool rate = false;  // a variable rate: shown at its real rate
    bool pitch = false; // a change of sample rate: the pitch after it
    double changeAt = 0.0;
    int playSeconds = 0; // when Play must last longer than the others' to hear sound
};

std::vector<std::string> h264(std::vector<std::string> sound) {
    std::vector<std::string> output = {"-c:v", "libx264", "-preset",  "veryfast",
                                       "-g",   "50",      "-pix_fmt", "yuv420p"};
    output.insert(output.end(), sound.begin(), sound.end());
    return output;
}

BeepVideo beeps(std::vector<std::string> output, int sampleRate = 48000,
                const char* channels = "stereo") {
    BeepVideo v;
    v.seconds = kVideoSeconds;
    v.sampleRate = sampleRate;
    v.channels = channels;
    v.output = std::move(output);
    return v;
}

std::vector<Format> formats() {
    const BeepVideo aac = beeps(h264({"-c:a", "aac"}));
    BeepVideo fast = aac;
    fast.frameRate = 240;
    // Every other frame dropped after the first second: states 50 fps, shows 25.
    BeepVideo variable = beeps(h264({"-c:a", "aac", "-fps_mode", "vfr"}));
    variable.frameRate = 50;
    variable.pictureFilter = "select='if(lt(t,1),1,not(mod(n,2)))'";
    BeepVideo late = aac;
    late.soundDelay = 5;
    BeepVideo early = aac;
    early.soundEndsEarly = 5;
    // The Opus encoder's 6.5 ms of priming would put the sound's first
    // sample, and so every beep, 7 ms before its flash in the file: the
    // sound comes that much later to stand with the pictures.
    BeepVideo opus = beeps({"-c:v", "libvpx", "-deadline", "realtime", "-cpu-used", "8", "-b:v",
                            "400k", "-g", "50", "-c:a", "libopus"});
    opus.soundDelay = 312.0 / 48000;
    return {
        {"AAC 48k", "aac48k.mp4", aac},
        {"FLAC 96k/24 MKV", "flac96k.mkv",
         beeps(h264({"-c:a", "flac", "-sample_fmt", "s32"}), 96000)},
        {"AAC 8k mono", "aac8k.mp4", beeps(h264({"-c:a", "aac"}), 8000, "mono")},
        {"PCM in QuickTime", "pcm.mov", beeps(h264({"-c:a", "pcm_s16le"}))},
        {"AC-3 5.1", "ac3.mp4", beeps(h264({"-c:a", "ac3"}), 48000, "5.1")},
        {"Opus in WebM", "opus.webm", opus},
        // AVI cannot start the sound before the pictures, where the MP3
        // encoder's delay would put it: rather than move every picture by
        // a frame, the file keeps the delay (25 ms) in its sound.
        {"MP3 in AVI", "mp3.avi",
         beeps({"-c:v", "mpeg4", "-q:v", "5", "-g", "50", "-c:a", "libmp3lame",
                "-avoid_negative_ts", "disabled"},
               44100)},
        {"240 fps", "fps240.mp4", fast},
        {"variable rate", "vfr.mkv", variable, true},
        // Two MPEG-TS pieces joined byte for byte: 44.1 kHz, then 48 kHz.
        {"rate change", "ratechange.ts", {}, false, true, 3.0, 8},
        {"sound 5 s late", "late.mp4", late, false, false, 0.0, 8},
        {"sound ends 5 s early", "early.mp4", early},
    };
}

std::string stem(const char* file) {
    return std::filesystem::path(file).stem().string();
}

bool appendFile(const std::string& from, std::ofstream& to) {
    std::ifstream in(from, std::ios::binary);
    to << in.rdbuf();
    return in.good() || in.eof();
}

// The rate change: its own two pieces, the second's clock running on from
// the first's end, then the bytes of both in one file.
bool makeRateChange(const Format& format, const std::string& path) {
    const double change = format.changeAt;
    BeepVideo first = beeps(h264({"-c:a", "aac", "-muxdelay", "0", "-muxpreload", "0",
                                  "-output_ts_offset", std::to_string(kRateChangeStart)}),
                            44100);
    first.seconds = change;
    BeepVideo second =
        beeps(h264({"-c:a", "aac", "-muxdelay", "0", "-muxpreload", "0", "-output_ts_offset",
                    std::to_string(kRateChangeStart + change)}));
    second.seconds = kVideoSeconds - change;
    const std::string a = path + ".1.ts";
    const std::string b = path + ".2.ts";
    bool made = makeBeepVideo(first, a) && makeBeepVideo(second, b);
    if (made) {
        std::ofstream joined(path, std::ios::binary);
        made = appendFile(a, joined) && appendFile(b, joined);
    }
    std::remove(a.c_str());
    std::remove(b.c_str());
    return made;
}

// The format's player, in a copy of this process; its figures come back
// through a pipe.
SoundResult measureApart(const SoundPlan& plan, int argc, char** argv, double bound) {
    SoundResult result;
    result.failure = SoundResult::Failure::Copy;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return result;
    ChildProcess child;
    const bool started = child.fork(
        [&] {
            close(ends[0]);
            const SoundResult measured = measureSound(plan, argc, argv);
            const bool sent = write(ends[1], &measured, sizeof measured) == sizeof measured;
            return sent ? 0 : 1;
        },
        ChildProcess::Output::Discard, true);
    close(ends[1]);
    const std::optional<int> ended = started ? child.wait(bound) : std::nullopt;
    if (ended != 0 ||
        read(ends[0], &result, sizeof result) != static_cast<ssize_t>(sizeof result)) {
        result = SoundResult();
        result.failure =
            started && !ended ? SoundResult::Failure::Hung : SoundResult::Failure::Copy;
        result.status = ended.value_or(-1);
    }
    child.stop();
    close(ends[0]);
    return result;
}

std::string number(double value, const char* format) {
    if (std::isnan(value))
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string offsets(const OffsetFigures& o) {
    return number(o.medianMs, "%.0f") + "/" + number(o.worstMs, "%.0f");
}

void printLine(const Format& format, const SoundResult& r, const std::string& missed) {
    const SoundFigures& f = r.figures;
    const std::string kept = std::to_string(f.keptHeard) + " of " + std::to_string(f.keptBeeps);
    std::printf("%-21s %-9s %-9s %-8s %-6s %-7s %-18s %-10s %s\n", format.name,
                offsets(f.play).c_str(), offsets(f.summary).c_str(), kept.c_str(),
                number(f.shortestKeptMs, "%.0f").c_str(),
                number(f.heardShare * 100, "%.1f").c_str(),
                (number(f.shownRate, "%.2f") + "/" + number(f.realRate, "%.2f") + " " +
                 number(f.droppedShare * 100, "%.1f"))
                    .c_str(),
                (number(f.lowestPitch, "%.0f") + "-" + number(f.highestPitch, "%.0f")).c_str(),
                missed.empty() ? "ok" : ("misses " + missed).c_str());
    std::fflush(stdout);
}

} // namespace

int soundFormats(const SoundOptions& options, int argc, char** argv) {
    catchInterrupts();
    SoundPlan plan;
    const int playSeconds = options.playSeconds > 0 ? options.playSeconds : 4;
    plan.summarySeconds = options.summarySeconds > 0 ? options.summarySeconds : 6;
    plan.pause = false;
    char folderName[] = "/tmp/tessaro-sound-formats-XXXXXX";
    if (mkdtemp(folderName) == nullptr)
        return 1;
    const std::string folder = folderName;
    // Also what an interrupted ffmpeg left.
    struct Removed {
        const std::string& folder;
        ~Removed() {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    } removed{folder};

    SoundServer server;
    if (!server.open())
        return withoutSink();
    std::printf("%-21s %-9s %-9s %-8s %-6s %-7s %-18s %-10s %s\n", "format", "play ms", "summ. ms",
                "kept", "beep", "heard", "rate", "pitch Hz", "figures");
    std::printf("%-21s %-9s %-9s %-8s %-6s %-7s %s\n", "", "med/worst", "med/worst", "beeps", "ms",
                "%", "shown/real drop%");
    bool allMet = true;
    for (const Format& format : formats()) {
        plan.file = folder + "/" + format.file;
        if (!options.only.empty() &&
            ("," + options.only + ",").find("," + stem(format.file) + ",") == std::string::npos)
            continue;
        plan.pitchAfter = format.pitch ? kRateChangeStart + format.changeAt : 0.0;
        plan.playSeconds = std::max(playSeconds, format.playSeconds);
        const bool made = format.pitch ? makeRateChange(format, plan.file)
                                       : makeBeepVideo(format.video, plan.file);
        if (interrupted())
            break;
        SoundResult result;
        if (made)
            result = measureApart(plan, argc, argv, plan.playSeconds + plan.summarySeconds + 60);
        std::remove(plan.file.c_str());
        if (interrupted())
            break;
        const std::string missed =
            made ? missedFigures(result, format.rate, format.pitch) : "(ffmpeg could not make it)";
        const bool loose = options.check == SoundOptions::Check::Loose;
        allMet = allMet && (loose ? made && meetsLoosely(result) : missed.empty());
        printLine(format, result, missed);
    }
    if (interrupted())
        return kInterrupted;
    return options.check == SoundOptions::Check::None || allMet ? 0 : 1;
}

#include "SummarizeOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#ifndef TESSARO_VERSION
#define TESSARO_VERSION "unknown"
#endif

namespace {

struct OptionRule {
    char shortName; // 0 when the option has only a long name
    const char* longName;
    bool takesValue;
};

constexpr OptionRule kOptions[] = {
    {'t', "target", true},
    {0, "length-weight", true},
    {0, "continuity-weight", true},
    {0, "redundancy-weight", true},
    {0, "activity-weight", true},
    {0, "depth", true},
    {0, "nodes", true},
    {0, "junk-filter", false},
    {0, "shot-aware", false},
    {0, "whole-speech", false},
    {'f', "format", true},
    {'o', "output", true},
    {0, "contact-sheet", true},
    {'q', "quiet", false},
    {'v', "verbose", false},
    {0, "no-store", false},
    {0, "from", true},
    {0, "out-dir", true},
    {0, "skip-done", false},
    {0, "save-descriptors", false},
    {'j', "jobs", true},
    {0, "threads", true},
    {0, "shard", true},
    {'h', "help", false},
    {0, "version", false},
};

const OptionRule* findLong(const std::string& name) {
    for (const OptionRule& option : kOptions)
        if (name == option.longName)
            return &option;
    return nullptr;
}

const OptionRule* findShort(char name) {
    for (const OptionRule& option : kOptions)
        if (option.shortName != 0 && option.shortName == name)
            return &option;
    return nullptr;
}

bool parseFraction(const std::string& text, double* value) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v))
        return false;
    if (v < 0.0 || v > 1.0)
        return false;
    *value = v;
    return true;
}

bool parseWhole(const std::string& text, int low, int high, int* value) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || v < low || v > high)
        return false;
    *value = static_cast<int>(v);
    return true;
}

// Applies one option; returns an error line, empty on success.
std::string apply(const OptionRule& option, const std::string& value, ParsedCommandLine* parsed) {
    SummarizeOptions& o = parsed->options;
    SummarySettings& s = o.settings;
    const std::string name = std::string("--") + option.longName;
    auto fraction = [&](double* field) -> std::string {
        if (parseFraction(value, field))
            return {};
        return name + " must be a number from 0.00 to 1.00, not '" + value + "'";
    };
    auto whole = [&](int low, int high, int* field) -> std::string {
        if (parseWhole(value, low, high, field))
            return {};
        return name + " must be a whole number from " + std::to_string(low) + " to " +
               std::to_string(high) + ", not '" + value + "'";
    };
    const std::string longName = option.longName;
    if (longName == "target")
        return fraction(&s.target);
    if (longName == "length-weight")
        return fraction(&s.lengthWeight);
    if (longName == "continuity-weight")
        return fraction(&s.continuityWeight);
    if (longName == "redundancy-weight")
        return fraction(&s.redundancyWeight);
    if (longName == "activity-weight")
        return fraction(&s.activityWeight);
    if (longName == "depth")
        return whole(20, 90, &s.depth);
    if (longName == "nodes")
        return whole(100, 5000, &s.nodes);
    if (longName == "junk-filter") {
        s.junkFilter = true;
        return {};
    }
    if (longName == "shot-aware") {
        s.shotAware = true;
        return {};
    }
    if (longName == "whole-speech") {
        s.wholeSpeech = true;
        return {};
    }
    if (longName == "format") {
        if (value == "json")
            o.format = ListFormat::Json;
        else if (value == "csv")
            o.format = ListFormat::Csv;
        else if (value == "edl")
            o.format = ListFormat::Edl;
        else if (value == "chapters")
            o.format = ListFormat::Chapters;
        else
            return name + " must be json, csv, edl or chapters, not '" + value + "'";
        return {};
    }
    if (longName == "output" || longName == "contact-sheet") {
        if (value.empty())
            return name + " needs a file name";
        (longName == "output" ? o.output : o.contactSheet) = value;
        return {};
    }
    if (longName == "quiet") {
        o.quiet = true;
        return {};
    }
    if (longName == "verbose") {
        o.verbose = true;
        return {};
    }
    if (longName == "no-store" || longName == "skip-done" || longName == "save-descriptors") {
        (longName == "no-store"    ? o.noStore
         : longName == "skip-done" ? o.skipDone
                                   : o.saveDescriptors) = true;
        return {};
    }
    if (longName == "from" || longName == "out-dir") {
        if (value.empty())
            return name + " needs a " + (longName == "from" ? "file name" : "folder");
        (longName == "from" ? o.from : o.outDir) = value;
        return {};
    }
    if (longName == "jobs")
        return whole(1, 256, &o.jobs);
    if (longName == "threads")
        return whole(1, 256, &o.threads);
    if (longName == "shard") {
        const size_t slash = value.find('/');
        int shards = 0;
        if (slash != std::string::npos &&
            parseWhole(value.substr(slash + 1), 1, 1 << 20, &shards) &&
            parseWhole(value.substr(0, slash), 1, shards, &o.shard)) {
            o.shards = shards;
            return {};
        }
        return name + " must be I/N with I from 1 to N, not '" + value + "'";
    }
    if (longName == "help")
        parsed->action = ParsedCommandLine::Action::Help;
    else if (longName == "version" && parsed->action != ParsedCommandLine::Action::Help)
        parsed->action = ParsedCommandLine::Action::Version;
    return {};
}

ParsedCommandLine fail(std::string message) {
    ParsedCommandLine parsed;
    parsed.action = ParsedCommandLine::Action::Error;
    parsed.error = std::move(message);
    return parsed;
}

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    parsed.action = ParsedCommandLine::Action::Run;
    std::vector<std::string> positional;
    bool optionsEnded = false;

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }

        auto takeValue = [&](std::string* value, const std::string& shown) -> std::string {
            if (i + 1 >= arguments.size())
                return "option '" + shown + "' needs a value";
            *value = arguments[++i];
            return {};
        };

        std::string error;
        if (arg[1] == '-') {
            const size_t eq = arg.find('=');
            const std::string name = arg.substr(2, eq == std::string::npos ? eq : eq - 2);
            const OptionRule* option = findLong(name);
            if (option == nullptr)
                return fail("unknown option '--" + name + "' (see --help)");
            std::string value;
            if (eq != std::string::npos) {
                if (!option->takesValue)
                    return fail("option '--" + name + "' takes no value");
                value = arg.substr(eq + 1);
            } else if (option->takesValue) {
                error = takeValue(&value, "--" + name);
            }
            if (error.empty())
                error = apply(*option, value, &parsed);
        } else {
            // A cluster of short options: flags may be grouped, and an option
            // with a value takes the rest of the word or the next argument.
            for (size_t k = 1; k < arg.size() && error.empty(); ++k) {
                const OptionRule* option = findShort(arg[k]);
                if (option == nullptr)
                    return fail(std::string("unknown option '-") + arg[k] + "' (see --help)");
                std::string value;
                if (option->takesValue) {
                    if (k + 1 < arg.size())
                        value = arg.substr(k + 1);
                    else
                        error = takeValue(&value, std::string("-") + arg[k]);
                    k = arg.size();
                }
                if (error.empty())
                    error = apply(*option, value, &parsed);
            }
        }
        if (!error.empty())
            return fail(error);
    }

    if (parsed.action != ParsedCommandLine::Action::Run)
        return parsed;
    SummarizeOptions& o = parsed.options;
    if (positional.empty() && o.from.empty())
        return fail("no video file given (see --help)");
    o.videos = positional;
    o.video = positional.empty() ? std::string() : positional[0];
    // A batch names each video's files itself: these give only their ends.
    for (const std::string* suffix : {&o.output, &o.contactSheet})
        if (o.batch() && suffix->find('/') != std::string::npos)
            return fail(std::string("with several videos, ") +
                        (suffix == &o.output ? "--output" : "--contact-sheet") +
                        " gives the end of each file's name (as in summary.mp4), not '" + *suffix +
                        "'");
    return parsed;
}

std::string helpText() {
    return R"(Usage: tessaro-summarize [options] VIDEO
       tessaro-summarize [options] [--out-dir DIR] [--from LIST] VIDEO...

Summarises VIDEO with Tessaro's summary engine, as the player's Summary mode
does, without a window, and writes the kept segments to standard output.

Summary settings (the window's controls and their defaults):
  -t, --target FRACTION        target length, 0.00-1.00 (default 0.05)
      --length-weight W        0.00-1.00 (default 0.20)
      --continuity-weight W    0.00-1.00 (default 0.10)
      --redundancy-weight W    0.00-1.00 (default 0.25)
      --activity-weight W      0.00-1.00 (default 0.05)
      --depth N                tree depth limit, 20-90 (default 60)
      --nodes N                tree node limit, 100-5000 (default 500)
      --junk-filter            leave out junk fragments, as the window's check box
      --shot-aware             shot-aware ranking, as the window's check box: distinct
                               shots first, no fragment across a cut, no junk
      --whole-speech           keep speech whole, as the window's check box: cut only
                               in pauses, whole utterances, long pauses left out

Outputs:
  -f, --format json|csv|edl|chapters
                               segment list format on standard output (default json);
                               chapters: FFmpeg metadata, one chapter per segment
  -o, --output FILE            also write the summary as an MP4 video (H.264, with
                               the source's audio as AAC when it has audio, and a
                               chapter per segment)
      --contact-sheet FILE.png also write a PNG: the first frame of each kept
                               segment, in a grid, with its time
  -q, --quiet                  no progress line on standard error
  -v, --verbose                also the engine's own notes (reader, tree) on standard error
      --no-store               neither use nor fill the descriptor store
      --save-descriptors       also write the analysis as NAME.tessaro (alone:
                               VIDEO.tessaro beside the video)

Several videos (a batch: more than one VIDEO, --from, --out-dir, --skip-done
or --shard). Each video's files go to DIR, else beside it, named after its
file name (NAME: film.mp4, and film-2.mp4 for a later one of the same name):
NAME.json always, NAME.csv, NAME.edl or NAME.chapters.txt as -f says,
NAME.SUFFIX for -o SUFFIX and --contact-sheet SUFFIX. Standard output gets
one JSON line per video, in the list's order.
      --from LIST              also the videos listed in LIST, one a line (- for standard input)
      --out-dir DIR            write every video's files into DIR
      --skip-done              pass over a video whose files are there, whole, made
                               from the same content with the same settings
  -j, --jobs N                 summarise N videos at once (default 1)
      --threads N              at most N decoding threads, and N encoding threads
      --shard I/N              only every N-th video of the list, from the I-th
  -h, --help                   show this text and exit
      --version                show the version and exit

Output files are written under a temporary name and renamed when complete.
An empty summary writes no video and no contact sheet (a notice says so).

The descriptors of every video analysed are kept in a store
($XDG_CACHE_HOME/tessaro, else ~/.cache/tessaro; at most 2 GB, the least
recently used going first), so that the next summary of the same file, at any
settings, needs no decoding. TESSARO_NO_STORE=1 turns the store off as
--no-store does; TESSARO_STORE_LIMIT sets its size (bytes, or 500M, 4G...).

Exit status:
  0    success
  1    unexpected internal failure
  2    bad command line (unknown option, missing or out-of-range value)
  3    the video file is missing or cannot be read
  4    the file holds no decodable video
  5    an output could not be written (nothing partial is left behind)
  6    several videos: some of them failed (their report lines say why)
  130  interrupted (SIGINT or SIGTERM); temporary files are removed
)";
}

std::string versionText() {
    return std::string("tessaro-summarize ") + TESSARO_VERSION + "\n";
}

AnalysisSources analysisSources(const SummarizeOptions& options,
                                std::vector<std::string> descriptorFiles) {
    AnalysisSources sources;
    sources.store = StoreConfig::fromEnvironment();
    sources.store.enabled = sources.store.enabled && !options.noStore;
    if (sources.store.enabled)
        sources.descriptorFiles = std::move(descriptorFiles);
    return sources;
}

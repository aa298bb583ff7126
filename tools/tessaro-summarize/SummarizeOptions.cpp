#include "SummarizeOptions.h"

#include "CommandLineReading.h"
#include "SettingsSchema.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

#ifndef TESSARO_VERSION
#define TESSARO_VERSION "unknown"
#endif

namespace {

using Action = ParsedCommandLine::Action;

constexpr const char* kSettingsGroup = "settings";
constexpr const char* kOutputsGroup = "outputs";
constexpr const char* kBatchGroup = "batch";
constexpr int kMostThreads = 256; // for --jobs and --threads

// Numbers as strtod and strtol read them, the whole text and nothing else.
bool readNumber(const std::string& text, double low, double high, double* value) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v) || v < low || v > high)
        return false;
    *value = v;
    return true;
}

bool readWhole(const std::string& text, long low, long high, int* value) {
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

std::string wholeRefusal(const std::string& name, long low, long high, const std::string& text) {
    return name + " must be a whole number from " + std::to_string(low) + " to " +
           std::to_string(high) + ", not '" + text + "'";
}

// A setting's value as the help and the messages write it.
std::string shown(const SettingEntry& entry, double value) {
    char text[32];
    std::snprintf(text, sizeof text, entry.kind == SettingKind::Fraction ? "%.2f" : "%.0f", value);
    return text;
}

// What the help says of a setting before its range, or all it says of a switch.
std::string settingHelp(const SettingEntry& entry) {
    switch (entry.setting) {
    case Setting::Target:
        return "target length, ";
    case Setting::Depth:
        return "tree depth limit, ";
    case Setting::Nodes:
        return "tree node limit, ";
    case Setting::JunkFilter:
        return "leave out junk fragments, as the window's check box";
    case Setting::ShotAware:
        return "shot-aware ranking, as the window's check box: distinct\n"
               "shots first, no fragment across a cut, no junk";
    case Setting::WholeSpeech:
        return "keep speech whole, as the window's check box: cut only\n"
               "in pauses, whole utterances, long pauses left out";
    default:
        return "";
    }
}

// The options, defined on app by making one of these: each applies to
// parsed as CLI11 meets it, so that the first refusal is that of the first
// word refused. The callbacks keep what they need; this can go at once.
class OptionsDefinition {
public:
    OptionsDefinition(CLI::App& app, ParsedCommandLine& parsed)
        : app(app), parsed(&parsed), o(&parsed.options) {
        for (const SettingEntry& entry : settingEntries())
            setting(entry);
        outputs();
        batch();
    }

private:
    using Take = std::function<std::string(const std::string& name, const std::string& text)>;

    // An option with a value; take returns the refusal of the text, or nothing.
    void value(const std::string& names, const char* valueName, const char* group, const char* help,
               Take take) {
        CLI::Option* option = app.add_option(names, CLI::callback_t{}, help);
        const std::string name = "--" + option->get_lnames().front();
        option->each([name, take](const std::string& text) {
            if (std::string refusal = take(name, text); !refusal.empty())
                throw CommandLineRefusal{std::move(refusal)};
        });
        option->type_name(valueName)->group(group)->trigger_on_parse();
    }

    void flag(const std::string& names, const char* group, const char* help,
              std::function<void()> set) {
        app.add_flag_callback(names, std::move(set), help)->group(group)->trigger_on_parse();
    }

    void text(const std::string& names, const char* valueName, const char* group, const char* help,
              std::string* field, const char* wanted) {
        value(names, valueName, group, help,
              [field, wanted](const std::string& name, const std::string& text) {
                  *field = text;
                  return text.empty() ? name + " needs a " + wanted : std::string();
              });
    }

    void whole(const std::string& names, const char* group, const char* help, int* field) {
        value(names, "N", group, help, [field](const std::string& name, const std::string& text) {
            return readWhole(text, 1, kMostThreads, field)
                       ? std::string()
                       : wholeRefusal(name, 1, kMostThreads, text);
        });
    }

    void setting(const SettingEntry& entry) {
        const std::string names =
            (entry.shortOption != 0 ? std::string("-") + entry.shortOption + "," : "") + "--" +
            entry.option;
        SummarySettings* settings = &o->settings;
        if (entry.kind == SettingKind::Switch) {
            flag(names, kSettingsGroup, settingHelp(entry).c_str(),
                 [settings, &entry] { setSetting(*settings, entry.setting, 1.0); });
            return;
        }
        const std::string help = settingHelp(entry) + shown(entry, entry.low) + "-" +
                                 shown(entry, entry.high) + " (default " +
                                 shown(entry, entry.fallback) + ")";
        value(names, entry.valueName, kSettingsGroup, help.c_str(),
              [settings, &entry](const std::string& name, const std::string& text) {
                  double number = 0.0;
                  int whole = 0;
                  const bool taken = entry.kind == SettingKind::Fraction
                                         ? readNumber(text, entry.low, entry.high, &number)
                                         : readWhole(text, static_cast<long>(entry.low),
                                                     static_cast<long>(entry.high), &whole);
                  if (taken) {
                      setSetting(*settings, entry.setting,
                                 entry.kind == SettingKind::Fraction ? number : whole);
                      return std::string();
                  }
                  if (entry.kind == SettingKind::Whole)
                      return wholeRefusal(name, static_cast<long>(entry.low),
                                          static_cast<long>(entry.high), text);
                  return name + " must be a number from " + shown(entry, entry.low) + " to " +
                         shown(entry, entry.high) + ", not '" + text + "'";
              });
    }

    void outputs() {
        value("-f,--format", "json|csv|edl|chapters|otio|fcpxml|mlt", kOutputsGroup,
              "segment list format on standard output (default json);\n"
              "chapters: FFmpeg metadata, one chapter per segment;\n"
              "otio, fcpxml, mlt: an editor's timeline of the source\n"
              "(OpenTimelineIO, Final Cut XML 1.9, Shotcut's MLT XML)",
              [o = o](const std::string& name, const std::string& text) {
                  const std::pair<const char*, ListFormat> formats[] = {
                      {"json", ListFormat::Json}, {"csv", ListFormat::Csv},
                      {"edl", ListFormat::Edl},   {"chapters", ListFormat::Chapters},
                      {"otio", ListFormat::Otio}, {"fcpxml", ListFormat::Fcpxml},
                      {"mlt", ListFormat::Mlt}};
                  for (const auto& [word, format] : formats)
                      if (text == word) {
                          o->format = format;
                          return std::string();
                      }
                  return name + " must be json, csv, edl, chapters, otio, fcpxml or mlt, not '" +
                         text + "'";
              });
        text("-o,--output", "FILE", kOutputsGroup,
             "also write the summary as an MP4 video (H.264, with\n"
             "the source's audio as AAC when it has audio, and a\n"
             "chapter per segment)",
             &o->output, "file name");
        text("--contact-sheet", "FILE.png", kOutputsGroup,
             "also write a PNG: the first frame of each kept\n"
             "segment, in a grid, with its time",
             &o->contactSheet, "file name");
        text("--subtitles", "FILE.srt", kOutputsGroup,
             "also write the kept lines of the subtitles the player\n"
             "would show, on the summary's clock, as SRT (empty when\n"
             "there are none); with -o the video carries them too",
             &o->subtitles, "file name");
        value("--audio-track", "N", kOutputsGroup,
              "the sound of the -o video: the N-th audio track (from 1,\n"
              "in stream order; default the one the file marks)",
              [o = o](const std::string& name, const std::string& text) {
                  return readWhole(text, 1, 1 << 16, &o->audioTrack)
                             ? std::string()
                             : wholeRefusal(name, 1, 1 << 16, text);
              });
        flag("-q,--quiet", kOutputsGroup, "no progress line on standard error",
             [o = o] { o->quiet = true; });
        flag("-v,--verbose", kOutputsGroup,
             "also the engine's own notes (reader, tree) on standard error",
             [o = o] { o->verbose = true; });
        flag("--no-store", kOutputsGroup, "neither use nor fill the descriptor store",
             [o = o] { o->noStore = true; });
        flag("--save-descriptors", kOutputsGroup,
             "also write the analysis as NAME.tessaro (alone:\n"
             "VIDEO.tessaro beside the video)",
             [o = o] { o->saveDescriptors = true; });
        flag("--key-frames-first", kOutputsGroup,
             "with --save-descriptors: first a look at the key frames\n"
             "alone, kept in the store too (the player shows their\n"
             "thumbnails and a provisional map at once)",
             [o = o] { o->keyFramesFirst = true; });
    }

    void batch() {
        text("--from", "LIST", kBatchGroup,
             "also the videos listed in LIST, one a line (- for standard input)", &o->from,
             "file name");
        text("--out-dir", "DIR", kBatchGroup, "write every video's files into DIR", &o->outDir,
             "folder");
        flag("--skip-done", kBatchGroup,
             "pass over a video whose files are there, whole, made\n"
             "from the same content with the same settings",
             [o = o] { o->skipDone = true; });
        whole("-j,--jobs", kBatchGroup, "summarise N videos at once (default 1)", &o->jobs);
        whole("--threads", kBatchGroup, "at most N decoding threads, and N encoding threads",
              &o->threads);
        value("--shard", "I/N", kBatchGroup, "only every N-th video of the list, from the I-th",
              [o = o](const std::string& name, const std::string& text) {
                  const size_t slash = text.find('/');
                  int shards = 0;
                  if (slash != std::string::npos &&
                      readWhole(text.substr(slash + 1), 1, 1 << 20, &shards) &&
                      readWhole(text.substr(0, slash), 1, shards, &o->shard)) {
                      o->shards = shards;
                      return std::string();
                  }
                  return name + " must be I/N with I from 1 to N, not '" + text + "'";
              });
        flag("-h,--help", kBatchGroup, "show this text and exit",
             [parsed = parsed] { parsed->action = Action::Help; });
        flag("--version", kBatchGroup, "show the version and exit", [parsed = parsed] {
            if (parsed->action != Action::Help)
                parsed->action = Action::Version;
        });
    }

    // The callbacks outlive this definition: they take these pointers along.
    CLI::App& app;
    ParsedCommandLine* const parsed;
    SummarizeOptions* const o;
};

// The options' lines of the help in a group: names and value, then the
// description from the 32nd column on, or on the next line when they come
// within two columns of it.
std::string helpLines(const CLI::App& app, const std::string& group) {
    constexpr size_t column = 31;
    std::string lines;
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_group() != group)
            continue;
        std::string line = option->get_snames().empty()
                               ? std::string("      ")
                               : "  -" + option->get_snames().front() + ", ";
        line += "--" + option->get_lnames().front();
        if (option->get_items_expected_max() > 0)
            line += " " + option->get_type_name();
        // Two spaces at least between the names and the description, as
        // readers of help texts (help2man, for the manual page) expect.
        line += line.size() + 2 <= column ? std::string(column - line.size(), ' ')
                                          : "\n" + std::string(column, ' ');
        for (const char c : option->get_description())
            line += c == '\n' ? "\n" + std::string(column, ' ') : std::string(1, c);
        lines += line + "\n";
    }
    return lines;
}

ParsedCommandLine fail(std::string message) {
    ParsedCommandLine parsed;
    parsed.action = Action::Error;
    parsed.error = std::move(message);
    return parsed;
}

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    parsed.action = Action::Run;
    CommandLineReading reading = readCommandLine(
        arguments,
        [&parsed](CLI::App& app) {
            OptionsDefinition{app, parsed};
        },
        [&parsed] {
            parsed = ParsedCommandLine();
            parsed.action = Action::Run;
        });
    if (!reading.refusal.empty())
        return fail(reading.refusal);

    if (parsed.action != Action::Run)
        return parsed;
    SummarizeOptions& o = parsed.options;
    o.videos = std::move(reading.words);
    if (o.videos.empty() && o.from.empty())
        return fail("no video file given (see --help)");
    o.video = o.videos.empty() ? std::string() : o.videos[0];
    if (o.keyFramesFirst && !o.saveDescriptors)
        return fail("--key-frames-first goes with --save-descriptors");
    // A batch names each video's files itself: these give only their ends.
    for (const std::string* suffix : {&o.output, &o.contactSheet, &o.subtitles})
        if (o.batch() && suffix->find('/') != std::string::npos)
            return fail(std::string("with several videos, ") +
                        (suffix == &o.output         ? "--output"
                         : suffix == &o.contactSheet ? "--contact-sheet"
                                                     : "--subtitles") +
                        " gives the end of each file's name (as in summary.mp4), not '" + *suffix +
                        "'");
    return parsed;
}

std::string helpText() {
    CLI::App app;
    app.set_help_flag(); // the tool's own -h is among its options
    ParsedCommandLine unused;
    OptionsDefinition{app, unused};
    return R"(Usage: tessaro-summarize [options] VIDEO
   or: tessaro-summarize [options] [--out-dir DIR] [--from LIST] VIDEO...

Summarises VIDEO with Tessaro's summary engine, as the player's Summary mode
does, without a window, and writes the kept segments to standard output.

Summary settings (the window's controls and their defaults):
)" + helpLines(app, kSettingsGroup) +
           "\nOutputs:\n" + helpLines(app, kOutputsGroup) + R"(
Several videos (a batch: more than one VIDEO, --from, --out-dir, --skip-done
or --shard). Each video's files go to DIR, else beside it, named after its
file name (NAME: film.mp4, and film-2.mp4 for a later one of the same name):
NAME.json always, NAME.csv, NAME.edl or NAME.chapters.txt as -f says,
NAME.SUFFIX for -o SUFFIX, --contact-sheet SUFFIX and --subtitles SUFFIX;
--audio-track N applies to each video. Standard output gets
one JSON line per video, in the list's order.
)" + helpLines(app, kBatchGroup) +
           R"(
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
  7    the video's data ends well before the length it claims: what can be
       read is summarised and written, with a warning (several videos: one
       was partly read, none failed)
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

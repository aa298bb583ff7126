#pragma once

// Command line of tessaro-summarize: the window's summary settings plus the
// outputs to write. Parsing never prints; the caller reports the error.

#include "Analysis.h"
#include "ExitStatus.h"
#include "SegmentList.h"
#include "SummarySettings.h"

#include <string>
#include <vector>

struct SummarizeOptions {
    SummarySettings settings;
    ListFormat format = ListFormat::Json;
    std::string output;       // summary video, empty for none
    std::string contactSheet; // PNG, empty for none
    std::string subtitles;    // SRT of the kept lines, empty for none
    int audioTrack = 0;       // the summary video's sound, from 1; 0 for the marked one
    bool quiet = false;
    bool verbose = false; // the engine's own messages on standard error
    bool noStore = false; // neither read nor write the descriptor store
    std::string video;    // the first video named

    // Several videos (see BatchRun). In a batch, output and contactSheet
    // are the suffixes of each video's files.
    std::vector<std::string> videos; // as named on the command line
    std::string from;                // a list of videos, one a line; "-" for standard input
    std::string outDir;
    bool skipDone = false;
    bool saveDescriptors = false; // NAME.tessaro beside the outputs
    bool keyFramesFirst = false;  // with saveDescriptors: a glance at the key frames stored too
    int jobs = 1;                 // videos at once
    int threads = 0;              // cap on the decoding and encoding threads; 0 for none
    int shard = 1;                // this run takes videos shard, shard + shards, ...
    int shards = 1;

    bool batch() const {
        return videos.size() > 1 || !from.empty() || !outDir.empty() || skipDone || shards > 1;
    }
};

struct ParsedCommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Error;
    SummarizeOptions options;
    std::string error; // one line, without the program name, for Action::Error
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The text printed by --help, ending with a newline.
std::string helpText();
std::string versionText();

// Where the analysis may be found: the store as the environment and the
// options say, and the descriptor files given, unless the store is off.
AnalysisSources analysisSources(const SummarizeOptions& options,
                                std::vector<std::string> descriptorFiles);

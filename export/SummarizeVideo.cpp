#include "SummarizeVideo.h"

#include "ContactSheet.h"
#include "DescriptorFile.h"
#include "HeadlessSummary.h"
#include "MediaTracks.h"
#include "MuxerChapters.h"
#include "OutputFile.h"
#include "PlaybackReader.h"
#include "ReadableTime.h"
#include "SubtitleReader.h"
#include "SummarySubtitles.h"
#include "SummaryVideoWriter.h"
#include "VideoProbe.h"

#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <optional>

namespace {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

struct Outputs {
    std::unique_ptr<OutputFile> videoFile;
    // The video as encoded, before its copy with chapters goes to videoFile.
    std::unique_ptr<OutputFile> videoBody;
    std::unique_ptr<OutputFile> sheetFile;
    std::unique_ptr<OutputFile> subtitleFile;
    std::unique_ptr<SummaryVideoWriter> writer;
    std::unique_ptr<ContactSheet> sheet;
    std::string error;
};

VideoOutcome failed(int status, std::string error, VideoOutcome outcome = {}) {
    outcome.status = status;
    outcome.error = std::move(error);
    return outcome;
}

int64_t sizeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

// Writes text to path through a temporary file; false with *error.
bool writeText(const std::string& path, const std::string& text, std::string* error) {
    OutputFile file(path);
    if (!file.create(error))
        return false;
    std::ofstream out(file.temporaryPath(), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    return file.commit(error);
}

// The batch's files after the summary: the other list formats, the
// descriptor file, and last the record naming them all with their sizes.
bool writeBatchLists(const VideoTask& task, SummaryReport report, const PortableAnalysis* portable,
                     VideoOutcome* outcome, std::string* error) {
    for (const auto& [format, path] : task.lists) {
        if (!writeText(path, formatList(report, format), error))
            return false;
        outcome->written.emplace_back(path, sizeOf(path));
    }
    if (!task.descriptorFile.empty() && portable == nullptr) {
        *error =
            "no whole analysis of '" + task.video + "' to write to '" + task.descriptorFile + "'";
        return false;
    }
    if (!task.descriptorFile.empty()) {
        if (!writeText(task.descriptorFile, encodeDescriptorFile(*portable), error))
            return false;
        outcome->written.emplace_back(task.descriptorFile, sizeOf(task.descriptorFile));
    }
    if (task.record.empty())
        return true;
    Json files = Json::object();
    for (const auto& [path, bytes] : outcome->written)
        files[baseName(path)] = bytes;
    report.extra.update(task.recordFields);
    report.extra["outputs"] = std::move(files);
    if (!writeText(task.record, formatJson(report), error))
        return false;
    outcome->written.emplace_back(task.record, sizeOf(task.record));
    return true;
}

// The summary video completed: the encoder drained of the pictures it
// holds, then the copy with the chapters, the pictures of which the
// progress is told as they go; cleared after.
bool finishVideo(const VideoTask& task, Outputs& out, const std::vector<Segment>& segments) {
    SummaryProgress* progress = task.progress;
    if (progress)
        progress->finishing(task.output, 0, 0);
    const int64_t total = out.writer->picturesWritten();
    const CopyProgress copied = [&](int64_t pictures) {
        if (progress)
            progress->finishing(task.output, pictures, total);
    };
    const bool done =
        out.writer->finish(&out.error) &&
        copyWithChapters(out.videoBody->temporaryPath(), out.videoFile->temporaryPath(),
                         segmentChapters(segments, true), &out.error, copied) &&
        out.videoFile->commit(&out.error);
    if (progress)
        progress->end();
    return done;
}

bool isTimeline(ListFormat format) {
    return format == ListFormat::Otio || format == ListFormat::Fcpxml || format == ListFormat::Mlt;
}

bool writesTimeline(const VideoTask& task) {
    if (task.results != nullptr && isTimeline(task.format))
        return true;
    for (const auto& list : task.lists)
        if (isTimeline(list.first))
            return true;
    return false;
}

// The stream of the sound the summary video takes: the one asked for, else
// the one the file marks; -1 for the first. False with *error when the file
// has no such track.
bool chooseAudioStream(const VideoTask& task, int* stream, std::string* error) {
    *stream = -1;
    const std::vector<MediaTrack> tracks = audioTracksOf(task.video);
    if (task.audioTrack > static_cast<int>(tracks.size())) {
        const std::string count = tracks.empty()      ? "no audio track"
                                  : tracks.size() == 1 ? "1 audio track"
                                                       : std::to_string(tracks.size()) + " audio tracks";
        *error = "--audio-track " + std::to_string(task.audioTrack) + ": '" + task.video +
                 "' has " + count;
        return false;
    }
    const int chosen = task.audioTrack > 0 ? task.audioTrack - 1 : playedAudioTrack(tracks);
    if (chosen >= 0)
        *stream = tracks[chosen].stream;
    return true;
}

// The subtitles the player would show, whole; none (with a note) when the
// video has none or they cannot be read.
struct ShownSubtitles {
    bool read = false;
    std::string language;
    std::vector<SubtitleLine> lines;
};

ShownSubtitles readShownSubtitles(const VideoTask& task, const NoteFunction& note) {
    ShownSubtitles shown;
    const std::vector<MediaTrack> tracks = subtitleTracksOf(task.video);
    const int chosen = shownSubtitleTrack(tracks);
    if (chosen < 0) {
        note("'" + task.video + "' has no subtitles; '" + task.subtitles + "' is empty");
        return shown;
    }
    SubtitleReader reader;
    if (!reader.open(tracks[chosen])) {
        note("the subtitles of '" + task.video + "' cannot be read (" + reader.failure() + "); '" +
             task.subtitles + "' is empty");
        return shown;
    }
    SubtitleLine line;
    while (reader.next(line))
        shown.lines.push_back(std::move(line));
    for (const std::string& notice : reader.notices())
        note("the subtitles of '" + task.video + "': " + notice);
    shown.read = true;
    shown.language = tracks[chosen].language;
    return shown;
}

std::string variableRateNote(const std::string& path, const VideoProbe& probe) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.3f",
                  static_cast<double>(probe.averageRateNum) / probe.averageRateDen);
    return "'" + path +
           "' has a varying frame rate: the timeline counts frames at its average of " + rate +
           " a second, so cuts may fall a frame off";
}

} // namespace

VideoOutcome summarizeVideo(const VideoTask& task, const std::atomic<bool>& interrupted,
                            const NoteFunction& note) {
    const std::string& path = task.video;
    if (!task.output.empty() && sameFile(task.output, path))
        return failed(EXIT_USAGE, "--output would overwrite the video being summarised");
    if (!task.contactSheet.empty() && sameFile(task.contactSheet, path))
        return failed(EXIT_USAGE, "--contact-sheet would overwrite the video being summarised");
    if (!task.output.empty() && task.output == task.contactSheet)
        return failed(EXIT_USAGE, "--output and --contact-sheet name the same file");
    if (!task.subtitles.empty() && sameFile(task.subtitles, path))
        return failed(EXIT_USAGE, "--subtitles would overwrite the video being summarised");
    if (!task.subtitles.empty() &&
        (task.subtitles == task.output || task.subtitles == task.contactSheet))
        return failed(EXIT_USAGE, "--subtitles names the same file as another output");

    const VideoProbe probe = probeVideo(path);
    if (!probe.ok)
        return failed(probe.exitStatus, probe.error);
    VideoOutcome outcome;
    outcome.duration = probe.duration;
    int audioStream = -1;
    if (std::string error; !chooseAudioStream(task, &audioStream, &error))
        return failed(EXIT_USAGE, error, outcome);

    // Temporary files first, so that an unwritable place fails before the work.
    Outputs out;
    if (!task.output.empty()) {
        out.videoFile = std::make_unique<OutputFile>(task.output);
        out.videoBody = std::make_unique<OutputFile>(task.output);
        if (!out.videoFile->create(&out.error) || !out.videoBody->create(&out.error))
            return failed(EXIT_OUTPUT, out.error, outcome);
    }
    if (!task.contactSheet.empty()) {
        out.sheetFile = std::make_unique<OutputFile>(task.contactSheet);
        if (!out.sheetFile->create(&out.error))
            return failed(EXIT_OUTPUT, out.error, outcome);
    }
    if (!task.subtitles.empty()) {
        out.subtitleFile = std::make_unique<OutputFile>(task.subtitles);
        if (!out.subtitleFile->create(&out.error))
            return failed(EXIT_OUTPUT, out.error, outcome);
    }
    const ShownSubtitles subtitles =
        task.subtitles.empty() ? ShownSubtitles{} : readShownSubtitles(task, note);

    if (task.progress)
        task.progress->begin(probe.duration);
    HeadlessSummary summary(path, task.settings, task.sources, task.decoderThreads);
    // From a stored analysis the tree is quick: its memory goes before the
    // encoder's comes.
    summary.setHoldKept(out.videoFile || out.sheetFile);
    // The kept pictures are read again rather than held while the tree
    // decides: the summary itself needs only their descriptors.
    ReaderOptions readAgain;
    readAgain.audio = false;
    readAgain.decoderThreads = task.decoderThreads; // a cap holds for this decoder too
    PlaybackReader keptPictures(path, readAgain);
    bool outputFailed = false;

    // A kept fragment's first picture opens the video (at the pictures'
    // size) and the fragment's span in it, and heads a segment on the sheet.
    auto startFragment = [&](const Picture& picture, const KeptFragment& fragment,
                             bool startsSegment) {
        const int width = picture.width();
        const int height = picture.height();
        if (out.videoFile) {
            if (!out.writer) {
                out.writer = std::make_unique<SummaryVideoWriter>();
                VideoWriterFormat format;
                format.width = width;
                format.height = height;
                format.frameRateNum = probe.frameRateNum;
                format.frameRateDen = probe.frameRateDen;
                format.sarNum = probe.sarNum;
                format.sarDen = probe.sarDen;
                format.threads = task.encoderThreads;
                format.leanLookahead = task.leanEncoder;
                format.audioStream = audioStream;
                format.subtitles = subtitles.read;
                format.subtitleLanguage = subtitles.language;
                const bool withAudio = probe.hasAudio || task.audioTrack > 0;
                if (!out.writer->open(out.videoBody->temporaryPath(), format,
                                      withAudio ? path : std::string(), &out.error)) {
                    outputFailed = true;
                    return false;
                }
            }
            if (!out.writer->beginSpan(fragment.start, fragment.end, &out.error)) {
                outputFailed = true;
                return false;
            }
        }
        if (out.sheetFile && startsSegment) {
            if (!out.sheet)
                out.sheet =
                    std::make_unique<ContactSheet>(width, height, probe.sarNum, probe.sarDen);
            if (!out.sheet->add(picture.avFrame(), fragment.start)) {
                out.error = "cannot scale a picture for the contact sheet";
                outputFailed = true;
                return false;
            }
        }
        return true;
    };

    // Each kept picture goes to the writers as soon as it is read, so that
    // a fragment's pictures are never all held at once (25 pictures of
    // 1080p are 78 MB beside the encoder's own).
    std::optional<KeptFragment> previous;
    auto onKept = [&](const KeptFragment& fragment, const Decision& decision) {
        if (!out.videoFile && !out.sheetFile)
            return !interrupted;
        // The sheet shows the first picture of each segment.
        const bool startsSegment = !previous || !continuesSegment(*previous, fragment);
        previous = fragment;
        bool first = true;
        auto take = [&](PictureFrame&& frame) {
            const AVFrame* picture = frame.picture.avFrame();
            if (first && !startFragment(frame.picture, fragment, startsSegment))
                return false;
            first = false;
            if (out.writer && !out.writer->addPicture(picture, frame.frameTime, &out.error)) {
                outputFailed = true;
                return false;
            }
            return true;
        };
        if (!keptPictures.read(decision, take)) {
            if (!outputFailed)
                out.error = "the kept pictures cannot be read again from '" + path + "'";
            outputFailed = true;
            return false;
        }
        if (out.writer && !first && !out.writer->endSpan(&out.error)) {
            outputFailed = true;
            return false;
        }
        return !interrupted;
    };
    // Once the video is read, what is left is the summary video's: as far
    // as it is decided (decoding), or as the fragment handed on (held).
    auto onProgress = [&](double position, int64_t pictures) {
        if (task.progress)
            task.progress->update(position, pictures);
        if (task.progress && out.videoFile && summary.allRead())
            task.progress->writing(task.output,
                                   std::min(position, summary.decidedEnd()) - probe.start,
                                   probe.duration);
        return !interrupted;
    };

    const bool completed = summary.run(onKept, onProgress);
    if (task.progress)
        task.progress->end();
    for (const std::string& notice : summary.storeNotices())
        note(notice);
    if (interrupted)
        return failed(EXIT_INTERRUPTED, "interrupted; no output written", outcome);
    if (outputFailed || !completed)
        return failed(EXIT_OUTPUT, out.error.empty() ? "stopped" : out.error, outcome);
    if (summary.picturesDecoded() == 0)
        return failed(EXIT_NO_VIDEO, "'" + path + "' has no decodable video pictures", outcome);

    SummaryReport report;
    report.video = path;
    report.duration = probe.duration;
    // A file cut short: its summary is of what can be read.
    const double readable = summary.decidedEnd() - probe.start;
    const double period = static_cast<double>(probe.frameRateDen) / probe.frameRateNum;
    if (summary.decidedEnd() > 0.0 && endsShort(readable, probe.duration, period)) {
        outcome.duration = report.duration = readable;
        outcome.claimedDuration = probe.duration;
        report.extra["claimed_duration"] = probe.duration;
        report.extra["partly_read"] = true;
    }
    report.frameRateNum = probe.frameRateNum;
    report.frameRateDen = probe.frameRateDen;
    report.hasAudio = probe.hasAudio;
    report.start = probe.start;
    report.width = probe.width;
    report.height = probe.height;
    report.sarNum = probe.sarNum;
    report.sarDen = probe.sarDen;
    report.variableRate = probe.variableRate;
    report.averageRateNum = probe.averageRateNum;
    report.averageRateDen = probe.averageRateDen;
    if (probe.variableRate && writesTimeline(task))
        note(variableRateNote(path, probe));
    report.settings = task.settings;
    report.segments = mergeFragments(summary.keptFragments());
    outcome.kept = summaryDuration(report.segments);
    const bool empty = report.segments.empty();
    const std::vector<SummaryLine> kept = summaryLines(subtitles.lines, report.segments);
    if (out.writer && subtitles.read)
        for (const SummaryLine& line : kept)
            if (!out.writer->addSubtitle(line.startMs, line.endMs, line.text, &out.error))
                return failed(EXIT_OUTPUT, out.error, outcome);

    if (out.videoFile) {
        if (empty) {
            out.videoFile->discard();
            note("the summary is empty: no video written to '" + task.output + "'");
        } else if (!finishVideo(task, out, report.segments)) {
            return failed(EXIT_OUTPUT, out.error, outcome);
        } else {
            outcome.written.emplace_back(task.output, sizeOf(task.output));
        }
    }
    if (out.sheetFile) {
        if (empty) {
            out.sheetFile->discard();
            note("the summary is empty: no contact sheet written to '" + task.contactSheet + "'");
        } else if (!out.sheet->writePng(out.sheetFile->temporaryPath(), &out.error) ||
                   !out.sheetFile->commit(&out.error)) {
            return failed(EXIT_OUTPUT, out.error, outcome);
        } else {
            outcome.written.emplace_back(task.contactSheet, sizeOf(task.contactSheet));
        }
    }

    if (out.subtitleFile) {
        const std::string srt = formatSrt(kept);
        std::ofstream text(out.subtitleFile->temporaryPath(), std::ios::binary | std::ios::trunc);
        text.write(srt.data(), static_cast<std::streamsize>(srt.size()));
        text.close();
        if (!text)
            return failed(EXIT_OUTPUT, "cannot write '" + task.subtitles + "'", outcome);
        if (!out.subtitleFile->commit(&out.error))
            return failed(EXIT_OUTPUT, out.error, outcome);
        outcome.written.emplace_back(task.subtitles, sizeOf(task.subtitles));
    }

    if (!writeBatchLists(task, report, summary.portable(), &outcome, &out.error))
        return failed(EXIT_OUTPUT, out.error, outcome);
    if (task.results != nullptr) {
        const std::string list = formatList(report, task.format);
        if (std::fwrite(list.data(), 1, list.size(), task.results) != list.size() ||
            std::fflush(task.results) != 0)
            return failed(EXIT_OUTPUT, "cannot write the segment list to standard output", outcome);
    }
    if (outcome.claimedDuration >= 0.0)
        return failed(EXIT_PARTLY_READ,
                      "warning: '" + path + "' ends at " +
                          readableTime(readable, outcome.claimedDuration) + " of its " +
                          readableTime(outcome.claimedDuration) + "; the rest cannot be read",
                      outcome);
    return outcome;
}

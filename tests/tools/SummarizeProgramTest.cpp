// tessaro-summarize run as a user runs it: exit statuses, messages, the
// three list formats and the two output files.

#include "ContactSheet.h"
#include "SegmentList.h"
#include "TestMedia.h"
#include "ToolTestSupport.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

QJsonObject parseJson(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
}

int64_t timecodeFrames(const std::string& tc, int base) {
    const int h = std::stoi(tc.substr(0, 2));
    const int m = std::stoi(tc.substr(3, 2));
    const int s = std::stoi(tc.substr(6, 2));
    const int f = std::stoi(tc.substr(9, 2));
    return ((h * 60LL + m) * 60 + s) * base + f;
}

void expectOneErrorLine(const ProgramRun& run, int status, const std::string& message) {
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.err, "tessaro-summarize: " + message + "\n");
    EXPECT_TRUE(run.out.empty());
}

TEST(SummarizeProgram, HelpAndVersionGoToStandardOutput) {
    const ProgramRun help = runProgram({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: tessaro-summarize [options] VIDEO", 0), 0u);
    EXPECT_TRUE(help.err.empty());
    const ProgramRun version = runProgram({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tessaro-summarize ", 0), 0u);
}

TEST(SummarizeProgram, BadInputsGiveOneLineAndTheirOwnStatus) {
    const std::string dir = scratchDirectory("ProgramBadInputs");
    const std::string missing = dir + "/missing.mp4";
    expectOneErrorLine(runProgram({missing}), 3,
                       "cannot read '" + missing + "': No such file or directory");
    expectOneErrorLine(runProgram({dir}), 3, "cannot read '" + dir + "': it is a directory");

    const std::string empty = testMedia(kEmpty);
    expectOneErrorLine(runProgram({empty}), 4,
                       "'" + empty + "' is not a video file FFmpeg can open");
    const std::string text = testMedia(kText);
    expectOneErrorLine(runProgram({text}), 4, "'" + text + "' is not a video file FFmpeg can open");

    const std::string audioOnly = dir + "/tone.m4a";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=d=1 -c:a aac '" +
                           audioOnly + "'")
                              .c_str()),
              0);
    expectOneErrorLine(runProgram({audioOnly}), 4, "'" + audioOnly + "' has no video stream");

    // The engine reads up to 8K UHD; larger is refused in one line, not the reader's several.
    const std::string huge = dir + "/huge.y4m";
    ASSERT_EQ(
        std::system(("printf 'YUV4MPEG2 W8000 H4400 F25:1 C420jpeg\\n' > '" + huge + "'").c_str()),
        0);
    expectOneErrorLine(runProgram({huge}), 4,
                       "'" + huge +
                           "' has pictures of 8000x4400, larger than Tessaro reads (8K UHD)");

    expectOneErrorLine(runProgram({"--depth", "10", testMedia(kScenes)}), 2,
                       "--depth must be a whole number from 20 to 90, not '10'");
    expectOneErrorLine(runProgram({"--bogus"}), 2, "unknown option '--bogus' (see --help)");
    expectOneErrorLine(runProgram({}), 2, "no video file given (see --help)");
}

TEST(SummarizeProgram, UnreadableFileIsStatusThree) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const std::string dir = scratchDirectory("ProgramUnreadable");
    const std::string path = dir + "/locked.mp4";
    ASSERT_EQ(std::system(("cp '" + testMedia(kScenes) + "' '" + path + "'").c_str()), 0);
    chmod(path.c_str(), 0);
    expectOneErrorLine(runProgram({path}), 3, "cannot read '" + path + "': Permission denied");
}

TEST(SummarizeProgram, FailuresLeaveNoFileBehind) {
    const std::string dir = scratchDirectory("ProgramNoPartialFiles");
    const std::string video = dir + "/out.mp4";
    const std::string sheet = dir + "/sheet.png";
    // Bad input after the outputs were named.
    ProgramRun run = runProgram({"-o", video, "--contact-sheet", sheet, testMedia(kText)});
    EXPECT_EQ(run.status, 4);
    EXPECT_TRUE(directoryEntries(dir).empty());
    // An output that cannot be written.
    run = runProgram(
        {"-o", dir + "/no/such/dir/out.mp4", "--contact-sheet", sheet, testMedia(kScenes)});
    EXPECT_EQ(run.status, 5);
    EXPECT_EQ(run.err, "tessaro-summarize: cannot write '" + dir +
                           "/no/such/dir/out.mp4': No such file or directory\n");
    EXPECT_TRUE(directoryEntries(dir).empty());
}

TEST(SummarizeProgram, RefusesToOverwriteItsInput) {
    const std::string dir = scratchDirectory("ProgramOverwrite");
    const std::string copy = dir + "/scenes.mp4";
    ASSERT_EQ(std::system(("cp '" + testMedia(kScenes) + "' '" + copy + "'").c_str()), 0);
    expectOneErrorLine(runProgram({"-o", copy, copy}), 2,
                       "--output would overwrite the video being summarised");
    expectOneErrorLine(runProgram({"--contact-sheet", copy, copy}), 2,
                       "--contact-sheet would overwrite the video being summarised");
    EXPECT_EQ(inspectMedia(copy, false).videoStreams, 1);
}

TEST(SummarizeProgram, ThreeFormatsDescribeTheSameSegments) {
    const std::string video = testMedia(kScenes);
    const ProgramRun json = runProgram({"-t", "0.4", video});
    const ProgramRun csv = runProgram({"-t", "0.4", "-f", "csv", video});
    const ProgramRun edl = runProgram({"-t", "0.4", "--format=edl", video});
    ASSERT_EQ(json.status, 0) << json.err;
    ASSERT_EQ(csv.status, 0) << csv.err;
    ASSERT_EQ(edl.status, 0) << edl.err;
    // Not a terminal: no progress line, and nothing else to say.
    EXPECT_TRUE(json.err.empty()) << json.err;

    const QJsonObject o = parseJson(json.out);
    EXPECT_EQ(o["video"].toString().toStdString(), video);
    EXPECT_NEAR(o["duration"].toDouble(), 10.0, 0.05);
    EXPECT_DOUBLE_EQ(o["settings"].toObject()["target"].toDouble(), 0.4);
    const QJsonArray segments = o["segments"].toArray();
    ASSERT_FALSE(segments.isEmpty());

    const auto csvRows = lines(csv.out);
    ASSERT_EQ(csvRows.size(), static_cast<size_t>(segments.size()) + 1);
    EXPECT_EQ(csvRows[0], "segment,start,end,duration,frames");

    const auto edlRows = lines(edl.out);
    EXPECT_EQ(edlRows[0], "TITLE: scenes.mp4 summary");
    EXPECT_EQ(edlRows[1], "FCM: NON-DROP FRAME");
    int64_t record = 0;
    double total = 0.0;
    for (int i = 0; i < segments.size(); ++i) {
        const QJsonObject s = segments[i].toObject();
        const double start = s["start"].toDouble();
        const double end = s["end"].toDouble();
        const int frames = s["frames"].toInt();
        SCOPED_TRACE(i);
        // Segments are in order, inside the video, one frame each 1/25 s.
        EXPECT_LT(start, end);
        EXPECT_LE(end, 10.0 + 1e-9);
        EXPECT_NEAR(end - start, frames / 25.0, 1e-6);
        if (i > 0) {
            EXPECT_GT(start, segments[i - 1].toObject()["end"].toDouble());
        }
        total += end - start;

        char text[128];
        std::snprintf(text, sizeof text, "%d,%.3f,%.3f,%.3f,%d", i + 1, start, end, end - start,
                      frames);
        EXPECT_EQ(csvRows[i + 1], text);

        // Each event: "NNN  AX       AA/V  C        srcIn srcOut recIn recOut".
        const std::string event = edlRows[3 + 3 * i];
        std::istringstream fields(event);
        std::string number, reel, track, transition, srcIn, srcOut, recIn, recOut;
        fields >> number >> reel >> track >> transition >> srcIn >> srcOut >> recIn >> recOut;
        EXPECT_EQ(std::stoi(number), i + 1);
        EXPECT_EQ(track, "AA/V");
        EXPECT_EQ(transition, "C");
        EXPECT_EQ(timecodeFrames(srcIn, 25), std::llround(start * 25));
        EXPECT_EQ(timecodeFrames(srcOut, 25) - timecodeFrames(srcIn, 25), frames);
        EXPECT_EQ(timecodeFrames(recIn, 25), record);
        EXPECT_EQ(timecodeFrames(recOut, 25), record + frames);
        EXPECT_EQ(edlRows[4 + 3 * i], "* FROM CLIP NAME: scenes.mp4");
        record += frames;
    }
    EXPECT_NEAR(o["summary_duration"].toDouble(), total, 0.002);
}

struct VideoCase {
    const char* name;
    std::vector<std::string> settings;
    int width, height;
};

TEST(SummarizeProgram, SummaryVideoMatchesTheSegments) {
    // mpeg4_mp3.avi lacks frames 40 to 42: its segment spans more time than frames.
    const VideoCase cases[] = {{"scenes.mp4", {"-t", "0.3"}, 320, 240},
                               {"mpeg4_mp3.avi", {}, 320, 240}};
    for (const VideoCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = scratchDirectory("ProgramVideo");
        const std::string output = dir + "/summary.mp4";
        std::vector<std::string> arguments = c.settings;
        for (const char* a : {"-o", output.c_str()})
            arguments.push_back(a);
        arguments.push_back(testMedia(c.name));
        const ProgramRun run = runProgram(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        const QJsonObject o = parseJson(run.out);
        const double summary = o["summary_duration"].toDouble();
        ASSERT_GT(summary, 0.0);

        const StreamInfo info = inspectMedia(output, true);
        ASSERT_TRUE(info.opened);
        EXPECT_EQ(info.videoStreams, 1);
        EXPECT_EQ(info.audioStreams, 1);
        EXPECT_EQ(info.videoCodec, "h264");
        EXPECT_EQ(info.audioCodec, "aac");
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_DOUBLE_EQ(info.frameRate, 25.0);
        EXPECT_EQ(info.videoFrames, std::llround(summary * 25));
        EXPECT_TRUE(info.timestampsContinuous);
        EXPECT_NEAR(info.duration, summary, 0.04);
        EXPECT_NEAR(info.videoDuration, summary, 0.04);
        EXPECT_NEAR(info.audioDuration, summary, 0.04);
        EXPECT_EQ(directoryEntries(dir).size(), 1u); // no temporary file left
    }
}

TEST(SummarizeProgram, VideoWithoutSoundGivesVideoWithoutSound) {
    const std::string dir = scratchDirectory("ProgramSilent");
    const ProgramRun run = runProgram({"-o", dir + "/s.mp4", testMedia(kVideoOnly)});
    ASSERT_EQ(run.status, 0) << run.err;
    const StreamInfo info = inspectMedia(dir + "/s.mp4", false);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams, 0);
}

TEST(SummarizeProgram, ContactSheetHasOneCellPerSegment) {
    const std::string dir = scratchDirectory("ProgramSheet");
    const std::string sheet = dir + "/sheet.png";
    const ProgramRun run = runProgram({"-t", "0.4", "--contact-sheet", sheet, testMedia(kScenes)});
    ASSERT_EQ(run.status, 0) << run.err;
    const int segments = parseJson(run.out)["segments"].toArray().size();
    ASSERT_GT(segments, 0);
    const DecodedPng png = decodePng(sheet);
    ASSERT_TRUE(png.ok);
    // 320x240 pictures make 240x180 thumbnails, up to six to a row.
    const int columns = std::min(segments, ContactSheet::kMaxColumns);
    const int rows = (segments + columns - 1) / columns;
    const int gap = ContactSheet::kGap;
    EXPECT_EQ(png.width, columns * 240 + (columns + 1) * gap);
    EXPECT_EQ(png.height, rows * (180 + ContactSheet::kLabelHeight) + (rows + 1) * gap);
}

TEST(SummarizeProgram, TargetZeroAndOneAreAccepted) {
    const std::string video = testMedia(kScenes);
    const ProgramRun none = runProgram({"-t", "0", video});
    const ProgramRun all = runProgram({"-t", "1", video});
    ASSERT_EQ(none.status, 0) << none.err;
    ASSERT_EQ(all.status, 0) << all.err;
    const double shortest = parseJson(none.out)["summary_duration"].toDouble();
    const double longest = parseJson(all.out)["summary_duration"].toDouble();
    EXPECT_GE(longest, shortest);
    EXPECT_LE(longest, 10.0 + 1e-9);
}

TEST(SummarizeProgram, VideoShorterThanOneFragment) {
    // Four pictures at one a second, with 5.1 sound: one short fragment.
    const std::string dir = scratchDirectory("ProgramShort");
    const std::string video = testMedia(kSparseVideo);
    const ProgramRun run =
        runProgram({"-o", dir + "/s.mp4", "--contact-sheet", dir + "/s.png", video});
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonArray segments = parseJson(run.out)["segments"].toArray();
    // With the default weights the first fragment is always included.
    ASSERT_EQ(segments.size(), 1);
    EXPECT_DOUBLE_EQ(segments[0].toObject()["start"].toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(segments[0].toObject()["end"].toDouble(), 4.0);
    EXPECT_EQ(segments[0].toObject()["frames"].toInt(), 4);
    const StreamInfo info = inspectMedia(dir + "/s.mp4", true);
    EXPECT_EQ(info.videoFrames, 4);
    EXPECT_NEAR(info.duration, 4.0, 1.0);
    EXPECT_NEAR(info.audioDuration, 4.0, 0.05);
    EXPECT_TRUE(decodePng(dir + "/s.png").ok);
}

TEST(SummarizeProgram, EmptySummaryWritesNoFilesAndSaysSo) {
    // A one-frame video: the engine drops a lone last frame, so nothing is kept.
    const std::string dir = scratchDirectory("ProgramEmpty");
    const std::string video = dir + "/one.mp4";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=s=160x120:d=1 "
                           "-frames:v 1 -c:v libx264 '" +
                           video + "'")
                              .c_str()),
              0);
    const ProgramRun run =
        runProgram({"-o", dir + "/s.mp4", "--contact-sheet", dir + "/s.png", video});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(parseJson(run.out)["segments"].toArray().isEmpty());
    EXPECT_EQ(run.err, "tessaro-summarize: the summary is empty: no video written to '" + dir +
                           "/s.mp4'\n"
                           "tessaro-summarize: the summary is empty: no contact sheet written "
                           "to '" +
                           dir + "/s.png'\n");
    EXPECT_EQ(directoryEntries(dir).size(), 1u);
}

// Runs the program with standard error on a terminal and returns what the terminal showed.
std::string runOnTerminal(const std::vector<std::string>& arguments) {
    int master = -1;
    std::vector<char*> argv = programArgv(arguments);
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (child < 0)
        return {};
    std::string shown;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        shown.append(buffer, static_cast<size_t>(n));
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(master);
    return shown;
}

TEST(SummarizeProgram, ProgressLineOnlyOnATerminalAndNotWhenQuiet) {
    const std::string video = demoVideo();
    const std::string shown = runOnTerminal({video});
    EXPECT_NE(shown.find("\rsummarizing "), std::string::npos) << shown;
    EXPECT_NE(shown.find("% "), std::string::npos);
    EXPECT_NE(shown.find(" fps"), std::string::npos);
    EXPECT_EQ(shown.find('\n'), std::string::npos) << "one line, redrawn in place";
    EXPECT_TRUE(runOnTerminal({"-q", video}).empty());
}

} // namespace

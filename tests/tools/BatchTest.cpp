// tessaro-summarize over many videos: the names of their files, the shares
// of a list, the report's lines and what --skip-done passes over.

#include "BatchPlan.h"
#include "TestMedia.h"
#include "ToolTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(BatchPlan, FilesAreNamedAfterTheVideoAndALaterClashTakesTheFirstFreeNumber) {
    const struct {
        std::vector<std::string> videos;
        const char* outDir;
        std::vector<std::string> files; // folder/name of each
    } cases[] = {
        {{"a/clip.mp4", "b/clip.mp4", "c/clip-2.mp4", "d/clip.mp4"},
         "out",
         {"out/clip.mp4", "out/clip-3.mp4", "out/clip-2.mp4", "out/clip-4.mp4"}},
        {{"a/clip.mp4", "b/clip.mp4"}, "", {"a/clip.mp4", "b/clip.mp4"}},
        {{"x.mp4", "./x.mp4", "X.mp4"}, "", {"./x.mp4", "./x-2.mp4", "./X.mp4"}},
        {{"a/noext", "b/noext", "a/.hidden", "b/.hidden"},
         "o",
         {"o/noext", "o/noext-2", "o/.hidden", "o/.hidden-2"}},
    };
    for (const auto& c : cases) {
        const std::vector<BatchItem> items = planBatch(c.videos, c.outDir);
        ASSERT_EQ(items.size(), c.files.size());
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].video, c.videos[i]);
            EXPECT_EQ(items[i].folder + "/" + items[i].name, c.files[i]);
        }
    }
}

TEST(BatchPlan, TheShardsOfAListTakeEveryVideoOnceAndListsPassOverBlankLines) {
    for (size_t count = 0; count < 10; ++count)
        for (int shards = 1; shards <= 4; ++shards) {
            std::vector<int> taken(count);
            for (int shard = 1; shard <= shards; ++shard) {
                const std::vector<size_t> mine = shardOf(count, shard, shards);
                EXPECT_LE(mine.size(), (count + shards - 1) / shards);
                for (size_t i : mine)
                    ++taken.at(i);
            }
            EXPECT_EQ(taken, std::vector<int>(count, 1)) << count << " in " << shards;
        }
    std::istringstream list("a.mp4\r\n\nwith space.mkv\nlast");
    std::vector<std::string> videos;
    EXPECT_TRUE(readVideoList(list, &videos));
    EXPECT_EQ(videos, (std::vector<std::string>{"a.mp4", "with space.mkv", "last"}));
}

std::vector<QJsonObject> reportLines(const std::string& out) {
    std::vector<QJsonObject> objects;
    for (const std::string& line : lines(out))
        objects.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
    return objects;
}

TEST(SummarizeBatch, ReportLinesSayWhatWasDoneAndSkipDoneRedoesOnlyWhatChanged) {
    const std::string dir = scratchDirectory("Batch");
    const std::string short51 = dir + "/frames51.mp4", out = dir + "/out", list = dir + "/list";
    fs::copy_file(testMedia(kFrames51), short51);
    const std::string aac = testMedia(kH264Aac);
    std::ofstream(list) << short51 << "\n" << aac << "\n";
    const std::string single = runProgram({"-q", "-f", "csv", "-t", "0.3", aac}).out;
    const auto touch = [](const std::string& path) { std::ofstream(path, std::ios::app) << " "; };
    // The record as another JSON writer lays it out: members sorted, all on one line.
    const auto relayout = [](const std::string& path) {
        std::ifstream in(path);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        std::ofstream(path) << QJsonDocument::fromJson(QByteArray::fromStdString(text))
                                   .toJson(QJsonDocument::Compact)
                                   .toStdString();
    };
    // Each of the settings that change the decisions, changed alone.
    const std::vector<std::string> at02 = {"-t", "0.2"};
    const std::vector<std::string> shots = {"-t", "0.2", "--shot-aware"};
    const std::vector<std::string> speech = {"-t", "0.2", "--shot-aware", "--whole-speech"};
    std::vector<std::string> weight = speech;
    weight.insert(weight.end(), {"--length-weight", "0.3"});
    // Named videos come first, then the list's.
    const struct {
        const char* what;
        std::function<void()> change;
        std::vector<std::string> settings;
        const char* statuses; // o ok, s skipped, 3 or 4 failed with that status
        int status;
    } steps[] = {
        {"first", [] {}, {"-t", "0.3"}, "34oo", 6},
        {"again", [] {}, {"-t", "0.3"}, "34ss", 6},
        {"other settings", [] {}, at02, "34oo", 6},
        {"a list changed", [&] { touch(out + "/h264_aac.mp4.csv"); }, at02, "34so", 6},
        {"a video changed", [&] { touch(short51); }, at02, "34os", 6},
        {"only shot-aware ranking added", [] {}, shots, "34oo", 6},
        {"nothing changed", [] {}, shots, "34ss", 6},
        {"only speech kept whole added", [] {}, speech, "34oo", 6},
        {"only a weight changed", [] {}, weight, "34oo", 6},
        {"records laid out otherwise", [&] { relayout(out + "/h264_aac.mp4.json"); }, weight,
         "34ss", 6},
        {"the list alone", [] {}, weight, "ss", 0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        const std::string statuses = step.statuses;
        std::vector<std::string> arguments = {"--skip-done", "-f",     "csv", "--out-dir",
                                              out,           "--from", list};
        arguments.insert(arguments.end(), step.settings.begin(), step.settings.end());
        if (statuses.size() == 4)
            arguments.insert(arguments.end(), {testMedia(kMissing), testMedia(kText)});
        const ChildRun run = runProgram(arguments);
        EXPECT_EQ(run.status, step.status) << run.err;
        EXPECT_EQ(lines(run.err).size(), statuses.size() - 2);
        const std::vector<QJsonObject> report = reportLines(run.out);
        ASSERT_EQ(report.size(), statuses.size()) << run.out;
        for (size_t i = 0; i < report.size(); ++i) {
            const QJsonObject& line = report[i];
            const char expected = statuses[i];
            const bool failed = expected != 'o' && expected != 's';
            EXPECT_EQ(line["status"].toString().toStdString(), failed            ? "failed"
                                                               : expected == 'o' ? "ok"
                                                                                 : "skipped");
            EXPECT_EQ(line["exit"].toInt(), failed ? expected - '0' : 0);
            EXPECT_EQ(line["error"].isNull(), !failed);
            EXPECT_EQ(line["outputs"].toArray().size(), expected == 'o' ? 2 : 0);
            EXPECT_EQ(line["kept"].isNull(), failed);
            for (const auto& file : line["outputs"].toArray())
                EXPECT_TRUE(fs::exists(file.toString().toStdString()));
        }
        EXPECT_EQ(report[statuses.size() - 2]["input"].toString().toStdString(), short51);
        EXPECT_EQ(fileCount(out), size_t(4));
    }
    std::ifstream written(out + "/h264_aac.mp4.csv");
    std::stringstream text;
    text << written.rdbuf();
    // The last settings wrote it; the single run was at 0.3.
    std::vector<std::string> last = {"-q", "-f", "csv", aac};
    last.insert(last.begin(), weight.begin(), weight.end());
    EXPECT_EQ(runProgram(last).out, text.str());
    EXPECT_NE(single, text.str());
}

TEST(SummarizeBatch, EveryBadEntryOfAListGetsItsLineAndTheGoodOnesAreSummarised) {
    const std::string dir = scratchDirectory("BatchBadInput");
    const std::string out = dir + "/out", good = dir + "/good.mp4";
    fs::create_directories(out);
    fs::copy_file(testMedia(kFrames51), good);
    // Run as nobody when this is root, for whom no file is unreadable: then
    // everything the run writes must be open to all.
    const bool root = geteuid() == 0;
    for (const std::string& folder : {dir, out})
        fs::permissions(folder, fs::perms::all);
    const struct {
        const char* what;
        std::string entry; // as listed
        std::function<void(const std::string& path)> make;
        const char* status;
        int exit;
        const char* error; // a part of the line's error
    } rows[] = {
        {"a video", good, [](auto&) {}, "ok", 0, ""},
        {"a missing file", dir + "/missing.mp4", [](auto&) {}, "failed", 3, "No such file"},
        {"a folder", dir + "/folder.mp4", [](const std::string& p) { fs::create_directories(p); },
         "failed", 3, "directory"},
        {"an unreadable file", dir + "/locked.mp4",
         [](const std::string& p) {
             fs::copy_file(testMedia(kFrames51), p);
             fs::permissions(p, fs::perms::none);
         },
         "failed", 3, "Permission denied"},
        {"a text file", dir + "/text.mp4",
         [](const std::string& p) { fs::copy_file(testMedia(kText), p); }, "failed", 4,
         "not a video"},
        {"an empty file", dir + "/empty.mkv", [](const std::string& p) { std::ofstream{p}; },
         "failed", 4, "not a video"},
        {"the video again", good, [](auto&) {}, "ok", 0, ""},
        {"the video again by another path", dir + "/../BatchBadInput/good.mp4", [](auto&) {}, "ok",
         0, ""},
        {"another video", testMedia(kCuts), [](auto&) {}, "ok", 0, ""},
        {"a video that vanishes", dir + "/vanishing.mp4",
         [](const std::string& p) { fs::copy_file(testMedia(kFrames51), p); }, "failed", 3,
         "No such file"},
    };
    std::ofstream list(dir + "/list");
    for (const auto& row : rows) {
        row.make(row.entry);
        list << row.entry << "\n";
    }
    list.close();
    // As nobody, the run must reach the program and the list: a checkout
    // under a folder closed to others (mktemp -d makes one) cannot host it.
    if (root && std::system(("/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups "
                             "/usr/bin/test -x '" TESSARO_SUMMARIZE_PROGRAM "' -a -r '" +
                             dir + "/list'")
                                .c_str()) != 0)
        GTEST_SKIP() << "nobody cannot reach the program or the list here";
    Child program{.command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                              "--clear-groups", TESSARO_SUMMARIZE_PROGRAM, "--no-store", "-f",
                              "csv", "--out-dir", out, "--from", dir + "/list"}};
    if (!root)
        program.command.erase(program.command.begin(), program.command.begin() + 4);
    const std::string vanishing = std::end(rows)[-1].entry;
    // Once the first line is out, three videos are still to be summarised
    // before the one that vanishes: far longer than a poll.
    program.ready = [&](const std::string& output) {
        if (output.empty())
            return false;
        fs::remove(vanishing);
        return false;
    };
    const ChildRun run = runChild(program);
    EXPECT_EQ(run.status, 6) << run.err;
    const std::vector<QJsonObject> report = reportLines(run.out);
    ASSERT_EQ(report.size(), std::size(rows)) << run.out;
    size_t failures = 0;
    for (size_t i = 0; i < report.size(); ++i) {
        SCOPED_TRACE(rows[i].what);
        const QJsonObject& line = report[i];
        EXPECT_EQ(line["input"].toString().toStdString(), rows[i].entry);
        EXPECT_EQ(line["status"].toString().toStdString(), rows[i].status);
        EXPECT_EQ(line["exit"].toInt(), rows[i].exit);
        EXPECT_NE(line["error"].toString().toStdString().find(rows[i].error), std::string::npos)
            << line["error"].toString().toStdString();
        // Each video listed twice has files of its own: none overwrote another's.
        EXPECT_EQ(line["outputs"].toArray().size(), rows[i].exit == 0 ? 2 : 0);
        for (const auto& file : line["outputs"].toArray())
            EXPECT_TRUE(fs::exists(file.toString().toStdString()));
        failures += rows[i].exit != 0;
    }
    // One note per failed video, nothing else.
    EXPECT_EQ(lines(run.err).size(), failures) << run.err;
    EXPECT_EQ(fileCount(out), size_t(2 * 4));
}

TEST(SummarizeBatch, AnInterruptedBatchKeepsTheLinesOfFinishedVideosAndNoPartialFile) {
    const std::string out = scratchDirectory("BatchInterrupted");
    Child program{.command = {TESSARO_SUMMARIZE_PROGRAM, "--no-store", "-o", "s.mp4", "--out-dir",
                              out, testMedia(kH264Aac), testMedia(kH264_720p)}};
    program.ready = [](const std::string& output) {
        return output.find('\n') != std::string::npos;
    };
    const ChildRun run = runChild(program);
    EXPECT_EQ(run.status, 130);
    ASSERT_EQ(reportLines(run.out).size(), 1u);
    EXPECT_EQ(reportLines(run.out)[0]["status"].toString(), "ok");
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_EQ(entry.path().filename().string().rfind("h264_aac.mp4.", 0), 0u) << entry.path();
}

} // namespace

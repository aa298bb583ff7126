// The tool over a store under fault, as processes meet it: no cache folder,
// a read-only or a full one, two runs analysing one video at once,
// a run killed in the middle of an analysis. Each run summarises as if there
// were no store, says so at most once, and the store is whole afterwards.

#include "ChildProcess.h"
#include "DescriptorStore.h"
#include "Sqlite.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <thread>

namespace {

namespace fs = std::filesystem;

// A query's first row as "a b ...", or "" when the database cannot answer.
std::string query(const std::string& database, const char* sql) {
    Database db(database, Database::Access::ReadOnly);
    std::string row;
    if (!db.ok())
        return row;
    db.waitForLocks(2000);
    Statement statement(db, sql);
    if (statement.step() == Statement::Step::Row)
        for (int i = 0; i < statement.columns(); ++i)
            row += (i ? " " : "") + std::to_string(statement.integer(i));
    return row;
}

bool canMount() {
    Child probe{.command = {"/usr/bin/unshare", "-rm", "/bin/true"}};
    return runChild(probe).status == 0;
}

// Runs the command with the cache folder mounted as a tmpfs of `kilobytes`,
// or bound onto itself read-only when kilobytes is 0.
std::vector<std::string> mounted(const std::string& cache, int kilobytes) {
    const std::string mount =
        kilobytes > 0 ? "mount -t tmpfs -o size=" + std::to_string(kilobytes) + "k none \"$0\""
                      : "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\"";
    return {"/usr/bin/unshare",        "-rm", "/bin/sh",      "-c",
            mount + " && exec \"$@\"", cache, "/usr/bin/env", "XDG_CACHE_HOME=" + cache};
}

std::string databaseOf(const std::string& cache) {
    return cache + "/tessaro/" + DescriptorStore::fileName;
}

// How the tool is started: with the cache folder, through wrapper when one
// is given; killed (SIGKILL) in the middle of its analysis when asked, once
// it has begun writing the store (its layout is in), which this test then
// locks: however late the kill comes, the run has written nothing more.
struct ToolRun {
    std::vector<std::string> wrapper;
    bool killedWhileWriting = false;
};

ChildRun runTool(const std::string& cache, const ToolRun& run = {}, const char* video = kFrames51) {
    Child tool{.command = run.wrapper};
    if (tool.command.empty())
        tool.command = {"/usr/bin/env", "XDG_CACHE_HOME=" + cache};
    tool.command.insert(tool.command.end(),
                        {TESSARO_SUMMARIZE_PROGRAM, "-q", "-f", "csv", testMedia(video)});
    std::optional<Database> db;
    std::optional<Transaction> held;
    if (run.killedWhileWriting) {
        tool.ready = [&](const std::string&) {
            db.emplace(databaseOf(cache), Database::Access::ReadWrite);
            if (!db->ok() || Statement(*db, "SELECT * FROM info").step() != Statement::Step::Row)
                return false;
            db->waitForLocks(20000);
            held.emplace(*db, Transaction::Kind::Immediate);
            return held->begun();
        };
        tool.signal = SIGKILL;
    }
    return runChild(tool);
}

void sql(const std::string& database, const char* statement) {
    Database db(database, Database::Access::Create);
    ASSERT_TRUE(db.ok());
    EXPECT_TRUE(db.exec(statement)) << db.error();
}

TEST(StoreUnderFault, EveryRunSummarisesAsWithoutAStoreAndTheStoreStaysWhole) {
    const std::string root = std::string(TESSARO_BINARY_DIR) + "/store-test-scratch/Fault/";
    std::map<std::string, std::string> summaries;
    const auto expectedOf = [&](const char* video) {
        if (!summaries.count(video)) {
            Child plain{.command = {TESSARO_SUMMARIZE_PROGRAM, "--no-store", "-q", "-f", "csv",
                                    testMedia(video)}};
            summaries[video] = runChild(plain).out;
        }
        return summaries[video];
    };
    const bool mounts = canMount();
    const auto nothing = [](const std::string&) {};
    const auto analysed = [](const std::string& cache) { runTool(cache); };
    const auto readOnly = [](const std::string& cache) { return ToolRun{mounted(cache, 0)}; };

    const struct {
        const char* what;
        bool needsMount;
        std::function<void(const std::string& cache)> before;
        std::function<std::vector<ToolRun>(const std::string& cache)> runs; // at once
        int notices;     // on each run's standard error
        bool storedThen; // the runs left one whole entry
        // What the runs summarise; for a kill, a video long enough to analyse
        // that the run is found before it writes its analysis.
        const char* video = kFrames51;
    } faults[] = {
        {"no cache folder at all", false, nothing,
         [](auto&) {
             return std::vector<ToolRun>{{{"/usr/bin/env", "-u", "HOME", "-u", "XDG_CACHE_HOME"}}};
         },
         1, false},
        {"a read-only cache folder with the video stored", true, analysed,
         [&](const std::string& c) { return std::vector<ToolRun>{readOnly(c)}; }, 1, true},
        {"a full disk", true, nothing,
         [](const std::string& c) { return std::vector<ToolRun>{{mounted(c, 48)}}; }, 1, false},
        {"two runs analysing the video at once", false, nothing,
         [](auto&) { return std::vector<ToolRun>(2); }, 0, true},
        {"a run killed in the middle of an analysis", false, nothing,
         [](auto&) {
             return std::vector<ToolRun>{{{}, true}};
         },
         0, false, kH264_720p},
        // What a run killed between its last chunk and the end leaves.
        {"an entry a killed run left unfinished", false,
         [&](const std::string& c) {
             runTool(c);
             sql(databaseOf(c), "UPDATE videos SET complete=0");
         },
         [](auto&) { return std::vector<ToolRun>(1); }, 0, true},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        if (fault.needsMount && !mounts) {
            std::fprintf(stderr, "skipped '%s': this machine lets no test mount a folder\n",
                         fault.what);
            continue;
        }
        const std::string cache = root + std::to_string(&fault - faults);
        fs::remove_all(cache);
        fs::create_directories(cache);
        fault.before(cache);
        const std::string expected = expectedOf(fault.video);
        const std::vector<ToolRun> runs = fault.runs(cache);
        std::vector<ChildRun> results(runs.size());
        std::vector<std::thread> started;
        for (size_t i = 0; i < runs.size(); ++i)
            started.emplace_back([&, i] { results[i] = runTool(cache, runs[i], fault.video); });
        for (std::thread& t : started)
            t.join();
        for (size_t i = 0; i < runs.size(); ++i) {
            if (runs[i].killedWhileWriting) {
                EXPECT_EQ(results[i].signal, SIGKILL);
                continue;
            }
            EXPECT_EQ(results[i].status, 0) << results[i].err;
            EXPECT_EQ(results[i].out, expected);
            EXPECT_EQ(std::count(results[i].err.begin(), results[i].err.end(), '\n'), fault.notices)
                << results[i].err;
        }
        const std::string whole = "1 1";
        EXPECT_EQ(query(databaseOf(cache), "SELECT count(*), sum(complete) FROM videos") == whole,
                  fault.storedThen);
        // After the fault, a plain run analyses the video again where needed,
        // quietly, and leaves it stored whole.
        const ChildRun after = runTool(cache, {}, fault.video);
        EXPECT_EQ(after.status, 0);
        EXPECT_EQ(after.out, expected);
        EXPECT_EQ(after.err, "");
        EXPECT_EQ(query(databaseOf(cache), "SELECT count(*), sum(complete) FROM videos"), whole);
    }
}

} // namespace

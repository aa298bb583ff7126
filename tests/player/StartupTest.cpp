// The player as a user starts it: refusals before any window, and a copy
// installed under another prefix that finds its files from any folder.

#include "ChildProcess.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(Startup, WithoutAPlayableVideoItEndsBeforeAnyWindow) {
    const struct {
        std::vector<std::string> arguments;
        const char* named; // what the message must name
    } cases[] = {
        {{}, ""},
        {{"-style", "fusion"}, ""}, // the toolkit's options are not a video path
        {{testMedia(kMissing)}, kMissing},
        {{testMedia(kText)}, kText},
        {{testMedia(kTooLarge)}, kTooLarge},
    };
    for (const auto& c : cases) {
        Child player{.command = {TESSARO_PLAYER}};
        player.command.insert(player.command.end(), c.arguments.begin(), c.arguments.end());
        const ChildRun run = runChild(player);
        SCOPED_TRACE(run.out + run.err);
        EXPECT_EQ(run.status, 255);
        EXPECT_NE(run.out.find(c.named), std::string::npos);
        EXPECT_FALSE(run.out.empty());
        EXPECT_EQ(run.out.find("thread initiated"), std::string::npos);
    }
}

TEST(Startup, InstalledUnderAnyPrefixItFindsItsFilesFromAnyFolder) {
    const fs::path prefix =
        fs::temp_directory_path() / ("tessaro-prefix-" + std::to_string(getpid()));
    const fs::path elsewhere = prefix / "elsewhere";
    fs::remove_all(prefix);
    fs::create_directories(elsewhere);
    const ChildRun install =
        runChild({.command = {TESSARO_CMAKE, "--install", TESSARO_BINARY_DIR, "--prefix", prefix}});
    ASSERT_EQ(install.status, 0) << install.err;

    // Plays until the player has read the video, then a termination request
    // closes the window as the user would.
    Child player{.command = {prefix / "bin/tessaro", testMedia(kScenes)}, .directory = elsewhere};
    player.ready = [](const std::string& out) {
        return out.find("Visualitation thread initiated") != std::string::npos;
    };
    const ChildRun played = runChild(player);
    EXPECT_EQ(played.status, 0) << played.out << played.err;

    const ChildRun entry = runChild({.command = {"/usr/bin/desktop-file-validate",
                                                 prefix / "share/applications/tessaro.desktop"}});
    EXPECT_EQ(entry.status, 0);
    EXPECT_EQ(entry.out + entry.err, "");
    fs::remove_all(prefix);
}

} // namespace

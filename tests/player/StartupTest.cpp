// The player as a user starts it: refusals before any window, and a copy
// installed under another prefix that finds its files from any folder.

#include "ChildProcess.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(Startup, WithoutAPlayableVideoItEndsBeforeAnyWindow) {
    // Unreadable even for root once the process lacks the power to override
    // file permissions.
    const fs::path unreadable =
        fs::temp_directory_path() / ("tessaro-unreadable-" + std::to_string(getpid()) + ".mp4");
    fs::copy_file(testMedia(kH264Aac), unreadable, fs::copy_options::overwrite_existing);
    fs::permissions(unreadable, fs::perms::none);
    const std::string unreadableName = unreadable.filename();
    const std::vector<std::string> withoutOverride = {
        "/usr/bin/setpriv", "--bounding-set=-dac_override,-dac_read_search", "--"};

    const struct {
        std::vector<std::string> arguments;
        const char* named;  // what the message must name
        const char* reason; // what the added line on standard error gives; null: no such line
        bool asUnprivileged = false;
    } cases[] = {
        {{}, "", nullptr},
        {{"-style", "fusion"}, "", nullptr}, // the toolkit's options are not a video path
        {{testMedia(kMissing)}, kMissing, "No such file or directory"},
        {{testMedia(kEmpty)}, kEmpty, "The file is empty."},
        {{unreadable}, unreadableName.c_str(), "Permission denied", geteuid() == 0},
        {{testMedia(kText)}, kText, "This file holds no video this player can read."},
        {{testMedia(kAudioOnly)}, kAudioOnly, "only sound"},
        {{testMedia(kTooLarge)}, kTooLarge, "larger than this player shows"},
        // A list of which none opens ends as one bad file does, each one named.
        {{testMedia(kMissing), testMedia(kText)}, kText, "no video this player can read"},
    };
    for (const auto& c : cases) {
        Child player;
        if (c.asUnprivileged)
            player.command = withoutOverride;
        player.command.push_back(TESSARO_PLAYER);
        player.command.insert(player.command.end(), c.arguments.begin(), c.arguments.end());
        const ChildRun run = runChild(player);
        SCOPED_TRACE(run.out + run.err);
        EXPECT_EQ(run.status, 255);
        EXPECT_NE(run.out.find(c.named), std::string::npos);
        EXPECT_FALSE(run.out.empty());
        EXPECT_EQ(run.out.find("thread initiated"), std::string::npos);
        // The line of the last path: each one given has its own.
        const size_t said = run.err.find("\ntessaro: cannot open '" +
                                         (c.reason ? c.arguments.back() : std::string()));
        if (c.reason == nullptr) {
            EXPECT_EQ(said, std::string::npos);
            continue;
        }
        if (said == std::string::npos) {
            ADD_FAILURE() << "no reason on standard error";
            continue;
        }
        const std::string line = run.err.substr(said + 1, run.err.find('\n', said + 1) - said - 1);
        EXPECT_NE(line.find(c.arguments.back() + "': "), std::string::npos) << line;
        EXPECT_NE(line.find(c.reason), std::string::npos) << line;
    }
    fs::remove(unreadable);

    // Started from the desktop's menu, with no file, the player asks for one
    // and waits on its dialog instead of ending without a word.
    Child asking;
    asking.command = {TESSARO_PLAYER, "--from-desktop"};
    asking.ready = [](const std::string&) { return true; };
    asking.delayMs = 1500;
    const ChildRun waited = runChild(asking);
    EXPECT_EQ(waited.signal, SIGTERM) << waited.out << waited.err;
    EXPECT_EQ(waited.out.find("Must specify"), std::string::npos);
}

TEST(Startup, HelpAndVersionAnswerWithoutAVideo) {
    const ChildRun help = runChild({.command = {TESSARO_PLAYER, "--help"}});
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.out.rfind("Usage: tessaro [--from-desktop] VIDEO [VIDEO...]\n", 0), 0u)
        << help.out;
    for (const char* line : {"\n  --from-desktop ", "\n  S / P ", "\nExit status:\n"})
        EXPECT_NE(help.out.find(line), std::string::npos) << line;
    EXPECT_EQ(help.out.find("thread initiated"), std::string::npos);
    EXPECT_EQ(runChild({.command = {TESSARO_PLAYER, "-h"}}).out, help.out);

    const ChildRun version = runChild({.command = {TESSARO_PLAYER, "--version"}});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tessaro " TESSARO_VERSION "\n");

    // Beside another word it is no option: the words are videos' paths, as always.
    const ChildRun notAlone =
        runChild({.command = {TESSARO_PLAYER, "--help", testMedia(kMissing)}});
    EXPECT_EQ(notAlone.status, 255);
    EXPECT_NE(notAlone.out.find("--help"), std::string::npos) << notAlone.out;
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

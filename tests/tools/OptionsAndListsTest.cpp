// The command line read into options.

#include "SummarizeOptions.h"

#include <gtest/gtest.h>

namespace {

using Action = ParsedCommandLine::Action;

TEST(SummarizeOptions, EveryOptionInEveryWritingIsTaken) {
    ParsedCommandLine p = parseCommandLine({"-t",
                                            "0.1",
                                            "--length-weight=0.3",
                                            "--continuity-weight",
                                            "0.4",
                                            "--redundancy-weight=0",
                                            "--activity-weight",
                                            "1",
                                            "--depth=20",
                                            "--nodes=5000",
                                            "--junk-filter",
                                            "--shot-aware",
                                            "--whole-speech",
                                            "-fcsv",
                                            "-o",
                                            "out.mp4",
                                            "--contact-sheet",
                                            "sheet.png",
                                            "-q",
                                            "film.mp4"});
    ASSERT_EQ(p.action, Action::Run) << p.error;
    const SummarySettings& s = p.options.settings;
    EXPECT_DOUBLE_EQ(s.target, 0.1);
    EXPECT_DOUBLE_EQ(s.lengthWeight, 0.3);
    EXPECT_DOUBLE_EQ(s.continuityWeight, 0.4);
    EXPECT_DOUBLE_EQ(s.redundancyWeight, 0.0);
    EXPECT_DOUBLE_EQ(s.activityWeight, 1.0);
    EXPECT_EQ(s.depth, 20);
    EXPECT_EQ(s.nodes, 5000);
    EXPECT_TRUE(s.junkFilter);
    EXPECT_TRUE(s.shotAware);
    EXPECT_TRUE(s.wholeSpeech);
    EXPECT_EQ(p.options.format, ListFormat::Csv);
    EXPECT_EQ(p.options.output, "out.mp4");
    EXPECT_EQ(p.options.contactSheet, "sheet.png");
    EXPECT_TRUE(p.options.quiet);
    EXPECT_EQ(p.options.video, "film.mp4");

    // Short flags group, values attach, the last format given wins; limits are inclusive.
    p = parseCommandLine({"-qt1.00", "-fedl", "--format=json", "film.mp4"});
    ASSERT_EQ(p.action, Action::Run) << p.error;
    EXPECT_TRUE(p.options.quiet);
    EXPECT_DOUBLE_EQ(p.options.settings.target, 1.0);
    EXPECT_EQ(p.options.format, ListFormat::Json);
    // After "--" a dashed name is a video; so is "-" alone.
    EXPECT_EQ(parseCommandLine({"-q", "--", "-odd name.mp4"}).options.video, "-odd name.mp4");
    EXPECT_EQ(parseCommandLine({"-"}).options.video, "-");
    EXPECT_EQ(parseCommandLine({"-t", "0", "--depth", "90", "--nodes", "100", "v"}).action,
              Action::Run);

    // A batch: named videos, a list, or its own options.
    p = parseCommandLine({"--from", "list", "--skip-done", "--save-descriptors", "-j2",
                          "--threads=3", "--shard", "2/5", "--out-dir", "o", "a", "b"});
    ASSERT_EQ(p.action, Action::Run) << p.error;
    EXPECT_EQ(p.options.videos, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(p.options.batch() && p.options.skipDone && p.options.saveDescriptors);
    EXPECT_EQ(p.options.from, "list");
    EXPECT_EQ(p.options.outDir, "o");
    EXPECT_EQ(p.options.jobs, 2);
    EXPECT_EQ(p.options.threads, 3);
    EXPECT_EQ(p.options.shard, 2);
    EXPECT_EQ(p.options.shards, 5);
    EXPECT_TRUE(parseCommandLine({"--from", "-"}).options.batch());
    EXPECT_FALSE(
        parseCommandLine({"-j2", "--threads", "1", "--save-descriptors", "v"}).options.batch());
}

TEST(SummarizeOptions, BadCommandLinesAreRefusedNamingWhatIsWrong) {
    const struct {
        std::vector<std::string> arguments;
        const char* named;
    } cases[] = {
        {{"-t", "1.01", "v"}, "1.01"},
        {{"-t", "-0.1", "v"}, "-0.1"},
        {{"--target=nan", "v"}, "nan"},
        {{"--length-weight", "0.2x", "v"}, "0.2x"},
        {{"--activity-weight=", "v"}, "--activity-weight"},
        {{"--depth", "19", "v"}, "19"},
        {{"--depth", "60.5", "v"}, "60.5"},
        {{"--nodes", "5001", "v"}, "5001"},
        {{"--nodes", "99999999999999999999", "v"}, "9999"},
        {{"-f", "xml", "v"}, "xml"},
        {{"--output=", "v"}, "--output"},
        {{"--frobnicate", "v"}, "--frobnicate"},
        {{"-x", "v"}, "-x"},
        {{"--quiet=yes", "v"}, "--quiet"},
        {{"--shot-aware=true", "v"}, "--shot-aware"},
        // Option-like words that are no option, and never a video's name.
        {{"-q5", "v"}, "'-5'"},
        {{"---x", "v"}, "'---x'"},
        {{"-!", "v"}, "'-!'"},
        {{"v", "--target"}, "--target"},
        {{"v", "-o"}, "-o"},
        {{"-q"}, "video"},
        {{"--shard", "0/2", "v"}, "0/2"},
        {{"--shard=3/2", "v"}, "3/2"},
        {{"--shard", "2", "v"}, "'2'"},
        {{"-j0", "v"}, "--jobs"},
        {{"--from="}, "--from"},
        // In a batch -o names the end of each video's file.
        {{"-o", "out/s.mp4", "a.mp4", "b.mp4"}, "out/s.mp4"},
        {{"--key-frames-first", "v"}, "--save-descriptors"},
    };
    for (const auto& c : cases) {
        const ParsedCommandLine p = parseCommandLine(c.arguments);
        EXPECT_EQ(p.action, Action::Error) << c.named;
        EXPECT_NE(p.error.find(c.named), std::string::npos) << p.error;
    }
}

} // namespace

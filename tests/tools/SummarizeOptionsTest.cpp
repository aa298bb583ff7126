#include "SummarizeOptions.h"

#include <gtest/gtest.h>

namespace {

using Action = ParsedCommandLine::Action;

ParsedCommandLine parse(std::vector<std::string> arguments) {
    return parseCommandLine(arguments);
}

TEST(SummarizeOptions, DefaultsAreTheWindowsDefaults) {
    const ParsedCommandLine p = parse({"film.mp4"});
    ASSERT_EQ(p.action, Action::Run);
    const SummarySettings& s = p.options.settings;
    EXPECT_DOUBLE_EQ(s.target, 0.05);
    EXPECT_DOUBLE_EQ(s.lengthWeight, 0.20);
    EXPECT_DOUBLE_EQ(s.continuityWeight, 0.10);
    EXPECT_DOUBLE_EQ(s.redundancyWeight, 0.25);
    EXPECT_DOUBLE_EQ(s.activityWeight, 0.05);
    EXPECT_EQ(s.depth, 60);
    EXPECT_EQ(s.nodes, 500);
    EXPECT_FALSE(s.junkFilter);
    EXPECT_EQ(p.options.format, ListFormat::Json);
    EXPECT_TRUE(p.options.output.empty());
    EXPECT_TRUE(p.options.contactSheet.empty());
    EXPECT_FALSE(p.options.quiet);
    EXPECT_EQ(p.options.video, "film.mp4");
}

TEST(SummarizeOptions, EveryOptionInEveryWritingIsTaken) {
    const ParsedCommandLine p = parse(
        {"-t", "0.1", "--length-weight=0.3", "--continuity-weight", "0.4", "--redundancy-weight=0",
         "--activity-weight", "1", "--depth", "20", "--nodes=5000", "--junk-filter", "-fcsv", "-o",
         "out.mp4", "--contact-sheet", "sheet.png", "-q", "film.mp4"});
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
    EXPECT_EQ(p.options.format, ListFormat::Csv);
    EXPECT_EQ(p.options.output, "out.mp4");
    EXPECT_EQ(p.options.contactSheet, "sheet.png");
    EXPECT_TRUE(p.options.quiet);
    EXPECT_EQ(p.options.video, "film.mp4");
}

TEST(SummarizeOptions, ShortFlagsGroupAndValuesAttach) {
    const ParsedCommandLine p = parse({"-qt0.5", "-fedl", "--format=json", "film.mp4"});
    ASSERT_EQ(p.action, Action::Run) << p.error;
    EXPECT_TRUE(p.options.quiet);
    EXPECT_DOUBLE_EQ(p.options.settings.target, 0.5);
    EXPECT_EQ(p.options.format, ListFormat::Json); // the last one given wins
}

TEST(SummarizeOptions, DoubleDashEndsOptionsSoDashedNamesAreVideos) {
    const ParsedCommandLine p = parse({"-q", "--", "-odd name.mp4"});
    ASSERT_EQ(p.action, Action::Run) << p.error;
    EXPECT_EQ(p.options.video, "-odd name.mp4");
    EXPECT_EQ(parse({"-"}).options.video, "-");
}

TEST(SummarizeOptions, RangeLimitsAreInclusive) {
    EXPECT_EQ(parse({"-t", "0", "v"}).action, Action::Run);
    EXPECT_EQ(parse({"-t", "1.00", "v"}).action, Action::Run);
    EXPECT_EQ(parse({"--depth", "90", "v"}).action, Action::Run);
    EXPECT_EQ(parse({"--nodes", "100", "v"}).action, Action::Run);
}

struct BadLine {
    std::vector<std::string> arguments;
    std::string error;
};

TEST(SummarizeOptions, BadCommandLinesGiveOneClearLine) {
    const BadLine cases[] = {
        {{"-t", "1.01", "v"}, "--target must be a number from 0.00 to 1.00, not '1.01'"},
        {{"-t", "-0.1", "v"}, "--target must be a number from 0.00 to 1.00, not '-0.1'"},
        {{"--target=nan", "v"}, "--target must be a number from 0.00 to 1.00, not 'nan'"},
        {{"--length-weight", "0.2x", "v"},
         "--length-weight must be a number from 0.00 to 1.00, not '0.2x'"},
        {{"--activity-weight=", "v"},
         "--activity-weight must be a number from 0.00 to 1.00, not ''"},
        {{"--depth", "19", "v"}, "--depth must be a whole number from 20 to 90, not '19'"},
        {{"--depth", "60.5", "v"}, "--depth must be a whole number from 20 to 90, not '60.5'"},
        {{"--nodes", "5001", "v"}, "--nodes must be a whole number from 100 to 5000, not '5001'"},
        {{"--nodes", "99999999999999999999", "v"},
         "--nodes must be a whole number from 100 to 5000, not '99999999999999999999'"},
        {{"-f", "xml", "v"}, "--format must be json, csv or edl, not 'xml'"},
        {{"--output=", "v"}, "--output needs a file name"},
        {{"--frobnicate", "v"}, "unknown option '--frobnicate' (see --help)"},
        {{"-x", "v"}, "unknown option '-x' (see --help)"},
        {{"--quiet=yes", "v"}, "option '--quiet' takes no value"},
        {{"v", "--target"}, "option '--target' needs a value"},
        {{"v", "-o"}, "option '-o' needs a value"},
        {{}, "no video file given (see --help)"},
        {{"-q"}, "no video file given (see --help)"},
        {{"a.mp4", "b.mp4"}, "one video file at a time: 'a.mp4' and 'b.mp4' given"},
    };
    for (const BadLine& c : cases) {
        const ParsedCommandLine p = parse(c.arguments);
        EXPECT_EQ(p.action, Action::Error) << c.error;
        EXPECT_EQ(p.error, c.error);
    }
}

TEST(SummarizeOptions, HelpAndVersionNeedNoVideo) {
    EXPECT_EQ(parse({"--help"}).action, Action::Help);
    EXPECT_EQ(parse({"-h", "--version"}).action, Action::Help);
    EXPECT_EQ(parse({"--version"}).action, Action::Version);
    EXPECT_EQ(parse({"--version", "-h"}).action, Action::Help);
}

TEST(SummarizeOptions, HelpDocumentsEveryOptionAndExitStatus) {
    const std::string help = helpText();
    for (const char* option :
         {"--target", "--length-weight", "--continuity-weight", "--redundancy-weight",
          "--activity-weight", "--depth", "--nodes", "--junk-filter", "--format", "--output",
          "--contact-sheet", "--quiet", "--help", "--version"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    for (int status : {EXIT_OK, EXIT_INTERNAL, EXIT_USAGE, EXIT_UNREADABLE, EXIT_NO_VIDEO,
                       EXIT_OUTPUT, EXIT_INTERRUPTED})
        EXPECT_NE(help.find("\n  " + std::to_string(status) + " "), std::string::npos) << status;
}

} // namespace

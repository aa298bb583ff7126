#include "OutputFile.h"

#include "ToolTestSupport.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

TEST(OutputFile, NothingAppearsUnderTheFinalNameUntilCommit) {
    const std::string dir = scratchDirectory("OutputFileCommit");
    const std::string target = dir + "/summary.mp4";
    OutputFile file(target);
    std::string error;
    ASSERT_TRUE(file.create(&error)) << error;
    EXPECT_NE(file.temporaryPath(), target);
    EXPECT_EQ(file.temporaryPath().rfind(dir + "/", 0), 0u); // same directory: rename is atomic
    writeText(file.temporaryPath(), "complete");
    EXPECT_FALSE(fileExists(target));
    ASSERT_TRUE(file.commit(&error)) << error;
    EXPECT_EQ(readFile(target), "complete");
    EXPECT_EQ(directoryEntries(dir).size(), 1u);
}

TEST(OutputFile, CommitReplacesAnOldFile) {
    const std::string dir = scratchDirectory("OutputFileReplace");
    const std::string target = dir + "/list.png";
    writeText(target, "old");
    OutputFile file(target);
    std::string error;
    ASSERT_TRUE(file.create(&error));
    writeText(file.temporaryPath(), "new");
    EXPECT_EQ(readFile(target), "old");
    ASSERT_TRUE(file.commit(&error));
    EXPECT_EQ(readFile(target), "new");
}

TEST(OutputFile, AbandonedFileLeavesNothingBehind) {
    const std::string dir = scratchDirectory("OutputFileAbandon");
    {
        OutputFile file(dir + "/summary.mp4");
        std::string error;
        ASSERT_TRUE(file.create(&error));
        writeText(file.temporaryPath(), "half");
    }
    EXPECT_TRUE(directoryEntries(dir).empty());
}

TEST(OutputFile, FinishedFileHasTheUsualMode) {
    const std::string dir = scratchDirectory("OutputFileMode");
    const mode_t old = umask(022);
    OutputFile file(dir + "/summary.mp4");
    std::string error;
    ASSERT_TRUE(file.create(&error));
    ASSERT_TRUE(file.commit(&error));
    umask(old);
    struct stat info {};
    ASSERT_EQ(stat((dir + "/summary.mp4").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(OutputFile, MissingDirectoryIsReportedWithTheName) {
    const std::string dir = scratchDirectory("OutputFileMissing");
    OutputFile file(dir + "/no/such/place.mp4");
    std::string error;
    EXPECT_FALSE(file.create(&error));
    EXPECT_EQ(error, "cannot write '" + dir + "/no/such/place.mp4': No such file or directory");
}

TEST(OutputFile, ADirectoryInTheWayFailsTheCommitAndCleansUp) {
    const std::string dir = scratchDirectory("OutputFileDirectory");
    const std::string target = dir + "/taken";
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    {
        OutputFile file(target);
        std::string error;
        ASSERT_TRUE(file.create(&error));
        EXPECT_FALSE(file.commit(&error));
        EXPECT_NE(error.find("cannot write '" + target + "'"), std::string::npos);
    }
    EXPECT_EQ(directoryEntries(dir).size(), 1u);
}

} // namespace

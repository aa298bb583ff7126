#include "TestMedia.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace {

struct Outcome {
    int status = 0;
    QString out;
    QString err;
};

QProcessEnvironment offscreen() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // Keeps Qt's note about a missing runtime directory off standard error.
    static const QTemporaryDir runtimeDirectory;
    env.insert("XDG_RUNTIME_DIR", runtimeDirectory.path());
    return env;
}

Outcome runProgram(const QStringList& arguments, const QString& program = TESSARO_PLAYER,
                   const QString& workingDirectory = TESSARO_BINARY_DIR) {
    QProcess process;
    process.setProcessEnvironment(offscreen());
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(Startup, WithoutAVideoPathItSaysSoAndShowsNoWindow) {
    const Outcome run = runProgram({});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out.toStdString(), "\nMust specify input video");

    // Options the toolkit takes are not a video path.
    const Outcome styled = runProgram({"-style", "fusion"});
    EXPECT_EQ(styled.status, 255);
    EXPECT_EQ(styled.out.toStdString(), "\nMust specify input video");
}

TEST(Startup, AVideoThatCannotBeOpenedEndsBeforeAnyWindow) {
    const std::string missing = testMedia(kMissing);
    const Outcome run = runProgram({QString::fromStdString(missing)});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err.toStdString(), "VideoReader::VideoReader: av_open_input_file error\n");
    EXPECT_EQ(run.out.toStdString(), "\nERROR: Cannot open video " + missing);

    const Outcome text = runProgram({QString::fromStdString(testMedia(kText))});
    EXPECT_EQ(text.status, 255);
    EXPECT_TRUE(text.out.startsWith("\nERROR: Cannot open video ")) << text.out.toStdString();
    EXPECT_FALSE(text.out.contains("thread initiated"));
}

TEST(Startup, AMissingCascadeEndsTheProcessBeforeMain) {
    // A copy of the program with no data directory beside it, run where no cascade is.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath("bin");
    const QString copy = dir.path() + "/bin/tessaro";
    ASSERT_TRUE(QFile::copy(TESSARO_PLAYER, copy));
    QFile::setPermissions(copy, QFile::ExeOwner | QFile::ReadOwner);
    const Outcome run = runProgram({QString::fromStdString(testMedia(kScenes))}, copy, dir.path());
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err.toStdString(),
              "ObjectDetector::detect. ERROR: Could not load classifier cascade\n");
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
}

// Plays the small scene video and, once the player has read it, asks it to
// stop: a termination request closes the window as the user would.
Outcome playThenClose(const QString& program, const QString& workingDirectory,
                      const QStringList& more = {}) {
    QProcess process;
    process.setProcessEnvironment(offscreen());
    process.setWorkingDirectory(workingDirectory);
    process.start(program, QStringList{QString::fromStdString(testMedia(kScenes))} + more);
    QByteArray out;
    while (
        !(out.contains("Visualitation thread initiated") && out.contains("Total video length")) &&
        process.waitForReadyRead(30000))
        out += process.readAllStandardOutput();
    // A player that has already ended has no id, and kill(0) would stop this test's whole group.
    if (const qint64 pid = process.processId(); pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGTERM);
    EXPECT_TRUE(process.state() == QProcess::NotRunning || process.waitForFinished(30000));
    out += process.readAllStandardOutput();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), QString::fromUtf8(out),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(Startup, StartsTheThreadsInOrderAndFinishesWithZeroWhenClosed) {
    const Outcome run = playThenClose(TESSARO_PLAYER, TESSARO_BINARY_DIR, {"ignored", "args"});
    EXPECT_EQ(run.status, 0);

    const QString& text = run.out;
    const qsizetype refresh = text.indexOf("\nRefreshing thread initiated");
    const qsizetype decoding = text.indexOf("\nDecoding thread initiated");
    const qsizetype visualization = text.indexOf("\nVisualitation thread initiated");
    ASSERT_GE(refresh, 0);
    EXPECT_GT(decoding, refresh);
    EXPECT_GT(visualization, decoding);
    EXPECT_TRUE(text.contains("\n[DECODING]Total video length: 0.16666")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("\nFinished 0")) << text.toStdString();
}

TEST(Startup, InstalledUnderAnyPrefixItFindsItsFilesFromAnyWorkingDirectory) {
    QTemporaryDir prefix;
    QTemporaryDir elsewhere;
    ASSERT_TRUE(prefix.isValid() && elsewhere.isValid());
    const Outcome install =
        runProgram({"--install", TESSARO_BINARY_DIR, "--prefix", prefix.path()}, TESSARO_CMAKE);
    ASSERT_EQ(install.status, 0) << install.err.toStdString();

    const Outcome played = playThenClose(prefix.path() + "/bin/tessaro", elsewhere.path());
    EXPECT_EQ(played.status, 0) << played.err.toStdString();
    EXPECT_TRUE(played.out.endsWith("\nFinished 0")) << played.out.toStdString();

    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validator.isEmpty()) {
        const Outcome entry =
            runProgram({prefix.path() + "/share/applications/tessaro.desktop"}, validator);
        EXPECT_EQ(entry.status, 0);
        EXPECT_EQ((entry.out + entry.err).toStdString(), "");
    }
}

} // namespace

// The reasons given for a file that does not open, here the ones the
// start-up test cannot see on the console (a folder, a file that opens), and
// the message window a start from the desktop shows.

#include "Messages.h"
#include "OpeningFailure.h"
#include "TestMedia.h"

#include <QFileInfo>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <string>

namespace {

// Keeps what the engine says.
class Heard final : public MessageSink {
public:
    void write(MessageStream, const char* text) override { said += text; }
    std::string said;
};

TEST(OpeningFailure, GivesTheReasonQuietlyAndTheWindowSaysIt) {
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {testMedia(kMissing), "No such file or directory"},
        {TESSARO_BINARY_DIR, "Is a directory"},
        {testMedia(kText), "This file holds no video this player can read."},
        {testMedia(kNoAudioDecoder), ""}, // its pictures play without the sound
        {testMedia(kH264Aac), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = QString::fromStdString(c.path);
        Heard heard;
        setMessageSink(&heard);
        const QString reason = openingFailureReason(path);
        setMessageSink(nullptr);
        EXPECT_EQ(reason.toStdString(), c.reason);
        // The reader said why when it first refused the file.
        EXPECT_EQ(heard.said, "");
        if (reason.isEmpty())
            continue;

        const auto box = openingFailureBox(path, reason);
        EXPECT_EQ(box->windowTitle(), "Tessaro");
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_TRUE(box->text().contains(QFileInfo(path).fileName()));
        EXPECT_EQ(box->informativeText(), reason);
    }
}

} // namespace

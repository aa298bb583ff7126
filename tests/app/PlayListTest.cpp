// The play list: passing over videos that do not open, a folder's videos,
// what the media controls' Next and Previous do; and a list of three short
// videos, one of them unreadable, played through in the real window.

#include "PlayList.h"
#include "ControlState.h"
#include "Player.h"
#include "TestMedia.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

TEST(PlayList, GoesToTheFirstVideoThatOpensAndPassesOverTheOthers) {
    const struct {
        std::set<std::string> opening;
        int from;
        int direction;
        std::optional<int> reached;
        Names tried;
    } cases[] = {
        {{"a", "b", "c", "d"}, 0, 1, 0, {"a"}},
        {{"c"}, 0, 1, 2, {"a", "b", "c"}},
        {{"d"}, 2, 1, 3, {"c", "d"}},
        {{}, 1, 1, std::nullopt, {"b", "c", "d"}},
        {{"a"}, 2, -1, 0, {"c", "b", "a"}},
        {{"b", "c"}, 3, -1, 2, {"d", "c"}},
        {{"a", "b", "c", "d"}, 4, 1, std::nullopt, {}},
        {{"a", "b", "c", "d"}, -1, -1, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " by " << c.direction);
        PlayList list({"a", "b", "c", "d"});
        // The list stands at "b" before; a move that finds none leaves it there.
        ASSERT_EQ(list.openFrom(1, 1, [](const std::string&) { return true; }), 1);
        Names tried;
        const std::optional<int> reached =
            list.openFrom(c.from, c.direction, [&](const std::string& path) {
                tried.push_back(path);
                return c.opening.count(path) > 0;
            });
        EXPECT_EQ(reached, c.reached);
        EXPECT_EQ(tried, c.tried);
        EXPECT_EQ(list.index(), c.reached.value_or(1));
        EXPECT_EQ(list.place(), std::to_string(list.index() + 1) + "/4");
        EXPECT_EQ(list.has(1), list.index() < 3);
        EXPECT_EQ(list.has(-1), list.index() > 0);
    }
    const PlayList one({"a"});
    EXPECT_EQ(one.place(), "");
    EXPECT_FALSE(one.has(1) || one.has(-1));
}

// A folder's videos by their names as a person reads them, without its
// other files and without the folders in it.
TEST(PlayList, AFolderGivesItsVideosInNameOrder) {
    QTemporaryDir folder;
    const QDir dir(folder.path());
    for (const char* name :
         {"clip 10.mp4", "clip 2.MKV", "Clip 1.webm", "notes.txt", "song.mp3", "clip 3.mp4.part"}) {
        QFile file(dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(dir.mkpath(QStringLiteral("inner.mp4")));
    QFile inner(dir.filePath(QStringLiteral("inner.mp4/deeper.mp4")));
    ASSERT_TRUE(inner.open(QIODevice::WriteOnly));
    const std::string base = QFile::encodeName(folder.path()).toStdString() + "/";
    EXPECT_EQ(videosInFolder(folder.path()),
              (Names{base + "Clip 1.webm", base + "clip 2.MKV", base + "clip 10.mp4"}));
    EXPECT_TRUE(videosInFolder(dir.filePath(QStringLiteral("missing"))).empty());
}

TEST(PlayList, NextAndPreviousOfTheMediaControls) {
    const auto place = [](bool list, bool there, bool summary, double position, double first,
                          double last) {
        return SkipPlace{list, there, summary, position, first, last};
    };
    const struct {
        int direction;
        SkipPlace at;
        MediaSkip does;
    } cases[] = {
        // One video: as it always was.
        {1, place(false, false, false, 5, -1, -1), MediaSkip::Seek},
        {-1, place(false, false, true, 5, 0, 8), MediaSkip::Segment},
        // Play: from video to video, and nothing past the list's ends.
        {1, place(true, true, false, 5, -1, -1), MediaSkip::Video},
        {-1, place(true, false, false, 5, -1, -1), MediaSkip::Nothing},
        // Summary: the segments, then the video past the last or before the first.
        {1, place(true, true, true, 20, 3, -1), MediaSkip::Segment}, // not all decided
        {1, place(true, true, true, 20, 3, 25), MediaSkip::Segment},
        {1, place(true, true, true, 26, 3, 25), MediaSkip::Video},
        {1, place(true, false, true, 26, 3, 25), MediaSkip::Segment}, // the last video
        {-1, place(true, true, true, 4, 3, 25), MediaSkip::Video},
        {-1, place(true, true, true, 6, 3, 25), MediaSkip::Segment}, // to the segment's start
        {-1, place(true, true, true, 6, -1, -1), MediaSkip::Video},  // nothing decided yet
        {-1, place(true, false, true, 4, 3, 25), MediaSkip::Segment},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mediaSkip(c.direction, c.at), c.does)
            << c.direction << " at " << c.at.position << " list " << c.at.list << " there "
            << c.at.videoThere << " summary " << c.at.summary;
}

void waitFor(const std::function<bool()>& condition) {
    while (!condition()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

void press(QWidget* window, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

// Three videos, the second unreadable: the first plays to its end, the
// second is passed over, the third plays and the run ends there; Page Up
// goes back over the bad one, and a summary's end goes on in Summary.
TEST(PlayList, PlaysThroughAListPassingOverAnUnreadableVideo) {
    int argc = 1;
    char name[] = "tessaro";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    const std::string first = testMedia(kFrames51);  // 2 s
    const std::string third = testMedia(kVideoOnly); // 3 s
    double seconds = 0.0;
    ASSERT_TRUE(probeVideo(first.c_str(), &seconds));
    ControlState& state = controlState();

    // Each video as it opens, by the window's title (which says Summary too).
    std::vector<QString> opened;
    const auto ready = [&](const PlayerParts& parts) {
        opened.push_back(parts.mainWindow->windowTitle());
    };
    const QString one = QStringLiteral("Tessaro \u2014 frames51.mp4 (1/3)");
    const QString three = QStringLiteral("Tessaro \u2014 video_only.mp4 (3/3)");
    bool finished = false;
    QTimer::singleShot(0, [&] {
        QWidget* window = state.positionSlider->window();
        const QString ended = three + QStringLiteral(" \u2014 Ended");
        waitFor([&] { return opened.size() == 2 && window->windowTitle() == ended; });
        EXPECT_EQ(state.positionSlider->maximum(), 3);

        press(window, Qt::Key_PageDown); // past the last: nothing
        press(window, Qt::Key_PageUp);
        waitFor([&] { return opened.size() == 3; });
        EXPECT_EQ(window->windowTitle(), one);
        press(window, Qt::Key_S);
        const QString summaryEnded = three + QStringLiteral(" \u2014 Summary ended");
        waitFor([&] { return opened.size() == 4 && window->windowTitle() == summaryEnded; });
        finished = true;
        press(window, Qt::Key_Q);
    });
    const PlayList list({first, testMedia(kText), third});
    EXPECT_EQ(runPlayer(application, first.c_str(), seconds, ready, false, list), 0);
    EXPECT_TRUE(finished);
    EXPECT_EQ(opened,
              (std::vector<QString>{one, three, one, three + QStringLiteral(" \u2014 Summary")}));
}

} // namespace

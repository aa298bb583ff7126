#include "ChildProcess.h"
#include "DisplayEvents.h"
#include "SaveDialog.h"
#include "StoreSide.h"
#include "SummarySave.h"
#include "TestMedia.h"
#include "ThumbnailHover.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHoverEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string scratch(const std::string& name) {
    const std::string path = std::string(TESSARO_BINARY_DIR) + "/app-test-scratch/" + name;
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

ChildRun runTool(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), TESSARO_SUMMARIZE_PROGRAM);
    return runChild({arguments});
}

template <typename Done> void waitFor(const Done& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

// The player's save writes what the tool writes for the same settings, and
// a save that is cancelled or cannot be written leaves nothing.
TEST(SaveDialog, WritesTheToolsFilesAndNothingOnCancelOrFailure) {
    struct Case {
        const char* name;
        SaveFormat format;
        std::vector<std::string> toolOutput; // the tool's arguments for the same file
        bool cancel;
        bool missingFolder;
        bool overVideo; // the target is the video itself
        bool saved;
    };
    const Case cases[] = {
        {"mp4", SaveFormat::Video, {"-o", "TOOL"}, false, false, false, true},
        {"edl", SaveFormat::Edl, {"-f", "edl"}, false, false, false, true},
        {"mlt", SaveFormat::Mlt, {"-f", "mlt"}, false, false, false, true},
        {"unwritable-otio", SaveFormat::Otio, {}, false, true, false, false},
        {"cancelled", SaveFormat::Video, {}, true, false, false, false},
        {"unwritable", SaveFormat::Csv, {}, false, true, false, false},
        {"over-the-video", SaveFormat::Csv, {}, false, false, true, false},
    };
    const std::string original = testMedia(kH264Aac);
    SummarySettings settings;
    settings.target = 0.4;
    settings.continuityWeight = 0.3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = scratch(std::string("save-") + c.name);
        std::string target =
            folder + (c.missingFolder ? "/gone/" : "/") + "summary." + saveExtension(c.format);
        std::string video = original;
        if (c.overVideo) {
            video = target = folder + "/clip.mp4";
            fs::copy_file(original, video);
        }
        SaveDialog dialog(nullptr, [&settings] { return settings; });
        // One thread each way: the encoder's bytes are then the same every run.
        dialog.setThreads(1);
        dialog.setVideo(video);
        dialog.formatBox()->setCurrentIndex(
            dialog.formatBox()->findData(static_cast<int>(c.format)));
        dialog.nameEdit()->setText(QString::fromStdString(target));
        bool ended = false;
        bool saved = false;
        QObject::connect(&dialog, &SaveDialog::saveEnded, [&](bool ok, const QString&) {
            ended = true;
            saved = ok;
        });
        dialog.saveButton()->click();
        if (c.cancel)
            dialog.cancelButton()->click();
        waitFor([&] { return ended; });

        EXPECT_EQ(saved, c.saved) << dialog.statusLabel()->text().toStdString();
        EXPECT_FALSE(dialog.statusLabel()->text().isEmpty());
        EXPECT_EQ(dialog.cancelButton()->text(), c.saved ? "Close" : "Cancel");
        if (c.overVideo) {
            EXPECT_TRUE(contents(video) == contents(original));
        } else if (!c.saved) {
            EXPECT_TRUE(fs::is_empty(folder));
        }
        if (!c.saved)
            continue;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
        std::vector<std::string> arguments = {"-q",  "--threads",           "1",  "-t",
                                              "0.4", "--continuity-weight", "0.3"};
        const std::string toolFile = folder + "/tool.mp4";
        for (const std::string& a : c.toolOutput)
            arguments.push_back(a == "TOOL" ? toolFile : a);
        arguments.push_back(video);
        const ChildRun tool = runTool(arguments);
        ASSERT_EQ(tool.status, 0) << tool.err;
        const std::string expected = c.format == SaveFormat::Video ? contents(toolFile) : tool.out;
        EXPECT_FALSE(expected.empty());
        EXPECT_TRUE(contents(target) == expected);
    }
}

// A save started while the player analyses the video waits for that
// analysis: it then reads the store, or decodes the video itself if the
// player stopped short (another video opened); cancelled while it waits, it
// leaves nothing, and the player's analysis goes on.
TEST(SaveDialog, WaitsForThePlayersAnalysis) {
    enum class Then { Finish, Stop, Cancel };
    for (const Then then : {Then::Finish, Then::Stop, Then::Cancel}) {
        SCOPED_TRACE(static_cast<int>(then));
        const std::string folder =
            scratch("save-waiting-" + std::to_string(static_cast<int>(then)));
        // A video the store does not hold yet.
        const std::string video = folder + "/clip.mp4";
        fs::copy_file(testMedia(kScenes), video);
        std::ofstream(video, std::ios::app)
            << std::chrono::system_clock::now().time_since_epoch().count() << "-unstored";

        // The player's analysis, held after its first fragment.
        std::mutex mutex;
        std::condition_variable changed;
        bool held = false;
        bool release = false;
        StoreSide::Hooks hooks;
        hooks.analysed = [&](double) {
            std::unique_lock lock(mutex);
            held = true;
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
        };
        SettingsBoard board;
        StoreSide side(video, StoreConfig::fromEnvironment(), board, hooks);
        side.analysisNiceness = 0;
        side.start();
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return held; });
        }

        SummarySettings settings;
        settings.target = 0.4;
        SaveDialog dialog(nullptr, [&settings] { return settings; });
        dialog.setThreads(1);
        dialog.setVideo(video);
        dialog.formatBox()->setCurrentIndex(
            dialog.formatBox()->findData(static_cast<int>(SaveFormat::Csv)));
        const std::string target = folder + "/summary.csv";
        dialog.nameEdit()->setText(QString::fromStdString(target));
        int permille = -1;
        bool ended = false;
        bool saved = false;
        QObject::connect(&dialog.saving(), &SummarySave::progressed,
                         [&](int value) { permille = value; });
        QObject::connect(&dialog, &SaveDialog::saveEnded, [&](bool ok, const QString&) {
            ended = true;
            saved = ok;
        });
        dialog.saveButton()->click();
        // It follows the player's analysis, held a fragment in (decoding on
        // its own, it would go on).
        waitFor([&] { return permille > 0 || ended; });
        const int heldAt = permille;
        const auto awhile = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        waitFor([&] { return std::chrono::steady_clock::now() >= awhile; });
        EXPECT_LT(heldAt, 1000);
        EXPECT_EQ(permille, heldAt);
        EXPECT_FALSE(ended);
        if (then == Then::Cancel)
            dialog.cancelButton()->click();
        {
            const std::lock_guard lock(mutex);
            release = true;
            changed.notify_all();
        }
        if (then == Then::Stop)
            side.stop();
        waitFor([&] { return ended; });
        EXPECT_EQ(saved, then != Then::Cancel) << dialog.statusLabel()->text().toStdString();
        if (then == Then::Cancel) {
            waitFor([&] { return side.analysisEnded(); });
            EXPECT_TRUE(side.board.video());
            EXPECT_FALSE(fs::exists(target));
            continue;
        }
        const ChildRun tool = runTool({"-q", "--no-store", "-f", "csv", "-t", "0.4", video});
        ASSERT_EQ(tool.status, 0) << tool.err;
        EXPECT_EQ(contents(target), tool.out);
    }
}

// The picture over the timeline and the slider comes from the store; a video
// it does not hold shows the time alone, never the last video's picture.
TEST(ThumbnailHover, ShowsTheStoredPictureOrTheTimeAlone) {
    const std::string stored = testMedia(kScenes);
    ASSERT_EQ(runTool({"-q", stored}).status, 0);
    const std::string unknown = scratch("hover") + "/changed.mp4";
    fs::copy_file(stored, unknown);
    std::ofstream(unknown, std::ios::app) << 'x';

    QWidget window;
    auto* timeline = new DisplayEvents("VIDEO", 400, 20);
    timeline->setParent(&window);
    timeline->setData(nullptr, 0, 0.0, 10.0, 0.0, 0.0, 0.0);
    auto* slider = new QSlider(Qt::Horizontal, &window);
    slider->setGeometry(0, 30, 400, 20);
    slider->setRange(0, 10);
    // Not shown: the offscreen pointer would hover over it at 0, 0.
    ThumbnailHover hover(timeline, slider);

    struct Case {
        const std::string& video;
        QWidget* over;
        int x;
        const char* time; // empty: any
        bool picture;
    };
    const Case cases[] = {
        {stored, timeline, 190, "0:04", true},
        {stored, slider, 370, "", true},
        {unknown, timeline, 190, "0:04", false},
    };
    for (const Case& c : cases) {
        hover.setVideo(c.video);
        const int before = hover.answers();
        QHoverEvent move(QEvent::HoverMove, QPointF(c.x, 5), QPointF(c.x, 5), QPointF(c.x, 5));
        QCoreApplication::sendEvent(c.over, &move);
        waitFor([&] { return hover.answers() > before; });
        if (*c.time != '\0') {
            EXPECT_EQ(hover.timeShown().toStdString(), c.time) << c.x;
        }
        EXPECT_EQ(hover.showsPicture(), c.picture) << c.x;
        QHoverEvent leave(QEvent::HoverLeave, QPointF(-1, -1), QPointF(-1, -1), QPointF(c.x, 5));
        QCoreApplication::sendEvent(c.over, &leave);
        EXPECT_FALSE(hover.popup()->isVisible());
    }
}

#include "Picture.h"
#include "PlayerMemory.h"
#include "Screenshot.h"
#include "TestMedia.h"
#include "TrackChoice.h"
#include "VideoReader.h"
#include "WindowControl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(Speed, BracketsStepThroughTheSpeedsAndStopAtTheEnds) {
    struct Case {
        double from;
        int direction;
        double to;
    };
    const Case cases[] = {{1.0, 1, 1.25},  {1.25, 1, 1.5},  {1.5, 1, 2.0},  {2.0, 1, 2.0},
                          {1.0, -1, 0.75}, {0.75, -1, 0.5}, {0.5, -1, 0.5}, {1.1, 1, 1.25},
                          {1.1, -1, 1.0},  {0.6, -1, 0.5}};
    for (const Case& c : cases)
        EXPECT_EQ(steppedSpeed(c.from, c.direction), c.to) << c.from << " " << c.direction;
}

TEST(Resume, AVideoStartsWhereItWasLeftUnlessNearItsStartOrEnd) {
    const std::tuple<double, double, std::optional<double>> cases[] = {
        {30.0, 60.0, 30.0},
        {4.9, 60.0, std::nullopt},
        {5.0, 60.0, 5.0},
        {55.0, 60.0, 55.0},
        {55.1, 60.0, std::nullopt},
        {3.0, 6.0, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), 60.0, std::nullopt}};
    for (auto [left, duration, expected] : cases)
        EXPECT_EQ(resumeAt(left, duration), expected) << left << " of " << duration;
}

// The place and mode of each video by its content, and the sound, from one
// run to the next; a file that cannot be read or written changes nothing.
TEST(Resume, MemoryKeepsEachVideosPlaceModeAndTheSoundBetweenRuns) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("player.ini"));
    const std::string scenes = PlayerMemory::keyOf(testMedia(kScenes));
    const std::string other = PlayerMemory::keyOf(testMedia(kH264Aac));
    ASSERT_FALSE(scenes.empty());
    ASSERT_NE(scenes, other);
    {
        PlayerMemory memory(file);
        EXPECT_FALSE(memory.resumeFor(scenes, 20.0));
        EXPECT_EQ(memory.volumePercent(), 100);
        memory.remember(scenes, {6.5, PlayerMode::Summary});
        memory.remember(other, {2.0, PlayerMode::Play});
        memory.rememberSound(40, true);
        EXPECT_TRUE(memory.takeNotice().isEmpty());
    }
    // A copy of the file under another name is the same video.
    const QString copy = folder.filePath(QStringLiteral("copy.mp4"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(testMedia(kScenes)), copy));
    EXPECT_EQ(PlayerMemory::keyOf(copy.toStdString()), scenes);
    PlayerMemory again(file);
    const std::optional<ResumePoint> point = again.resumeFor(scenes, 20.0);
    ASSERT_TRUE(point);
    EXPECT_EQ(point->seconds, 6.5);
    EXPECT_EQ(point->mode, PlayerMode::Summary);
    EXPECT_FALSE(again.resumeFor(other, 4.0)) << "near its start";
    EXPECT_FALSE(again.resumeFor(scenes, 11.0)) << "near its end";
    EXPECT_EQ(again.volumePercent(), 40);
    EXPECT_TRUE(again.muted());

    const QString damaged = folder.filePath(QStringLiteral("damaged.ini"));
    QFile bytes(damaged);
    ASSERT_TRUE(bytes.open(QIODevice::WriteOnly));
    bytes.write("[sound]\nvolume=40\n\"broken\n");
    bytes.close();
    PlayerMemory unreadable(damaged);
    EXPECT_FALSE(unreadable.resumeFor(scenes, 20.0));
    EXPECT_EQ(unreadable.volumePercent(), 100);
    EXPECT_FALSE(unreadable.takeNotice().isEmpty());

    PlayerMemory unwritable(QStringLiteral("/dev/null/player.ini"));
    unwritable.remember(scenes, {6.5, PlayerMode::Play});
    unwritable.rememberSound(50, false);
    EXPECT_FALSE(unwritable.takeNotice().isEmpty());
    EXPECT_TRUE(unwritable.takeNotice().isEmpty()) << "one notice";
}

// The tracks chosen for a video come back in the next run, beside its
// place; a file kept before they were remembered still reads, with no
// choice in it, and a choice taken back is forgotten.
TEST(Resume, MemoryKeepsEachVideosTracksAndReadsAFileWithoutThem) {
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("player.ini"));
    const std::string scenes = PlayerMemory::keyOf(testMedia(kScenes));
    const TrackMemory chosen{2, QStringLiteral("file film.srt")};
    {
        PlayerMemory older(file);
        older.remember(scenes, {6.5, PlayerMode::Play});
    }
    {
        PlayerMemory memory(file);
        ASSERT_TRUE(memory.resumeFor(scenes, 20.0));
        EXPECT_EQ(memory.tracksFor(scenes), TrackMemory{});
        memory.rememberTracks(scenes, chosen);
    }
    PlayerMemory again(file);
    EXPECT_EQ(again.tracksFor(scenes), chosen);
    EXPECT_EQ(again.resumeFor(scenes, 20.0)->seconds, 6.5);
    again.rememberTracks(scenes, {std::nullopt, QStringLiteral("none")});
    EXPECT_EQ(PlayerMemory(file).tracksFor(scenes),
              (TrackMemory{std::nullopt, QStringLiteral("none")}));
}

// A video opens with the sound its file marks (a file with one track, or
// none marked: the first, as without a choice) and the subtitles beside it
// or marked in it, unless another choice was remembered that it still has;
// V shows and hides them, and says so.
TEST(Tracks, AVideoOpensWithItsMarkedOrRememberedTracks) {
    struct Case {
        const char* file;
        TrackMemory remembered;
        int audioStream;
        int subtitles; // in the video's list; -1: none shown
        const char* named;
    };
    const Case cases[] = {
        {kTwoTones, {}, 2, -1, "none"},
        {kTwoTones, {1, std::nullopt}, -1, -1, "none"},
        {kTwoTones, {7, std::nullopt}, 2, -1, "none"},
        {kScenes, {}, -1, -1, "none"},
        {kSubsTwoSrt, {}, -1, 1, "stream 2"},
        {kSubsTwoSrt, {std::nullopt, QStringLiteral("stream 1")}, -1, 0, "stream 1"},
        {kSubsTwoSrt, {std::nullopt, QStringLiteral("none")}, -1, -1, "none"},
        {kSubsTwoSrt, {std::nullopt, QStringLiteral("stream 9")}, -1, 1, "stream 2"},
        {kSideOrder, {}, -1, 0, "file side_order.srt"},
        {kSideOrder, {std::nullopt, QStringLiteral("file other.srt")}, -1, 0,
         "file side_order.srt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        PlayerCore core;
        QStringList told;
        TrackChoice tracks(
            core, [&told](const QString& text) { told << text; }, nullptr);
        tracks.open(testMedia(c.file), c.remembered);
        EXPECT_EQ(tracks.startingAudioStream(), c.audioStream);
        const PlayerState state = core.state.snapshot();
        EXPECT_EQ(state.subtitlesShown, c.subtitles >= 0);
        if (c.subtitles >= 0) {
            EXPECT_EQ(state.subtitleTrack, c.subtitles);
        }
        EXPECT_EQ(tracks.chosen().subtitles, QString::fromLatin1(c.named));
        EXPECT_EQ(tracks.shownSubtitles().has_value(), c.subtitles >= 0);

        tracks.toggleSubtitles();
        tracks.toggleSubtitles();
        const QString off = QStringLiteral("Subtitles off"), on = QStringLiteral("Subtitles on");
        QStringList expected{c.subtitles >= 0 ? off : on, c.subtitles >= 0 ? on : off};
        if (subtitleTracksOf(testMedia(c.file)).empty())
            expected = QStringList{QStringLiteral("No subtitles"), QStringLiteral("No subtitles")};
        EXPECT_EQ(told, expected);
        EXPECT_EQ(core.state.snapshot().subtitlesShown, c.subtitles >= 0);
    }
}

// A screenshot holds the picture at the video's own size, whatever the
// window's, and never writes over an earlier one.
TEST(Screenshot, SavesThePictureAtTheVideosSizeUnderANewName) {
    for (const char* file : {kH264Aac, kOddSize}) {
        SCOPED_TRACE(file);
        VideoReader reader(testMedia(file).c_str());
        ASSERT_EQ(reader.status(), VideoReader::OK);
        int width = 0;
        int height = 0;
        reader.getVideoSize(&width, &height);
        AVFrame* decoded = nullptr;
        ASSERT_TRUE(reader.getNextFrame(&decoded));
        const QImage image = pictureImage(Picture::copyOf(decoded, width, height));
        ASSERT_EQ(image.size(), QSize(width, height));
        EXPECT_EQ(image.pixelColor(width / 2, height / 2).alpha(), 255);

        QTemporaryDir folder;
        EXPECT_EQ(screenshotName(QStringLiteral("/videos/film.mp4"), 62.345, 600.0),
                  QStringLiteral("film_1-02.345.png"));
        EXPECT_EQ(screenshotName(QStringLiteral("/videos/film.mp4"), 62.345, 4000.0),
                  QStringLiteral("film_0-01-02.345.png"));
        const QString name = screenshotName(QStringLiteral("/videos/film.mp4"), 3723.5, 4000.0);
        EXPECT_EQ(name, QStringLiteral("film_1-02-03.500.png"));
        const QString first = saveScreenshot(image, folder.path(), name);
        const QString second = saveScreenshot(image, folder.path(), name);
        EXPECT_EQ(QFileInfo(first).fileName(), name);
        EXPECT_EQ(QFileInfo(second).fileName(), QStringLiteral("film_1-02-03.500-2.png"));
        EXPECT_EQ(QImage(second).size(), QSize(width, height));
    }
}

} // namespace

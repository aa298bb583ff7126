#include "PlayerLoopFixture.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

namespace {

// Each picture's sound is given with its time on the timeline, to within
// a sample, whole (from the picture to the next), in Play, after a jump,
// and in Summary; a cut is marked only where a kept fragment does not
// follow the one before it.
TEST_F(PlayerLoopTest, EachPicturesSoundComesAtItsPlayTimeWithCutsOnlyWhereThePicturesJump) {
    chosen.summary.depth = 2;
    chosen.summary.target = 0.3;
    const std::tuple<const char*, PlayerMode, int> cases[] = {
        {"Play", PlayerMode::Play, -1},
        {"Play after a jump", PlayerMode::Play, 4},
        {"Summary", PlayerMode::Summary, -1}};
    for (auto [name, mode, jumpTo] : cases) {
        SCOPED_TRACE(name);
        open(mode);
        bound(40);
        if (jumpTo >= 0) {
            take();
            seek(jumpTo);
        }
        taken.clear();
        runToEnd(7);
        ASSERT_FALSE(taken.empty());
        ASSERT_EQ(sink.pieces.size(), taken.size());
        int cuts = 0, joins = 0;
        for (size_t i = 0; i < taken.size(); ++i) {
            SCOPED_TRACE(taken[i].frameTime);
            const RecordingSink::Piece& piece = sink.pieces[i];
            EXPECT_NEAR(piece.time, taken[i].playTime, 1.0 / RecordingSink::rate);
            EXPECT_EQ(piece.frames, RecordingSink::rate / 25);
            EXPECT_TRUE(piece.loud);
            const bool follows =
                i == 0 || std::abs(taken[i].frameTime - taken[i - 1].frameTime - 0.04) < 1e-6;
            EXPECT_EQ(piece.cut, !follows);
            cuts += !follows;
            joins += follows && i % 25 == 0 && i > 0;
        }
        if (mode == PlayerMode::Summary) {
            EXPECT_GT(cuts, 0);
            EXPECT_GT(joins, 0) << "kept fragments that follow each other";
        }
    }
}

// At another speed the sound goes through the tempo stage on the scaled
// timeline: each run of it starts at its picture's place, plays on without
// a gap, and ends where the next cut begins (within the filter's window),
// so that it never runs ahead of the pictures.
TEST_F(PlayerLoopTest, AtAnotherSpeedTheSoundRunsFromItsPicturesWithoutDrifting) {
    chosen.summary.depth = 2;
    chosen.summary.target = 0.3;
    chosen.speed = 1.5;
    for (const PlayerMode mode : {PlayerMode::Play, PlayerMode::Summary}) {
        SCOPED_TRACE(static_cast<int>(mode));
        open(mode);
        bound(40);
        taken.clear();
        runToEnd(7);
        ASSERT_FALSE(taken.empty());
        ASSERT_FALSE(sink.pieces.empty());
        std::vector<double> starts; // the pictures' places after a jump
        for (size_t i = 0; i < taken.size(); ++i)
            if (i == 0 || std::abs(taken[i].frameTime - taken[i - 1].frameTime - 0.04) > 1e-6)
                starts.push_back(taken[i].playTime);
        std::vector<double> runs;
        double end = 0.0;
        for (const RecordingSink::Piece& piece : sink.pieces) {
            const bool first = runs.empty() || piece.cut;
            if (first) {
                if (!runs.empty()) {
                    EXPECT_NEAR(end, piece.time, 0.04) << "a run's end and the next's start";
                }
                runs.push_back(piece.time);
            } else {
                EXPECT_NEAR(piece.time, end, 1e-9);
            }
            end = piece.time + static_cast<double>(piece.frames) / RecordingSink::rate;
        }
        ASSERT_EQ(runs.size(), starts.size());
        for (size_t k = 0; k < runs.size(); ++k)
            EXPECT_NEAR(runs[k], starts[k], 1.0 / RecordingSink::rate);
        // Less what the filter still holds at the end: its window.
        EXPECT_NEAR(end, taken.back().playTime + 0.04 / 1.5, 0.08);
    }
}

// After a gap in the video (six seconds without pictures or sound), the
// next picture is placed straight after the last one on the timeline, and
// its sound starts at its own time in the file: at another speed the
// second piece's first beep comes as far after its first picture as at
// speed 1, scaled, not with the sound that followed the first piece.
TEST_F(PlayerLoopTest, SoundAfterAGapStartsAtItsOwnTimeAtEverySpeed) {
    std::optional<double> atNormalSpeed;
    for (const double speed : {1.0, 1.5, 0.5}) {
        SCOPED_TRACE(speed);
        chosen.speed = speed;
        open(PlayerMode::Play, kBeepsGap);
        taken.clear();
        runToEnd(7);
        const auto after = std::find_if(taken.begin(), taken.end(), [](const PictureFrame& frame) {
            return frame.frameTime > 5.0;
        });
        ASSERT_NE(after, taken.end());
        ASSERT_LT(after->playTime, 2.1 / speed) << "placed straight after the gap";
        const auto beep = std::find_if(
            sink.pieces.begin(), sink.pieces.end(), [&](const RecordingSink::Piece& piece) {
                return piece.loud && piece.onset >= after->playTime - 0.02;
            });
        ASSERT_NE(beep, sink.pieces.end());
        // In video seconds after its picture.
        const double lead = (beep->onset - after->playTime) * speed;
        ASSERT_LT(std::abs(lead), 0.2);
        if (!atNormalSpeed)
            atNormalSpeed = lead;
        // Within a picture (the tempo stage's window).
        EXPECT_NEAR(lead, *atNormalSpeed, 0.04);
    }
}

} // namespace

namespace {

// The sound's pitch over the pieces written, a tone's to within a tenth.
bool toneOf(const std::vector<RecordingSink::Piece>& pieces, double frequency) {
    return !pieces.empty() &&
           std::all_of(pieces.begin(), pieces.end(), [frequency](const RecordingSink::Piece& p) {
               return std::abs(p.frequency - frequency) < frequency / 10;
           });
}

// Two sound tracks of 440 and 880 Hz (streams 1 and 2): the sound is that
// of the stream chosen at the start; another chosen while playing is heard
// from the picture after the one on screen, in Play and in Summary; a
// stream that is not sound leaves the one before playing and says so.
TEST_F(PlayerLoopTest, TheSoundIsTheChosenTracksFromThePictureOnScreen) {
    chosen.summary.depth = 2;
    chosen.summary.target = 0.3;
    struct Case {
        const char* name;
        PlayerMode mode;
        int atStart, chosenLater;
        double before, after;
        bool told;
    };
    const Case cases[] = {
        {"the first track", PlayerMode::Play, -1, -1, 440, 440, false},
        {"the second from the start", PlayerMode::Play, 2, -1, 880, 880, false},
        {"the second while playing", PlayerMode::Play, -1, 2, 440, 880, false},
        {"back to the first in Summary", PlayerMode::Summary, 2, 1, 880, 440, false},
        {"the video's stream", PlayerMode::Play, 2, 0, 880, 880, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        audioStream = c.atStart;
        open(c.mode, kTwoTones);
        bound(20);
        const uint32_t noticesBefore = core.state.snapshot().trackNotices;
        std::optional<std::pair<double, uint64_t>> onScreen;
        for (int k = 0; k < 12; ++k)
            onScreen = next();
        ASSERT_TRUE(onScreen);
        EXPECT_TRUE(toneOf(sink.pieces, c.before));
        if (c.chosenLater >= 0)
            core.submit(command::ChooseAudioTrack{c.chosenLater});
        // The screen shows the picture on screen until the next one comes.
        const std::optional<std::pair<double, uint64_t>> after = next();
        ASSERT_TRUE(after);
        EXPECT_GT(after->first, onScreen->first);
        if (c.chosenLater >= 0 && !c.told) {
            if (c.mode == PlayerMode::Play) {
                EXPECT_NEAR(after->first, onScreen->first + 0.04, 1e-6) << "the picture after it";
            }
            ASSERT_FALSE(sink.pieces.empty());
            EXPECT_NEAR(sink.pieces.front().time, lastPlayTime, 1.0 / RecordingSink::rate);
        }
        fill();
        EXPECT_TRUE(toneOf(sink.pieces, c.after));
        const PlayerState state = core.state.snapshot();
        EXPECT_EQ(state.audioStream, c.told || c.chosenLater < 0
                                         ? (c.atStart < 0 ? 1 : c.atStart)
                                         : c.chosenLater);
        EXPECT_EQ(state.trackNotices - noticesBefore, c.told ? 1u : 0u);
    }
}

} // namespace

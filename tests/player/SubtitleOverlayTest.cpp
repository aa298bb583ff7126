#include "SubtitleOverlay.h"

#include "MediaTracks.h"
#include "SubtitleReader.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// A grey picture in the window's packed pixels (B, G, R, opaque).
std::vector<uint8_t> greyPicture() {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4, 90);
    for (size_t k = 3; k < pixels.size(); k += 4)
        pixels[k] = 255;
    return pixels;
}

// The picture at `ms` with the overlay's lines over it.
std::vector<uint8_t> drawnAt(SubtitleOverlay& overlay, int64_t ms, bool* drew = nullptr) {
    std::vector<uint8_t> pixels = greyPicture();
    const bool any = overlay.draw(pixels.data(), kWidth, kHeight, kWidth * 4, ms);
    if (drew != nullptr)
        *drew = any;
    return pixels;
}

int changedPixels(const std::vector<uint8_t>& pixels) {
    const std::vector<uint8_t> grey = greyPicture();
    int changed = 0;
    for (size_t k = 0; k < pixels.size(); k += 4)
        changed += pixels[k] != grey[k] || pixels[k + 1] != grey[k + 1] ||
                   pixels[k + 2] != grey[k + 2] || pixels[k + 3] != 255;
    return changed;
}

// Every line of the first subtitle track of a test file, in the file's order.
void feed(SubtitleLines& lines, const char* file) {
    const std::vector<MediaTrack> tracks = subtitleTracksOf(testMedia(file));
    ASSERT_FALSE(tracks.empty());
    SubtitleReader reader;
    ASSERT_TRUE(reader.open(tracks.front())) << reader.failure();
    lines.begin(reader.header());
    for (SubtitleLine line; reader.next(line);)
        lines.add(line);
}

// The lines show at their times and nowhere else: an SRT stream's (one a
// second from 0.22 s, 0.6 s each), and a
// file's whose lines are out of order and overlap (First 0.5-2.5 s,
// Second 1-1.5 s, Third 2-3 s, Fourth 2-2.2 s).
TEST(SubtitleOverlay, DrawsALineOnlyWhileItIsActive) {
    const struct {
        const char* file;
        int64_t ms;
        bool shown;
    } cases[] = {
        {kSubsScenes, 100, false},   {kSubsScenes, 300, true},   {kSubsScenes, 700, true},
        {kSubsScenes, 900, false},   {kSubsScenes, 1900, false}, {kSubsScenes, 9500, true},
        {kSubsScenes, 20000, false}, {kSideOrder, 400, false},   {kSideOrder, 600, true},
        {kSideOrder, 1200, true},    {kSideOrder, 2700, true},   {kSideOrder, 3000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.ms));
        SubtitleLines lines;
        feed(lines, c.file);
        SubtitleOverlay overlay(lines);
        bool drew = false;
        const std::vector<uint8_t> pixels = drawnAt(overlay, c.ms, &drew);
        EXPECT_EQ(drew, c.shown);
        if (c.shown)
            EXPECT_GT(changedPixels(pixels), 20);
        else
            EXPECT_EQ(changedPixels(pixels), 0);
    }
}

// One overlay drawing picture after picture (the same line again, another,
// none, another size) draws each as a fresh one does; a new track replaces
// the lines, and none draws nothing. (Lines that overlap are not compared:
// libass keeps a line where it was put while another one ends.)
TEST(SubtitleOverlay, DrawsEachPictureAsAFreshOverlayWould) {
    SubtitleLines lines;
    feed(lines, kSubsScenes);
    SubtitleOverlay overlay(lines);
    for (const int64_t ms : {300, 400, 1300, 100, 2300, 2300, 300}) {
        SCOPED_TRACE(ms);
        SubtitleLines freshLines;
        feed(freshLines, kSubsScenes);
        SubtitleOverlay fresh(freshLines);
        EXPECT_EQ(drawnAt(overlay, ms), drawnAt(fresh, ms));
    }
    std::vector<uint8_t> larger(static_cast<size_t>(kWidth) * 2 * kHeight * 2 * 4, 0);
    EXPECT_TRUE(overlay.draw(larger.data(), kWidth * 2, kHeight * 2, kWidth * 8, 300));
    {
        SubtitleLines freshLines;
        feed(freshLines, kSubsScenes);
        SubtitleOverlay fresh(freshLines);
        EXPECT_EQ(drawnAt(overlay, 300), drawnAt(fresh, 300)) << "back at the first size";
    }

    feed(lines, kSideOrder);
    EXPECT_TRUE(overlay.trackChanged());
    EXPECT_EQ(changedPixels(drawnAt(overlay, 300)), 0) << "the other track's line";
    EXPECT_FALSE(overlay.trackChanged());
    EXPECT_GT(changedPixels(drawnAt(overlay, 1200)), 20);
    lines.begin({});
    EXPECT_EQ(changedPixels(drawnAt(overlay, 1200)), 0);
}

} // namespace

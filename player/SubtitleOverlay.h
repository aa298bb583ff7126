#pragma once

// Draws the subtitles with libass over a picture: the lines of the track
// shown (taken from SubtitleLines as they come) that are active at the
// picture's time, blended into its packed 32-bit pixels (B, G, R, then an
// opaque byte) at the picture's own size, so that the text scales with it.
// The fonts are fontconfig's, found when the first track begins. Used by
// one thread (the screen's).

#include "SubtitleLines.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

struct ass_library;
struct ass_renderer;
struct ass_track;
struct ass_image;

class SubtitleOverlay {
public:
    explicit SubtitleOverlay(SubtitleLines& lines);
    ~SubtitleOverlay();
    SubtitleOverlay(const SubtitleOverlay&) = delete;
    SubtitleOverlay& operator=(const SubtitleOverlay&) = delete;

    // Blends the lines active at `ms` (the picture's time in the video)
    // into the picture; true when any was drawn. Without a line active it
    // costs a look at the lines' times.
    bool draw(uint8_t* pixels, int width, int height, int stride, int64_t ms);
    // A track began since the last draw.
    bool trackChanged() const { return lines.trackCount() != seenTracks; }

private:
    struct LibraryFree {
        void operator()(ass_library* library) const;
    };
    struct RendererFree {
        void operator()(ass_renderer* renderer) const;
    };
    struct TrackFree {
        void operator()(ass_track* track) const;
    };

    // Takes the lines read since the last draw.
    void follow();
    bool makeRenderer();
    bool anyActive(int64_t ms) const;
    // The images libass gave, composed once into one layer of
    // premultiplied colour over the box they cover.
    void compose(const ass_image* images);
    void blend(uint8_t* pixels, int stride) const;

    SubtitleLines& lines;
    uint64_t seenChanges = 0;
    uint64_t seenTracks = 0;
    std::unique_ptr<ass_library, LibraryFree> library;
    std::unique_ptr<ass_renderer, RendererFree> renderer;
    std::unique_ptr<ass_track, TrackFree> track;
    bool rendererFailed = false;
    // Each line's start and end, by start; and the longest line, to know
    // how far back a line active now may start.
    std::vector<std::pair<int64_t, int64_t>> spans;
    int64_t longest = 0;
    int frameWidth = 0;
    int frameHeight = 0;
    // The composed layer: its box in the picture, and B, G, R, A for each pixel.
    int layerX = 0, layerY = 0, layerWidth = 0, layerHeight = 0;
    std::vector<uint8_t> layer;
};

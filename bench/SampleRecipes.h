#pragma once

// The recipes of the quality bench's sample videos (see SampleVideos.h): each
// video as its shots in order, each shot a picture or clip of opencv-doc's
// samples filmed a way, or junk, coming in by a cut or a transition.

#include "QualityVideos.h"

#include <utility>
#include <vector>

namespace samplerecipes {

enum class Kind {
    Still,
    Clip,
    // Junk.
    Black,
    Bars,
    HdBars,
    PalBars,
    RgbBars,
    Card,
    Noise,
    Slate,
};

// How the camera films a still picture.
enum class Move {
    ZoomIn, // slowly, to its middle
    ZoomOut,
    Drift,   // a slow pan
    FastPan, // across the whole picture in the length of the shot
    Shake,   // held in the hand
};

// A shot of a video.
struct Piece {
    Kind kind;
    const char* what = nullptr; // a still's file, a clip's name
    int frames = 0;
    int from = 0; // a clip's first frame; how far into its move a still starts
    Move move = Move::ZoomIn;
    int flashAt = -1; // white frames [flashAt, flashAt + flashFrames)
    int flashFrames = 0;
    int lightAt = -1; // the light goes up from this frame on
    // How the shot comes in: xfade's transition over the last frames of the
    // shot before and its own first ones; none is a cut. (Not slideup: its
    // first frame differs from one run of ffmpeg 5.1 to the next.)
    const char* transition = nullptr;
    int transitionFrames = 0;
    int scene = -1; // rushes: the scene of a take or a slate, from 1
    int take = -1;

    Piece flash(int at, int count = 3) const {
        Piece p = *this;
        p.flashAt = at;
        p.flashFrames = count;
        return p;
    }
    Piece light(int at) const {
        Piece p = *this;
        p.lightAt = at;
        return p;
    }
    Piece after(const char* how, int overlap) const {
        Piece p = *this;
        p.transition = how;
        p.transitionFrames = overlap;
        return p;
    }
    bool junk() const { return kind != Kind::Still && kind != Kind::Clip; }
};

inline Piece still(const char* file, int frames, Move move, int from = 0) {
    return {Kind::Still, file, frames, from, move};
}

inline Piece clip(const char* name, int frames, int from) {
    return {Kind::Clip, name, frames, from};
}

inline Piece junk(Kind kind, int frames) {
    return {kind, nullptr, frames};
}

// A scene of rushes: what it films, and each take's start and length.
struct RushScene {
    Piece shot;
    std::vector<std::pair<int, int>> takes;
};

// Bars and black before every scene, a slate of 1.2 to 1.7 s before every
// take.
std::vector<Piece> rushes(const std::vector<RushScene>& scenes);

struct SampleVideo {
    const char* name;
    Group group;
    char half;
    std::vector<Piece> pieces;
};

// Half A's videos, then half B's.
const std::vector<SampleVideo>& sampleRecipes();

} // namespace samplerecipes

#pragma once

// What each of the quality bench's talks is made of: its sentences and who
// says them, its voices and their speeds, its pictures, and whether it is
// spoken in a reverberant hall or over music. QualityTalks.cpp turns a
// recipe into the talk and its truth.

#include <cstdint>
#include <vector>

// How the pictures follow the speech.
enum class TalkKind {
    // Slides changing every few sentences, some in a pause, some mid-sentence.
    Slides,
    // Two speakers, each with a shot of their own at their turns, and
    // cutaways within a turn.
    Dialogue,
    // Stills and projections changing as in Slides.
    Hall,
};

struct TalkLine {
    int speaker; // index into the recipe's voices
    const char* text;
};

// An espeak-ng voice and the range of its speeds, in words a minute; each
// sentence takes one from the range.
struct TalkVoice {
    const char* name;
    int slowest;
    int fastest;
};

struct TalkPicture {
    enum Kind {
        Slide, // a title, two lines and a picture on a pale page
        Still, // a picture filmed with a slow move
        Clip,  // a clip of the samples, or one of their clips' shots
        Source // an ffmpeg source filter, at the talk's size
    };
    Kind kind;
    const char* what; // a sample file, a clip's name or a filter
    const char* title = nullptr;
    const char* lines = nullptr; // a slide's two lines, split at '|'
};

struct TalkRecipe {
    const char* name;
    char half; // 'A' (what the engine is tuned on) or 'B' (held out)
    TalkKind kind;
    std::vector<TalkVoice> voices;
    std::vector<TalkLine> lines;
    // Slides and Hall: shown in the order of `order`, one after another and
    // around again. Dialogue: the first two are the speakers' shots, `order`
    // the cutaways in turn.
    std::vector<TalkPicture> pictures;
    std::vector<int> order;
    bool reverb;
    bool music;
    uint64_t seed; // for the speeds, the pauses and where the pictures change
};

// Half A's talks (TalkRecipesA.cpp), and half B's (TalkRecipesB.cpp).
std::vector<TalkRecipe> halfATalks();
std::vector<TalkRecipe> halfBTalks();

#include "SampleVideos.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

const char* const kSampleFolder = "/usr/share/doc/opencv-doc/examples/data";

namespace {

const char* const kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

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

// A clip: one camera shot of a sample file, frames [first, end) at 25 a
// second.
struct Clip {
    const char* name;
    const char* file;
    int first;
    int end;
};

const Clip kClips[] = {
    {"pedestrians", "vtest.avi", 0, 1950},
    // Before a hand comes into the picture.
    {"tree", "tree.avi", 0, 600},
    // Megamind.avi cuts between two people at a table: each is a clip.
    {"dinner", "Megamind.avi", 4, 100},
    {"glasses", "Megamind.avi", 214, 278},
};

const Clip& clipNamed(const std::string& name) {
    for (const Clip& c : kClips)
        if (name == c.name)
            return c;
    std::fprintf(stderr, "no clip named %s\n", name.c_str());
    std::abort();
}

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

Piece still(const char* file, int frames, Move move, int from = 0) {
    return {Kind::Still, file, frames, from, move};
}

Piece clip(const char* name, int frames, int from) {
    return {Kind::Clip, name, frames, from};
}

Piece junk(Kind kind, int frames) {
    return {kind, nullptr, frames};
}

std::string samplePath(const char* file) {
    return std::string(kSampleFolder) + "/" + file;
}

// The picture filling a 1280x960 canvas, filmed through a 320x240 window:
// zoompan's window is the canvas over the zoom, its corner at x, y.
std::string filmed(const Piece& p) {
    const std::string t = "(on+" + std::to_string(p.from) + ")";
    std::string zoom = "1.5";
    std::string x = "iw/2-iw/zoom/2";
    std::string y = "ih/2-ih/zoom/2";
    switch (p.move) {
    case Move::ZoomIn:
        zoom = "1.05+0.0012*" + t;
        break;
    case Move::ZoomOut:
        zoom = "1.4-0.0012*" + t;
        break;
    case Move::Drift:
        x = "60+1.2*" + t;
        y = "40+0.5*" + t;
        break;
    case Move::FastPan:
        zoom = "2.5";
        x = "768*on/" + std::to_string(p.frames - 1);
        break;
    // Two unrelated wobbles on each axis, up to about 20 pixels.
    case Move::Shake:
        zoom = "1.25";
        x = "128+44*sin(" + t + "*0.9)+24*sin(" + t + "*2.3)";
        y = "96+32*sin(" + t + "*1.3+1)+18*sin(" + t + "*3.1)";
        break;
    }
    return "movie=" + samplePath(p.what) +
           ",scale=1280:960:force_original_aspect_ratio=increase,crop=1280:960,zoompan=z='" + zoom +
           "':x='" + x + "':y='" + y + "':d=" + std::to_string(p.frames) + ":s=320x240:fps=25";
}

// A clapperboard: a dark board, a striped clapper bar on top, and the scene
// and take written on it.
std::string slate(const Piece& p) {
    std::string board = "color=c=0x383838:s=320x240:r=25,drawbox=x=40:y=72:w=240:h=146:color="
                        "0x161616:t=fill,drawbox=x=40:y=30:w=240:h=34:color=0xe8e8e8:t=fill";
    for (int stripe = 0; stripe < 4; ++stripe)
        board += ",drawbox=x=" + std::to_string(40 + 60 * stripe) +
                 ":y=30:w=30:h=34:color=0x101010:t=fill";
    auto text = [](const std::string& line, int size, int y) {
        return ",drawtext=fontfile=" + std::string(kFont) + ":text='" + line +
               "':fontcolor=white:fontsize=" + std::to_string(size) +
               ":x=58:y=" + std::to_string(y);
    };
    return board +
           text("SCENE " + std::to_string(p.scene) + "  TAKE " + std::to_string(p.take), 22, 100) +
           text("CAM A   ROLL " + std::to_string(p.scene + 2), 15, 150) + text("INT. DAY", 15, 180);
}

std::string source(const Piece& p) {
    const std::string size = "s=320x240:r=25";
    switch (p.kind) {
    case Kind::Still:
        return filmed(p) + kFilmGrain;
    case Kind::Clip: {
        const Clip& c = clipNamed(p.what);
        return "movie=" + samplePath(c.file) +
               ",fps=25,trim=start_frame=" + std::to_string(c.first + p.from) +
               ",setpts=PTS-STARTPTS,scale=320:240:force_original_aspect_ratio=increase,crop="
               "320:240" +
               kFilmGrain;
    }
    case Kind::Black:
        return "color=c=black:" + size + ",format=yuv420p,noise=alls=2:allf=t";
    case Kind::Bars:
        return "smptebars=" + size;
    case Kind::HdBars:
        return "smptehdbars=" + size;
    case Kind::PalBars:
        return "pal75bars=" + size;
    case Kind::RgbBars:
        return "rgbtestsrc=" + size;
    case Kind::Card:
        return "testsrc=" + size;
    case Kind::Noise:
        return "color=c=gray:" + size + ",noise=c0s=100:c0f=t";
    case Kind::Slate:
        return slate(p) + kFilmGrain;
    }
    return {};
}

std::string seconds(int frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", frames / double(kQualityFrameRate));
    return text;
}

// Each shot's chain [pN], joined in order: runs of cuts by concat, each
// transition by xfade over the end of all before it.
std::string filterGraph(const std::vector<Piece>& pieces) {
    std::string graph;
    std::vector<std::string> run; // labels still to be cut together
    int frames = 0;               // the length of what is joined so far
    // The run as one stream: its only label, or a concat labelled `label`.
    auto joined = [&](const std::string& label) {
        if (run.size() == 1)
            return run[0];
        for (const std::string& r : run)
            graph += r;
        graph += "concat=n=" + std::to_string(run.size()) + ":v=1:a=0" + label + ";";
        return label;
    };
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        std::string chain = source(p) + ",trim=end_frame=" + std::to_string(p.frames) +
                            ",setpts=PTS-STARTPTS,setsar=1,format=yuv420p";
        if (p.lightAt >= 0)
            chain += ",eq=brightness=0.16:enable='gte(n," + std::to_string(p.lightAt) + ")'";
        if (p.flashAt >= 0)
            chain += ",drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='between(n," +
                     std::to_string(p.flashAt) + "," +
                     std::to_string(p.flashAt + p.flashFrames - 1) + ")'";
        const std::string label = "[p" + std::to_string(i) + "]";
        graph += chain + label + ";";
        if (i > 0 && p.transition) {
            const std::string before = joined("[j" + std::to_string(i) + "]");
            const std::string after = "[x" + std::to_string(i) + "]";
            graph += before + label + "xfade=transition=" + p.transition +
                     ":duration=" + seconds(p.transitionFrames) +
                     ":offset=" + seconds(frames - p.transitionFrames) + after + ";";
            run = {after};
            frames += p.frames - p.transitionFrames;
        } else {
            run.push_back(label);
            frames += p.frames;
        }
    }
    const std::string all = joined("[all]");
    return graph + all + "null[v]";
}

std::vector<FrameTruth> frameTruth(const std::vector<Piece>& pieces, bool rushes) {
    std::vector<FrameTruth> frames;
    std::map<std::string, int> subjects; // by picture or clip
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        int subject = -1;
        if (!p.junk()) {
            const int next = static_cast<int>(subjects.size());
            subject = rushes ? p.scene : subjects.emplace(p.what, next).first->second;
        }
        // A transition shows the last frames of the shot before with this
        // one's first: the first half of it still counts as that shot.
        const int overlap = i > 0 && p.transition ? p.transitionFrames : 0;
        const size_t start = frames.size() - static_cast<size_t>(overlap);
        for (int k = 0; k < p.frames; ++k) {
            const bool flash = k >= p.flashAt && k < p.flashAt + p.flashFrames;
            const FrameTruth f{static_cast<int>(i), subject, p.junk() || flash, k < overlap, false};
            if (k >= overlap)
                frames.push_back(f);
            else if (2 * k >= overlap)
                frames[start + static_cast<size_t>(k)] = f;
            else
                frames[start + static_cast<size_t>(k)].transition = true;
        }
    }
    return frames;
}

// A scene of rushes: what it films, and each take's start and length.
struct RushScene {
    Piece shot;
    std::vector<std::pair<int, int>> takes;
};

// Bars and black before every scene, a slate of 1.2 to 1.7 s before every
// take.
std::vector<Piece> rushes(const std::vector<RushScene>& scenes) {
    std::vector<Piece> pieces;
    for (size_t s = 0; s < scenes.size(); ++s) {
        pieces.push_back(junk(s % 2 ? Kind::HdBars : Kind::Bars, 30 + 5 * static_cast<int>(s % 3)));
        pieces.push_back(junk(Kind::Black, 15));
        for (size_t t = 0; t < scenes[s].takes.size(); ++t) {
            Piece board = junk(Kind::Slate, 30 + 6 * static_cast<int>((s + t) % 3));
            Piece take = scenes[s].shot;
            take.from = scenes[s].takes[t].first;
            take.frames = scenes[s].takes[t].second;
            board.scene = take.scene = static_cast<int>(s) + 1;
            board.take = take.take = static_cast<int>(t) + 1;
            pieces.push_back(board);
            pieces.push_back(take);
        }
    }
    return pieces;
}

struct SampleVideo {
    const char* name;
    Group group;
    char half;
    std::vector<Piece> pieces;
};

const std::vector<SampleVideo>& sampleRecipes() {
    using K = Kind;
    using M = Move;
    static const std::vector<SampleVideo> videos = {
        // Half A: baboon, smarties, fish, butterfly, building, footballer,
        // squirrel, monkey head, aerial view, graffiti, dog; pedestrians.
        {"cuts-a1",
         Group::Hard,
         'A',
         {still("baboon.jpg", 137, M::ZoomIn),
          clip("pedestrians", 164, 40),
          junk(K::Black, 20),
          still("smarties.png", 151, M::Drift),
          still("HappyFish.jpg", 118, M::ZoomOut).flash(52),
          junk(K::Bars, 31),
          still("building.jpg", 171, M::Drift),
          still("messi5.jpg", 96, M::ZoomIn),
          clip("pedestrians", 142, 900),
          still("squirrel_cls.jpg", 187, M::ZoomOut),
          junk(K::Noise, 18),
          still("graf1.png", 109, M::ZoomIn),
          still("baboon.jpg", 74, M::Drift, 30),
          junk(K::HdBars, 28),
          still("Blender_Suzanne1.jpg", 131, M::ZoomIn),
          still("aero1.jpg", 157, M::Drift).flash(91, 2),
          still("chicky_512.png", 84, M::ZoomOut),
          junk(K::RgbBars, 22),
          still("smarties.png", 146, M::ZoomIn),
          clip("pedestrians", 188, 1500),
          still("messi5.jpg", 124, M::Drift),
          junk(K::Card, 25),
          still("butterfly.jpg", 119, M::ZoomIn),
          still("HappyFish.jpg", 193, M::Drift).flash(140),
          clip("pedestrians", 97, 400),
          still("building.jpg", 66, M::ZoomOut),
          still("squirrel_cls.jpg", 133, M::ZoomIn)}},
        {"cuts-a2",
         Group::Hard,
         'A',
         {clip("pedestrians", 121, 1200),
          still("smarties.png", 83, M::ZoomOut),
          still("baboon.jpg", 162, M::ZoomIn, 20).flash(70),
          junk(K::PalBars, 26),
          still("butterfly.jpg", 58, M::Drift),
          still("Blender_Suzanne1.jpg", 104, M::ZoomOut),
          still("HappyFish.jpg", 139, M::ZoomIn),
          junk(K::Black, 16),
          still("graf1.png", 177, M::Drift),
          still("aero1.jpg", 71, M::ZoomIn),
          clip("pedestrians", 166, 300),
          junk(K::Card, 29),
          still("chicky_512.png", 143, M::Drift),
          still("messi5.jpg", 112, M::ZoomOut).flash(35, 2),
          still("squirrel_cls.jpg", 69, M::Drift),
          junk(K::Noise, 21),
          still("baboon.jpg", 198, M::ZoomOut),
          still("building.jpg", 126, M::ZoomIn),
          junk(K::Bars, 24),
          junk(K::Black, 12),
          still("smarties.png", 154, M::Drift, 40),
          still("HappyFish.jpg", 87, M::Drift),
          clip("pedestrians", 179, 1650),
          junk(K::RgbBars, 19),
          still("Blender_Suzanne1.jpg", 136, M::Drift),
          still("butterfly.jpg", 161, M::ZoomOut).flash(120),
          still("aero1.jpg", 148, M::Drift),
          still("graf1.png", 93, M::ZoomOut),
          still("squirrel_cls.jpg", 147, M::ZoomIn)}},
        {"dissolves-a",
         Group::Soft,
         'A',
         {still("building.jpg", 190, M::ZoomIn),
          still("baboon.jpg", 172, M::Drift).after("fade", 20),
          clip("pedestrians", 204, 450).after("fadeblack", 24),
          still("graf1.png", 83, M::FastPan).after("wipeleft", 15),
          still("smarties.png", 161, M::ZoomOut).after("fade", 18),
          still("chicky_512.png", 149, M::Shake).after("slideright", 20),
          still("squirrel_cls.jpg", 186, M::ZoomIn).light(95).after("fadeblack", 22),
          still("HappyFish.jpg", 141, M::Drift).flash(72).after("fade", 14),
          clip("pedestrians", 193, 1250).after("wipeleft", 21),
          still("messi5.jpg", 152, M::ZoomIn).after("fade", 25),
          still("butterfly.jpg", 133, M::Shake).after("fadeblack", 18),
          still("aero1.jpg", 91, M::FastPan).after("slideright", 16),
          still("Blender_Suzanne1.jpg", 171, M::ZoomOut).after("wiperight", 19),
          still("baboon.jpg", 164, M::ZoomIn, 40).light(70).after("fade", 23),
          still("building.jpg", 146, M::Drift, 30).after("circleopen", 20),
          still("smarties.png", 177, M::Drift).flash(120, 2).after("fadeblack", 17),
          clip("pedestrians", 158, 1700).after("fade", 24),
          still("graf1.png", 188, M::ZoomOut).after("wipeleft", 18),
          still("chicky_512.png", 166, M::ZoomIn).after("fade", 21),
          still("squirrel_cls.jpg", 139, M::Shake).after("slideleft", 16),
          still("HappyFish.jpg", 182, M::ZoomOut).after("fadeblack", 20)}},
        {"rushes-a", Group::Rushes, 'A',
         rushes({{clip("pedestrians", 0, 0), {{600, 163}, {615, 178}, {640, 149}}},
                 {still("baboon.jpg", 0, M::ZoomIn), {{0, 142}, {20, 171}}},
                 {still("butterfly.jpg", 0, M::Drift), {{10, 128}, {0, 156}, {35, 137}}},
                 {still("messi5.jpg", 0, M::ZoomIn), {{0, 117}, {25, 134}}},
                 {still("squirrel_cls.jpg", 0, M::ZoomOut),
                  {{0, 152}, {12, 139}, {40, 126}, {20, 144}}},
                 {still("Blender_Suzanne1.jpg", 0, M::Drift), {{5, 161}, {30, 143}}}})},
        // Half B: toys, an orange, fruit, a painting, a palace, an apple, a
        // circuit board, a desk, old houses, an aerial view, two people; a
        // tree in the wind, two people at dinner.
        {"cuts-b1",
         Group::Hard,
         'B',
         {still("rubberwhale1.png", 144, M::ZoomIn),
          clip("tree", 131, 20),
          still("orange.jpg", 97, M::Drift),
          junk(K::Bars, 27),
          still("starry_night.jpg", 176, M::ZoomOut),
          clip("dinner", 88, 5),
          still("fruits.jpg", 122, M::ZoomIn).flash(64),
          junk(K::Black, 19),
          still("home.jpg", 159, M::Drift),
          still("board.jpg", 73, M::ZoomIn),
          clip("glasses", 61, 2),
          junk(K::Noise, 23),
          still("leuvenA.jpg", 138, M::ZoomOut),
          still("apple.jpg", 104, M::Drift),
          still("rubberwhale1.png", 186, M::Drift, 30).flash(101, 2),
          junk(K::PalBars, 30),
          clip("tree", 167, 300),
          still("stuff.jpg", 92, M::ZoomOut),
          still("aero3.jpg", 151, M::ZoomIn),
          junk(K::Card, 21),
          still("orange.jpg", 128, M::ZoomIn),
          still("basketball1.png", 79, M::Drift),
          clip("dinner", 93, 0),
          still("fruits.jpg", 163, M::Drift),
          junk(K::Black, 14),
          still("home.jpg", 141, M::ZoomIn),
          still("starry_night.jpg", 117, M::Drift),
          still("board.jpg", 199, M::Drift)}},
        {"cuts-b2",
         Group::Hard,
         'B',
         {still("orange.jpg", 172, M::ZoomOut),
          still("home.jpg", 86, M::ZoomIn),
          clip("tree", 149, 150),
          junk(K::HdBars, 25),
          still("rubberwhale1.png", 111, M::Drift).flash(44),
          still("apple.jpg", 158, M::ZoomIn),
          clip("glasses", 57, 5),
          still("starry_night.jpg", 132, M::ZoomIn),
          junk(K::Black, 22),
          still("basketball1.png", 103, M::ZoomOut),
          still("fruits.jpg", 191, M::ZoomOut).flash(150, 2),
          junk(K::RgbBars, 24),
          still("stuff.jpg", 127, M::Drift),
          clip("dinner", 79, 12),
          still("aero3.jpg", 68, M::Drift),
          still("leuvenA.jpg", 163, M::ZoomIn),
          junk(K::Noise, 17),
          junk(K::Black, 11),
          still("board.jpg", 118, M::ZoomOut),
          clip("tree", 183, 380),
          still("orange.jpg", 94, M::Drift, 25),
          junk(K::Bars, 28),
          still("rubberwhale1.png", 147, M::ZoomOut),
          still("home.jpg", 121, M::Drift),
          still("apple.jpg", 76, M::Drift).flash(30),
          junk(K::Card, 23),
          still("fruits.jpg", 139, M::ZoomIn),
          still("starry_night.jpg", 154, M::Drift),
          still("leuvenA.jpg", 167, M::Drift)}},
        {"dissolves-b",
         Group::Soft,
         'B',
         {still("starry_night.jpg", 184, M::ZoomIn),
          still("rubberwhale1.png", 168, M::Drift).after("fade", 22),
          clip("tree", 197, 60).after("fadeblack", 20),
          still("leuvenA.jpg", 87, M::FastPan).after("wipeleft", 17),
          still("orange.jpg", 153, M::ZoomOut).after("fade", 15),
          still("fruits.jpg", 158, M::Shake).after("slideright", 19),
          still("home.jpg", 179, M::ZoomIn).light(88).after("fadeblack", 24),
          still("apple.jpg", 137, M::Drift).flash(66).after("fade", 13),
          clip("dinner", 90, 3).after("wipeleft", 18),
          still("board.jpg", 161, M::ZoomIn).after("fade", 21),
          still("stuff.jpg", 142, M::Shake).after("fadeblack", 16),
          still("starry_night.jpg", 94, M::FastPan).after("slideright", 20),
          still("aero3.jpg", 176, M::ZoomOut).after("wiperight", 18),
          clip("tree", 171, 350).light(80).after("fade", 25),
          still("basketball1.png", 149, M::Drift).after("circleopen", 19),
          still("rubberwhale1.png", 183, M::ZoomIn, 30).flash(104, 2).after("fadeblack", 21),
          clip("glasses", 60, 3).after("fade", 14),
          still("orange.jpg", 172, M::Drift, 20).after("wipeleft", 14),
          still("fruits.jpg", 165, M::ZoomIn).after("fade", 23),
          still("home.jpg", 143, M::Shake).after("slideleft", 17),
          still("leuvenA.jpg", 180, M::ZoomOut).after("fadeblack", 22)}},
        {"rushes-b", Group::Rushes, 'B',
         rushes({{clip("tree", 0, 0), {{100, 158}, {130, 171}, {112, 144}}},
                 {still("rubberwhale1.png", 0, M::ZoomIn), {{0, 149}, {30, 166}, {15, 131}}},
                 {still("orange.jpg", 0, M::Drift), {{0, 137}, {20, 152}}},
                 {still("starry_night.jpg", 0, M::ZoomIn), {{10, 173}, {0, 141}, {45, 128}}},
                 {still("home.jpg", 0, M::ZoomOut), {{0, 146}, {25, 133}}},
                 {still("stuff.jpg", 0, M::Drift), {{0, 121}, {15, 157}, {30, 139}}}})},
    };
    return videos;
}

} // namespace

SampleClip sampleClip(const std::string& name) {
    const Clip& c = clipNamed(name);
    return {c.file, c.first, c.end};
}

std::vector<std::string> missingSamples() {
    std::set<std::string> files;
    for (const SampleVideo& v : sampleRecipes())
        for (const Piece& p : v.pieces)
            if (p.kind == Kind::Still)
                files.insert(p.what);
            else if (p.kind == Kind::Clip)
                files.insert(clipNamed(p.what).file);
    std::vector<std::string> missing;
    for (const std::string& f : files)
        if (!std::filesystem::exists(samplePath(f.c_str())))
            missing.push_back(f);
    return missing;
}

std::vector<QualityVideo> sampleVideos() {
    std::vector<QualityVideo> videos;
    for (const SampleVideo& v : sampleRecipes())
        videos.push_back({v.name, v.group, v.half, filterGraph(v.pieces),
                          frameTruth(v.pieces, v.group == Group::Rushes)});
    return videos;
}

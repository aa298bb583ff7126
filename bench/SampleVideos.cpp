#include "SampleVideos.h"

#include "SampleRecipes.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

const char* const kSampleFolder = "/usr/share/doc/opencv-doc/examples/data";

namespace samplerecipes {
namespace {

const char* const kFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

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

} // namespace
} // namespace samplerecipes

SampleClip sampleClip(const std::string& name) {
    using namespace samplerecipes;
    const Clip& c = clipNamed(name);
    return {c.file, c.first, c.end};
}

std::vector<std::string> missingSamples() {
    using namespace samplerecipes;
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
    using namespace samplerecipes;
    std::vector<QualityVideo> videos;
    for (const SampleVideo& v : sampleRecipes())
        videos.push_back({v.name, v.group, v.half, filterGraph(v.pieces),
                          frameTruth(v.pieces, v.group == Group::Rushes)});
    return videos;
}

// Junk, cuts and shot-aware decisions on synthetic pictures and fragments:
// what the junk filter and shot-aware ranking make of them.

#include "FragmentList.h"
#include "FrameBuffer.h"
#include "ShotAwareRanking.h"
#include "ShotBoundaries.h"
#include "Summarizer.h"
#include "SummaryTree.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

struct Yuv {
    int y, u, v;
};
using Painter = std::function<Yuv(int x, int y, int frame)>;

// Frame `n` of a picture painted pixel by pixel (chroma from each 2 x 2
// block's corner), described as fragment decoding describes it.
Frame paint(const Painter& painter, int n) {
    auto picture = testframes::uniformPicture(kWidth, kHeight, 0, 128, 128);
    AVFrame* p = picture.get();
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const Yuv c = painter(x, y, n);
            p->data[0][y * p->linesize[0] + x] = static_cast<uint8_t>(std::clamp(c.y, 0, 255));
            if (x % 2 == 0 && y % 2 == 0) {
                p->data[1][y / 2 * p->linesize[1] + x / 2] = static_cast<uint8_t>(c.u);
                p->data[2][y / 2 * p->linesize[2] + x / 2] = static_cast<uint8_t>(c.v);
            }
        }
    Frame frame;
    frame.descriptors = testframes::describe(picture);
    return frame;
}

// A light wall lit from above, with a small reddish object crossing it.
Yuv wall(int x, int y, int n) {
    const bool object = x >= 6 + n && x < 19 + n && y >= 14 && y < 34;
    return {176 + 32 * y / kHeight, object ? 110 : 128, object ? 150 : 128};
}
// A scene unlike the wall: a dark blue-green diagonal ramp, panning slowly.
Yuv ramp(int x, int y, int n) {
    return {40 + (x + y + n) % 64 * 2, 150, 100 + y};
}
Yuv black(int, int, int) {
    return {16, 128, 128};
}
Yuv white(int, int, int) {
    return {235, 128, 128};
}
Yuv bars(int x, int, int) {
    static const Yuv colours[] = {{180, 128, 128}, {168, 44, 136}, {145, 147, 44}, {134, 63, 52},
                                  {63, 193, 204},  {51, 109, 212}, {28, 212, 120}};
    return colours[x * 7 / kWidth];
}
// Fresh on every frame.
Yuv greyNoise(int x, int y, int n) {
    uint32_t h = static_cast<uint32_t>(x + kWidth * (y + kHeight * n)) * 2654435761u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    return {static_cast<int>(h % 256), 128, 128};
}
// A blend of two pictures, `share` of the way from the first to the second.
Painter mix(Painter a, Painter b, double share) {
    return [=](int x, int y, int n) {
        const Yuv p = a(x, y, n), q = b(x, y, n);
        auto at = [share](int s, int t) { return static_cast<int>(s + (t - s) * share + 0.5); };
        return Yuv{at(p.y, q.y), at(p.u, q.u), at(p.v, q.v)};
    };
}

// A video as painters, frame by frame; fragments of 25 frames of it.
using Video = std::vector<Painter>;
void append(Video& video, const Painter& p, int frames) {
    video.insert(video.end(), frames, p);
}
std::vector<std::unique_ptr<FrameBuffer>> fragmentsOf(const Video& video) {
    std::vector<std::unique_ptr<FrameBuffer>> fragments;
    for (size_t k = 0; k < video.size(); ++k) {
        if (k % 25 == 0) {
            fragments.push_back(std::make_unique<FrameBuffer>(25));
            fragments.back()->length = static_cast<int32_t>(std::min<size_t>(25, video.size() - k));
        }
        fragments.back()->addFrame(paint(video[k], static_cast<int>(k)));
    }
    return fragments;
}

// The pieces shot-aware ranking cuts the video into: "12-48", or "junk 0-24"
// for one not to be played, "glimpse 3-9" for a shot shorter than a second,
// "tail 50-62" for a shot's last frames after a piece of it.
struct Piece {
    int first, last, shot;
    bool junk, glimpse, tail;
    std::string text() const {
        return std::string(junk      ? "junk "
                           : glimpse ? "glimpse "
                           : tail    ? "tail "
                                     : "") +
               std::to_string(first) + "-" + std::to_string(last);
    }
};
std::vector<Piece> pieces(const Video& video) {
    ShotPieces cutter;
    std::vector<Piece> found;
    int first = 0;
    auto take = [&] {
        while (std::unique_ptr<FrameBuffer> piece = cutter.next()) {
            const ShotSpan& s = piece->shotSpan;
            found.push_back({first, first + piece->count() - 1, s.shot, s.junk, s.glimpse, s.tail});
            first += piece->count();
        }
    };
    for (auto& fragment : fragmentsOf(video)) {
        cutter.add(*fragment);
        take();
    }
    cutter.end();
    take();
    return found;
}
std::vector<std::string> texts(const std::vector<Piece>& found) {
    std::vector<std::string> out;
    for (const Piece& p : found)
        out.push_back(p.text());
    return out;
}

TEST(Junk, TheFilterAndShotAwareRankingPassAOneToneSceneAndCatchJunk) {
    struct Case {
        const char* name;
        Painter picture;
        bool junk;
    };
    const Case cases[] = {{"wall", wall, false},
                          {"black", black, true},
                          {"bars", bars, true},
                          {"grey noise", greyNoise, true},
                          {"white", white, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Video video;
        append(video, c.picture, 25);
        SummaryTree tree;
        std::unique_ptr<FrameBuffer> fragment = std::move(fragmentsOf(video).front());
        const FrameBuffer* filtered = fragment.get();
        tree.addFragmentFiltered(std::move(fragment));
        EXPECT_EQ(filtered->junk, c.junk);
        EXPECT_EQ(texts(pieces(video)).front(), std::string(c.junk ? "junk " : "") + "0-24");
    }
    // A flash inside the wall's shot: the filter leaves the fragment out;
    // shot-aware ranking plays the shot around it, and not a sliver of it.
    Video flash;
    append(flash, wall, 10);
    append(flash, white, 3);
    append(flash, wall, 40);
    SummaryTree tree;
    std::unique_ptr<FrameBuffer> fragment = std::move(fragmentsOf(flash).front());
    const FrameBuffer* filtered = fragment.get();
    tree.addFragmentFiltered(std::move(fragment));
    EXPECT_TRUE(filtered->junk);
    EXPECT_EQ(texts(pieces(flash)),
              (std::vector<std::string>{"junk 0-9", "junk 10-12", "13-37", "tail 38-52"}));
}

// Per frame, the shot it belongs to, or -1 for one that must not play (in
// a transition, black).
using Truth = std::vector<int>;
void append(Video& video, Truth& truth, const Painter& p, int frames, int shot) {
    append(video, p, frames);
    truth.insert(truth.end(), frames, shot);
}
void blend(Video& video, Truth& truth, const Painter& from, const Painter& to, int frames) {
    for (int k = 1; k <= frames; ++k)
        video.push_back(mix(from, to, k / (frames + 1.0)));
    truth.insert(truth.end(), frames, -1);
}

// A still lit afresh: the same layout, brighter.
Yuv relit(int x, int y, int n) {
    const Yuv c = ramp(x, y, n);
    return {c.y + 40, c.u, c.v};
}
// The ramp shaken by hand: a few pixels to and fro from frame to frame.
Yuv shaken(int x, int y, int n) {
    return ramp(x + (n * 7) % 5, y + (n * 3) % 4, 0);
}

TEST(ShotPieces, PiecesLieInOneShotForASecondOrMoreClearOfTransitionsButMotionIsNoCut) {
    struct Case {
        const char* name;
        std::function<void(Video&, Truth&)> make;
    };
    const Case cases[] = {
        {"a pan, a hard cut, an object crossing a wall",
         [](Video& v, Truth& t) { append(v, t, ramp, 30, 0), append(v, t, wall, 70, 1); }},
        {"a hard cut late in a fragment",
         [](Video& v, Truth& t) { append(v, t, wall, 63, 0), append(v, t, ramp, 37, 1); }},
        {"a shot shorter than a second between two",
         [](Video& v, Truth& t) {
             append(v, t, wall, 40, 0), append(v, t, ramp, 15, 1), append(v, t, wall, 60, 2);
         }},
        // A flash is five frames at most: one more, and the jump is a cut.
        {"a jump of six frames and back",
         [](Video& v, Truth& t) {
             append(v, t, wall, 40, 0), append(v, t, ramp, 6, 1), append(v, t, wall, 50, 2);
         }},
        {"a dissolve",
         [](Video& v, Truth& t) {
             append(v, t, wall, 30, 0), blend(v, t, wall, ramp, 15), append(v, t, ramp, 80, 1);
         }},
        {"a fade through black",
         [](Video& v, Truth& t) {
             append(v, t, ramp, 40, 0), blend(v, t, ramp, black, 10), append(v, t, black, 15, -1);
             blend(v, t, black, wall, 10), append(v, t, wall, 50, 1);
         }},
        {"a light switched on",
         [](Video& v, Truth& t) { append(v, t, ramp, 50, 0), append(v, t, relit, 60, 0); }},
        {"a shaking camera",
         [](Video& v, Truth& t) { append(v, t, wall, 30, 0), append(v, t, shaken, 90, 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Video video;
        Truth truth;
        c.make(video, truth);
        const std::vector<Piece> found = pieces(video);
        ASSERT_FALSE(found.empty());
        EXPECT_EQ(found.back().last + 1, static_cast<int>(truth.size())); // nothing lost
        std::set<int> shots, truthShots;
        for (int shot : truth)
            if (shot >= 0)
                truthShots.insert(shot);
        for (size_t i = 0; i < found.size(); ++i) {
            const Piece& p = found[i];
            SCOPED_TRACE(p.text());
            if (p.junk)
                continue;
            shots.insert(p.shot);
            // What plays is one shot, clear of transitions and black...
            for (int k = p.first; k <= p.last; ++k)
                EXPECT_TRUE(truth[k] >= 0 && truth[k] == truth[p.first]) << k;
            // ...for a second at least, unless the whole shot is shorter or
            // the piece is its tail, after a piece of it.
            const int length =
                static_cast<int>(std::count(truth.begin(), truth.end(), truth[p.first]));
            if (p.tail) {
                ASSERT_GT(i, 0u);
                EXPECT_TRUE(!found[i - 1].junk && found[i - 1].shot == p.shot);
            } else {
                EXPECT_GE(p.last - p.first + 1, std::min(25, length));
                EXPECT_LE(p.last - p.first + 1, 37);
            }
            EXPECT_EQ(p.glimpse, length < 25);
        }
        // Every shot has a piece to play, and motion or light start none.
        EXPECT_EQ(shots.size(), truthShots.size());
    }
}

// Forty fragments, four to a shot, as trimming would leave them: shot 3 is
// junk, shots 6 and 8 look like shot 1; in pans, the fragments of a shot
// differ from each other as much as from other shots. The tree decides as
// the engine does (depth 20, 100 nodes); the kept fragments' shots, in order.
std::vector<int> keptShots(double target, bool pans) {
    SummaryTree tree;
    tree.weights.targetLength = target;
    tree.weights.shotAware = true;
    auto looksLike = [](int shot) { return shot == 6 || shot == 8 ? 1 : shot; };
    std::vector<int> kept;
    auto advance = [&] {
        tree.decideRoot();
        bool included = false;
        if (FrameBuffer* f = tree.advanceRoot(included); f && included)
            kept.push_back(f->shotSpan.shot);
    };
    for (int n = 0; n < 40; ++n) {
        auto f = std::make_unique<FrameBuffer>(25);
        for (int i = 0; i < 25; ++i)
            f->addFrame(testframes::uniformFrame(kWidth, kHeight, 100, 128, 128));
        f->length = 25;
        f->variation = 0.1;
        f->variationComputed = f->maxDifferenceComputed = true;
        f->shotSpan = {true, n / 4, n / 4 == 3, false, false, {}};
        for (int older = 0; older < n; ++older) {
            const bool alike =
                looksLike(older / 4) == looksLike(n / 4) && !(pans && older / 4 == n / 4);
            f->comparisonList[n - older] = {1, alike ? 0.02 : 0.4};
        }
        tree.addFragment(std::move(f), true);
        if (tree.liveLeafCount() > 100)
            tree.pruneLeaves(100);
        if (tree.depth() >= 20)
            advance();
    }
    tree.regrowToTheEnd(100);
    tree.preferLeafOnTarget();
    while (tree.depth() > 0) {
        advance();
        tree.preferLeafOnTarget();
    }
    if (tree.current->included)
        kept.push_back(tree.current->fragment->shotSpan.shot);
    return kept;
}

TEST(ShotAwareRanking, DistinctShotsFirstNoJunkNoRepeatAndTheTargetsLength) {
    // A pan's second fragment is more of the shot just kept, however unlike
    // its first it looks, not a new shot.
    for (const bool pans : {false, true}) {
        SCOPED_TRACE(pans ? "pans" : "still shots");
        // Four fragments' worth: four of the seven distinct shots, one each.
        const std::vector<int> few = keptShots(0.1, pans);
        ASSERT_EQ(few.size(), 4u);
        EXPECT_EQ(std::set<int>(few.begin(), few.end()).size(), 4u);
        for (int shot : few)
            EXPECT_TRUE(shot != 3 && shot != 6 && shot != 8) << shot;
        // Half the video: every distinct shot, then more of them, never junk.
        const std::vector<int> half = keptShots(0.5, pans);
        EXPECT_NEAR(static_cast<double>(half.size()), 20.0, 1.0);
        EXPECT_EQ(std::count(half.begin(), half.end(), 3), 0);
        for (int shot : {0, 1, 2, 4, 5, 7, 9})
            EXPECT_GT(std::count(half.begin(), half.end(), shot), 0) << shot;
    }
}

} // namespace

namespace {

// Awkward videos through the engine with shot-aware ranking, turn by turn
// as the player and the tool take them: the frames each kept piece holds.
std::vector<int> keptPieces(const Video& video, double target) {
    SummarySettings settings;
    settings.shotAware = true;
    settings.target = target;
    settings.depth = 20;
    settings.nodes = 100;
    Summarizer summarizer(settings);
    std::vector<std::unique_ptr<FrameBuffer>> fragments = fragmentsOf(video);
    int n = 0;
    for (auto& fragment : fragments)
        for (Frame& frame : fragment->frames) {
            frame.frameNumber = n;
            frame.frameTime = n++ / 25.0;
        }
    std::vector<int> kept;
    takeTurns(summarizer, std::move(fragments), [&](const Decision& d) {
        if (d.kept)
            kept.push_back(d.frames);
    });
    return kept;
}

TEST(ShotAwareRanking, AwkwardVideosMeetTheirTargetAndKeepToTheRulesWhereTheyCan) {
    struct Case {
        const char* name;
        std::function<void(Video&)> make;
        bool wholeSeconds; // every kept piece a second at least
    };
    const Case cases[] = {
        {"one shot without a cut", [](Video& v) { append(v, ramp, 500); }, true},
        {"nothing but junk",
         [](Video& v) {
             for (int i = 0; i < 5; ++i)
                 append(v, black, 40), append(v, bars, 40), append(v, greyNoise, 20);
         },
         false},
        {"shots all under a second",
         [](Video& v) {
             for (int i = 0; i < 25; ++i)
                 append(v, i % 2 ? wall : ramp, 20);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Video video;
        c.make(video);
        const double target = 0.2;
        const std::vector<int> kept = keptPieces(video, target);
        const int frames = std::accumulate(kept.begin(), kept.end(), 0);
        // On the target, give or take a piece.
        EXPECT_NEAR(frames, target * static_cast<double>(video.size()), 25.0);
        for (int n : kept)
            EXPECT_TRUE(!c.wholeSeconds || n >= 25) << n;
    }
}

} // namespace

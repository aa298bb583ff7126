// Junk, cuts and shot-aware decisions on synthetic pictures and fragments:
// what the junk filter and shot-aware ranking make of them.

#include "FrameBuffer.h"
#include "ShotAwareRanking.h"
#include "ShotBoundaries.h"
#include "SummaryTree.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
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
Yuv greyNoise(int x, int y, int n) {
    return {static_cast<int>(std::minstd_rand(x + kWidth * (y + kHeight * n) + 1)() % 256), 128,
            128};
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

// Frames of the video each fragment keeps once trimmed to its main shot,
// and whether it is junk: "12-24" or "junk 0-24".
std::vector<std::string> trimmed(const Video& video) {
    ShotBoundaries boundaries;
    std::vector<std::string> spans;
    int first = 0;
    for (auto& fragment : fragmentsOf(video)) {
        trimToMainShot(*fragment, boundaries);
        const ShotSpan& s = fragment->shotSpan;
        spans.push_back(std::string(s.junk ? "junk " : "") + std::to_string(first + s.before) +
                        "-" + std::to_string(first + s.before + fragment->count() - 1));
        first += fragment->length;
    }
    return spans;
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
        EXPECT_EQ(trimmed(video).front(), std::string(c.junk ? "junk " : "") + "0-24");
    }
    // A flash inside the wall's shot: the filter leaves the fragment out;
    // shot-aware ranking keeps its longer flash-free part.
    Video flash;
    append(flash, wall, 10);
    append(flash, white, 3);
    append(flash, wall, 12);
    SummaryTree tree;
    std::unique_ptr<FrameBuffer> fragment = std::move(fragmentsOf(flash).front());
    const FrameBuffer* filtered = fragment.get();
    tree.addFragmentFiltered(std::move(fragment));
    EXPECT_TRUE(filtered->junk);
    EXPECT_EQ(trimmed(flash), std::vector<std::string>{"13-24"});
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

TEST(ShotBoundaries, CutsAndTransitionsInsideFragmentsAreTrimmedAwayButMotionIsNot) {
    struct Case {
        const char* name;
        std::function<void(Video&, Truth&)> make;
    };
    const Case cases[] = {
        {"a pan, a hard cut, an object crossing a wall",
         [](Video& v, Truth& t) { append(v, t, ramp, 30, 0), append(v, t, wall, 70, 1); }},
        {"a hard cut late in a fragment",
         [](Video& v, Truth& t) { append(v, t, wall, 63, 0), append(v, t, ramp, 37, 1); }},
        {"a dissolve",
         [](Video& v, Truth& t) {
             append(v, t, wall, 30, 0), blend(v, t, wall, ramp, 15), append(v, t, ramp, 80, 1);
         }},
        {"a fade through black",
         [](Video& v, Truth& t) {
             append(v, t, ramp, 40, 0), blend(v, t, ramp, black, 10), append(v, t, black, 15, -1);
             blend(v, t, black, wall, 10), append(v, t, wall, 50, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Video video;
        Truth truth;
        c.make(video, truth);
        const std::vector<std::string> spans = trimmed(video);
        for (size_t f = 0; f < spans.size(); ++f) {
            SCOPED_TRACE(spans[f]);
            const bool junk = spans[f].rfind("junk", 0) == 0;
            int first = 0, last = 0;
            std::sscanf(spans[f].c_str() + (junk ? 5 : 0), "%d-%d", &first, &last);
            // What plays is one shot, clear of transitions and black.
            for (int k = first; k <= last && !junk; ++k) {
                EXPECT_TRUE(truth[k] >= 0 && truth[k] == truth[first]) << k;
            }
            // A fragment of one shot, its neighbours of that shot too, plays whole.
            const int from = static_cast<int>(f) * 25;
            const int to = std::min<int>(from + 25, static_cast<int>(truth.size()));
            bool calm = true;
            for (int k = std::max(0, from - 10); k < std::min<int>(to + 10, truth.size()); ++k)
                calm &= truth[k] >= 0 && truth[k] == truth[from];
            if (calm) {
                EXPECT_EQ(spans[f], std::to_string(from) + "-" + std::to_string(to - 1));
            }
            // One with no half second of one shot is junk.
            int run = 0, longest = 0;
            for (int k = from; k < to; ++k) {
                run = truth[k] >= 0 && k > from && truth[k] == truth[k - 1] ? run + 1 : 1;
                longest = std::max(longest, truth[k] >= 0 ? run : 0);
            }
            if (longest < 12) {
                EXPECT_TRUE(junk);
            }
        }
    }
}

// Forty fragments, four to a shot, as trimming would leave them: shot 3 is
// junk, shots 6 and 8 look like shot 1. The tree decides as the engine does
// (depth 20, 100 nodes); the kept fragments' shots, in order.
std::vector<int> keptShots(double target) {
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
        f->shotSpan = {true, n / 4, 0, 0, n / 4 == 3};
        for (int older = 0; older < n; ++older)
            f->comparisonList[n - older] = {1,
                                            looksLike(older / 4) == looksLike(n / 4) ? 0.02 : 0.4};
        tree.addFragment(std::move(f), true);
        if (tree.liveLeafCount() > 100)
            tree.pruneLeaves(100);
        if (tree.depth() >= 20)
            advance();
    }
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
    // Four fragments' worth: four of the seven distinct shots, one each.
    const std::vector<int> few = keptShots(0.1);
    ASSERT_EQ(few.size(), 4u);
    EXPECT_EQ(std::set<int>(few.begin(), few.end()).size(), 4u);
    for (int shot : few)
        EXPECT_TRUE(shot != 3 && shot != 6 && shot != 8) << shot;
    // Half the video: every distinct shot, then more of them, never junk.
    const std::vector<int> half = keptShots(0.5);
    EXPECT_NEAR(static_cast<double>(half.size()), 20.0, 1.0);
    EXPECT_EQ(std::count(half.begin(), half.end(), 3), 0);
    for (int shot : {0, 1, 2, 4, 5, 7, 9})
        EXPECT_GT(std::count(half.begin(), half.end(), shot), 0) << shot;
}

} // namespace

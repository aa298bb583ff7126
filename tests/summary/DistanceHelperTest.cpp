// Sharing a level's comparisons with a second thread: the tree decides
// exactly as on one thread, with and without a memo of distances.

#include "DistanceHelper.h"
#include "FrameBuffer.h"
#include "SegmentDistanceMemo.h"
#include "SummaryTree.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// Fragments of real descriptors: scenes of five fragments in one of four
// tones, each frame a little off its scene's, so distances differ everywhere.
std::vector<std::unique_ptr<FrameBuffer>> scenes(int count, SegmentDistanceMemo* memo) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> noise(0, 40);
    std::vector<std::unique_ptr<FrameBuffer>> fragments;
    for (int n = 0; n < count; ++n) {
        auto fragment = std::make_unique<FrameBuffer>(25);
        const int tone = n / 5 % 4;
        for (int i = 0; i < 25; ++i) {
            Frame frame;
            frame.frameNumber = 25.0 * n + i;
            Descriptors& d = frame.descriptors;
            d.width = 64;
            d.height = 64;
            for (int c = 0; c < 3; ++c) {
                d.histogram[c][(4 * tone + c) % 16] = 2000.0 + noise(random);
                d.histogram[c][(4 * tone + c + 5) % 16] = 2096.0 - noise(random);
                for (int b = 0; b < 64; ++b)
                    d.blockMeans[c][b] = 40.0 * tone + b % 8 + noise(random) / 8.0;
            }
            d.derive();
            fragment->addFrame(frame);
        }
        fragment->length = 25;
        fragment->distanceMemo = memo;
        fragments.push_back(std::move(fragment));
    }
    return fragments;
}

// Kept ('#') and left-out ('.') fragments, and every leaf's redundancy score
// after every level.
struct Decisions {
    std::string kept;
    std::vector<double> redundancy;
};

Decisions decide(DistanceHelper* helper, SegmentDistanceMemo* memo) {
    SummaryTree tree;
    tree.weights.targetLength = 0.3;
    tree.helper = helper;
    Decisions run;
    std::vector<std::unique_ptr<FrameBuffer>> fragments = scenes(120, memo);
    // Twenty levels below the root at most; once the fragments run out, the
    // root advances to the end.
    for (size_t n = 0; n < fragments.size() || tree.depth() > 0; ++n) {
        if (n < fragments.size()) {
            tree.addFragment(std::move(fragments[n]), true);
            for (uint32_t i = 0; i < tree.leaves.size(); ++i)
                run.redundancy.push_back(tree.leaves[i]->redundancyScore);
            tree.pruneLeaves(100);
        }
        if (tree.depth() < 20 && n < fragments.size())
            continue;
        tree.decideRoot();
        bool included = false;
        if (tree.advanceRoot(included))
            run.kept += included ? '#' : '.';
    }
    return run;
}

TEST(DistanceHelper, TheTreeDecidesAsOnOneThreadWithOrWithoutAMemo) {
    const Decisions alone = decide(nullptr, nullptr);
    ASSERT_NE(alone.kept.find('#'), std::string::npos);
    ASSERT_NE(alone.kept.find('.'), std::string::npos);
    DistanceHelper helper;
    for (const bool withMemo : {false, true}) {
        SegmentDistanceMemo memo;
        SegmentDistanceMemo* shared = withMemo ? &memo : nullptr;
        // With a memo, the second run finds what the first measured.
        for (int pass = 0; pass < (withMemo ? 2 : 1); ++pass) {
            const Decisions helped = decide(&helper, shared);
            EXPECT_EQ(helped.kept, alone.kept) << withMemo << " " << pass;
            EXPECT_EQ(helped.redundancy, alone.redundancy) << withMemo << " " << pass;
        }
        if (withMemo) {
            EXPECT_GT(memo.size(), 0u);
        }
    }
}

} // namespace

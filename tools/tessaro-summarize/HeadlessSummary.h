#pragma once

// Runs the player's decoding pass in Summary mode without a window: the same
// tree, the same settings, the same decisions. Nothing paces it: the kept
// frames are taken out of the playback buffer after every pass, so the root
// advances as soon as the depth limit is reached, and at the end of the
// stream the remaining levels are decided.

#include "SegmentList.h"
#include "SummarizeOptions.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class Frame;

class HeadlessSummary {
public:
    // Called with each kept fragment, in decoding order, and its frames (the
    // playback clones, deleted after the call). The frames carry their times
    // and descriptors but no pictures: every fragment gives its pictures up
    // as soon as its descriptors are computed, which changes no decision and
    // keeps memory from growing with the tree's depth of undecided pictures.
    // keptFragments() already ends with the fragment. Returning false stops
    // the run.
    using KeptCallback = std::function<bool(const KeptFragment&, const std::vector<Frame*>&)>;
    // Called after every pass with the seconds and pictures decoded so far.
    // Returning false stops the run.
    using ProgressCallback = std::function<bool(double position, int64_t pictures)>;

    HeadlessSummary(std::string path, const SummarySettings& settings);

    // True when the video was read to its end and every level decided; false
    // when a callback stopped the run.
    bool run(const KeptCallback& onKept, const ProgressCallback& onProgress = {});

    const std::vector<KeptFragment>& keptFragments() const { return kept; }
    int64_t picturesDecoded() const { return decoded; }

private:
    std::string path;
    SummarySettings settings;
    std::vector<KeptFragment> kept;
    int64_t decoded = 0;
};

#pragma once

// The summary engine: described fragments in, decisions out. Fragments are
// given in the order of the video; each becomes one level of the summary
// tree, and once the tree is as deep as the depth limit (or the video has
// ended) each decision settles the oldest undecided fragment: kept in the
// summary or left out. It knows nothing of windows, playback or files, and
// holds no pictures: a kept fragment keeps its frames' descriptors for the
// later fragments to be compared with, a left-out one nothing.
//
// A caller works in turns. In each turn it offers at most one fragment (when
// wantsFragment(), or says the video ended) and then asks for at most one
// decision (when canDecide()). The turns, and nothing else, fix the
// decisions: the player and a headless run that take the same turns keep the
// same fragments whatever their pace.

#include "ShotAwareRanking.h"
#include "SpeechPieces.h"
#include "SummarySettings.h"
#include "SummaryTree.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class FrameBuffer;
struct Descriptors;

struct Decision {
    int32_t number = 0;      // the fragment's number since the last reset, from 0
    double frameNumber = -1; // the reader's number of its first frame
    double start = 0.0;      // time of its first frame, seconds
    double last = 0.0;       // time of its last frame
    int32_t frames = 0;      // frames it holds
    bool kept = false;
    // The shot it shows, with shot-aware ranking (whose fragments are the
    // pieces of ShotPieces); -1 without.
    int32_t shot = -1;

    // What each of its frames looked like, to recognise the pictures when
    // they are read again (see pictureSignature); empty for a left-out one.
    std::vector<uint64_t> signatures;
};

// A digest of a frame's descriptors: equal for two decodes of the same
// picture, different (all but certainly) for a different one.
uint64_t pictureSignature(const Descriptors& descriptors);

class Summarizer {
public:
    explicit Summarizer(const SummarySettings& settings = {});
    Summarizer(const Summarizer&) = delete;
    Summarizer& operator=(const Summarizer&) = delete;

    // New settings. A new target or weight calls for a new tree, which the
    // caller asks for with reset() once it has placed its reader where the
    // new tree starts; the limits and the junk filter apply at once.
    void setSettings(const SummarySettings& settings);
    const SummarySettings& settings() const { return current; }
    // The tree limits in force, which may differ from the settings' own
    // while the caller lowers them (the player's automatic control).
    void setLimits(int depthLimit, int nodeLimit);
    int depthLimit() const { return depthLimitInForce; }
    int nodeLimit() const { return nodeLimitInForce; }

    // Forgets every fragment and decision: the next fragment starts a new
    // tree, ranked with the settings in force.
    void reset();

    bool wantsFragment() const;
    // Takes the fragment (frames with their descriptors; pictures are not
    // needed) as the next level of the tree.
    void addFragment(std::unique_ptr<FrameBuffer> fragment);
    // No fragment will follow: the remaining levels are decided in turn.
    void endOfStream();

    bool canDecide() const;
    // Settles the oldest undecided fragment. With includeNext the fragment
    // is kept whatever the ranking said (the player's Avoid Empty Buffer).
    // Empty when the turn settled nothing the caller needs to hear of (the
    // empty start of a new tree).
    std::optional<Decision> decide(bool includeNext = false);
    // The video has ended and every fragment is decided.
    bool finished() const;

    // Fragments inserted and not yet decided.
    int depth() const { return tree.depth(); }
    bool ended() const { return streamEnded; }
    // Whole seconds of the newest fragment inserted and of the fragment at
    // the current root, for the timeline's marks (0 when there is none).
    int32_t frontTime() const { return front; }
    int32_t decisionTime() const { return decisionMark; }

    const SummaryTree& summaryTree() const { return tree; }
    // Shares the comparisons of each new level with the helper's thread
    // (null: this thread alone). The same decisions either way.
    void setDistanceHelper(DistanceHelper* helper) { tree.helper = helper; }

private:
    Decision settle(FrameBuffer* fragment, bool included);
    // Into the tree, as the next level.
    void insert(std::unique_ptr<FrameBuffer> fragment);
    // Into the tree, every piece of the fragments given whose frames are known.
    void insertPieces();

    SummarySettings current;
    int depthLimitInForce;
    int nodeLimitInForce;
    SummaryTree tree;
    // How the fragments reach the tree: as they come, or cut again.
    enum class Cut { Undecided, Fragments, Shots, Speech };
    Cut cut = Cut::Undecided;
    ShotPieces pieces;          // shot-aware ranking, unless speech is kept whole
    SpeechPieces speechPieces;  // Keep Speech Whole, on a video whose sound is known
    bool streamEnded = false;
    // The fragment left at the current root when the stream ended is settled.
    bool lastSettled = false;
    int32_t front = 0;
    int32_t decisionMark = 0;
};

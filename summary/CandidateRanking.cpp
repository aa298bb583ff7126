// The four path measures of a candidate, the score of a new leaf and the
// best-first order of the leaf list.

#include "DistanceHelper.h"
#include "FrameBuffer.h"
#include "ShotAwareRanking.h"
#include "SummaryTree.h"
#include "TreeNode.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

constexpr double NO_DISTANCE = -1.0;
constexpr double FAR_DISTANCE = 99999.0;
// Pieces nearer than this show the same thing: the same shot again, or a
// further take of it.
constexpr double SAME_SHOT_DISTANCE = 0.12;

double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

double fragmentDistance(FrameBuffer* newer, FrameBuffer* older) {
    double distance = FrameBuffer::getComparison(newer, older);
    if (distance == NO_DISTANCE) {
        distance = FrameBuffer::segmentDistance(newer, older);
        newer->setComparison(older, distance);
    }
    return distance;
}

struct Distances {
    int32_t count = 0;
    double sum = 0.0;
    double min = FAR_DISTANCE;
};

// Distances of the fragment of level `level` to the fragments of `start` and
// its included ancestors within reach. Every node of one level asks this of
// the same ancestors, so each ancestor keeps its answer for the last level
// that asked; the walk stops at the first ancestor that already has it.
Distances ancestorDistances(TreeNode* start, int32_t level, FrameBuffer* fragment,
                            std::vector<TreeNode*>& path) {
    path.clear();
    TreeNode* node = start;
    while (node && level - node->level <= REDUNDANCY_REACH && node->redundancyLevel != level) {
        path.push_back(node);
        node = node->lastIncluded;
    }
    Distances d;
    if (node && level - node->level <= REDUNDANCY_REACH) {
        d.count = node->redundancyCount;
        d.sum = node->redundancySum;
        d.min = node->redundancyMin;
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        TreeNode* ancestor = *it;
        if (ancestor->fragment) {
            const double distance = fragmentDistance(fragment, ancestor->fragment);
            d.sum += distance;
            d.count += 1;
            d.min = std::min(d.min, distance);
        }
        ancestor->redundancyLevel = level;
        ancestor->redundancyCount = d.count;
        ancestor->redundancySum = d.sum;
        ancestor->redundancyMin = d.min;
    }
    return d;
}

// Whether the candidate ending at `kept` (a kept node, or the last kept
// before it) kept a piece of any of the shots, latest first: shots are
// numbered in the video's order, so the walk stops at a piece of a shot
// earlier than the earliest of them.
bool keptAny(const TreeNode* kept, const std::vector<int32_t>& shots) {
    if (shots.empty())
        return false;
    for (const TreeNode* n = kept; n && n->fragment && n->fragment->shotSpan.shot >= shots.back();
         n = n->lastIncluded)
        if (std::find(shots.begin(), shots.end(), n->fragment->shotSpan.shot) != shots.end())
            return true;
    return false;
}

double lengthMeasure(int32_t summaryFrames, int32_t totalFrames, double targetLength) {
    const double share = totalFrames > 0 ? double(summaryFrames) / totalFrames : 0.0;
    // With no target, only the empty summary matches it.
    if (targetLength <= 0.0)
        return summaryFrames == 0 ? 1.0 : 0.0;
    const double q = share / targetLength;
    return q <= 1.0 ? q : 1.0 / q;
}

double term(double value, double max, double min, double weight) {
    return max - min > 0.0 ? (value - min) * weight / (max - min) : 0.0;
}

// The sort works on copies of the two keys beside each node, so that
// comparing does not reach into the nodes themselves.
struct SortEntry {
    double score;
    double tieScore;
    TreeNode* node;
};

// Entries that belong before the pivot (score s, tieScore u).
bool goesFirst(const SortEntry& e, double s, double u) {
    return e.score > s || (!(e.score < s) && e.tieScore >= u);
}

bool allEqual(const SortEntry* a, int64_t lo, int64_t hi) {
    for (int64_t i = lo + 1; i <= hi; ++i)
        if (a[i].score != a[lo].score || a[i].tieScore != a[lo].tieScore)
            return false;
    return true;
}

int64_t partition(SortEntry* a, int64_t lo, int64_t hi) {
    const int64_t pivot = (lo + hi) / 2;
    const double s = a[pivot].score;
    const double u = a[pivot].tieScore;
    std::swap(a[pivot], a[hi]);
    int64_t store = lo;
    for (int64_t j = lo; j < hi; ++j)
        if (goesFirst(a[j], s, u))
            std::swap(a[j], a[store++]);
    std::swap(a[store], a[hi]);
    return store;
}

void sortRange(SortEntry* a, int64_t lo, int64_t hi) {
    while (lo < hi) {
        // A run of equal entries would cost one partition per entry; the
        // partitions only move each middle entry to the end, so do just that.
        if (allEqual(a, lo, hi)) {
            for (int64_t h = hi; h > lo; --h)
                std::swap(a[(lo + h) / 2], a[h]);
            return;
        }
        const int64_t place = partition(a, lo, hi);
        // The two sides are independent: recurse into the smaller one to
        // keep the stack shallow.
        if (place - lo < hi - place) {
            sortRange(a, lo, place - 1);
            lo = place + 1;
        } else {
            sortRange(a, place + 1, hi);
            hi = place - 1;
        }
    }
}

} // namespace

void SummaryTree::measureAhead(FrameBuffer* fragment, int32_t level) {
    // The walk of ancestorDistances from every leaf's include child, marking
    // the nodes it passes with ~level (never a level, so that walk still
    // passes them all).
    std::vector<FrameBuffer*>& older = aheadOlder;
    older.clear();
    for (uint32_t i = 0; i < leaves.size(); ++i) {
        TreeNode* node = leaves[i]->included ? leaves[i] : leaves[i]->lastIncluded;
        while (node && level - node->level <= REDUNDANCY_REACH && node->redundancyLevel != ~level) {
            node->redundancyLevel = ~level;
            if (node->fragment && !FrameBuffer::recallDistance(fragment, node->fragment))
                older.push_back(node->fragment);
            node = node->lastIncluded;
        }
    }
    // Branches share fragments: each pair once.
    std::sort(older.begin(), older.end(),
              [](const FrameBuffer* a, const FrameBuffer* b) { return a->number < b->number; });
    older.erase(std::unique(older.begin(), older.end()), older.end());
    for (FrameBuffer* o : older)
        o->prepareComparison();
    fragment->prepareComparison();
    helper->measure(fragment, older, aheadDistances);
    for (size_t i = 0; i < older.size(); ++i)
        FrameBuffer::keepMeasured(fragment, older[i], aheadDistances[i]);
}

double lengthTolerance(int32_t totalFrames, double targetLength, int32_t fragmentFrames) {
    const double goal = std::clamp(targetLength, 0.0, 1.0) * totalFrames;
    const double leftOut = totalFrames - goal;
    return std::max(0.25 * std::min(goal, leftOut), std::min<double>(fragmentFrames, leftOut));
}

void TreeNode::computeMeasures(double targetLength, std::vector<TreeNode*>& scratch) {
    const TreeNode* p = parent;
    if (!p)
        return;
    const int32_t n = fragment ? fragment->count() : 0;
    const int32_t length = fragment ? fragment->length : 0;

    totalFrames = p->totalFrames + length;
    summaryFrames = p->summaryFrames + (included ? n : 0);
    includedCount = p->includedCount + (included ? 1 : 0);
    joinCount = p->joinCount + (included && p->included ? 1 : 0);
    cutCount = p->cutCount + (!included && p->included ? 1 : 0);

    double r = p->redundancyScore;
    shotGain = p->shotGain;
    if (included) {
        r = 0.0;
        if (fragment) {
            const Distances d = ancestorDistances(lastIncluded, level, fragment, scratch);
            if (d.count > 0)
                r = std::sqrt(0.75 * d.min + 0.25 * d.sum / d.count);
            // Shot-aware ranking's hook.
            if (fragment->shotSpan.known) {
                const FrameBuffer* last = lastIncluded ? lastIncluded->fragment : nullptr;
                const bool seen = (d.count > 0 && d.min < SAME_SHOT_DISTANCE) ||
                                  keptAny(lastIncluded, fragment->shotSpan.alike);
                shotGain += inclusionGain(fragment->shotSpan, last ? &last->shotSpan : nullptr,
                                          last != nullptr ? fragment->number - last->number : 0,
                                          seen);
            }
        }
    }
    const int32_t blendFrames = n + p->summaryFrames;
    if (p->redundancyScore == 0.0 || blendFrames == 0)
        redundancyScore = r;
    else
        redundancyScore = (n * r + p->summaryFrames * p->redundancyScore) / blendFrames;
    redundancyScore = finiteOrZero(redundancyScore);

    continuityScore = double(joinCount + 1) / double(cutCount + 1) / double(includedCount + 1);

    lengthScore = finiteOrZero(lengthMeasure(summaryFrames, totalFrames, targetLength));

    activityScore = p->activityScore;
    if (included && fragment && summaryFrames > 0) {
        const double variation = finiteOrZero(fragment->getVariation());
        activityScore = (variation * n + (summaryFrames - n) * p->activityScore) / summaryFrames;
    }
    activityScore = finiteOrZero(activityScore);
}

void SummaryTree::foldExtremes(const TreeNode* node) {
    maxLengthScore = std::max(maxLengthScore, node->lengthScore);
    minLengthScore = std::min(minLengthScore, node->lengthScore);
    maxRedundancyScore = std::max(maxRedundancyScore, node->redundancyScore);
    minRedundancyScore = std::min(minRedundancyScore, node->redundancyScore);
    maxContinuityScore = std::max(maxContinuityScore, node->continuityScore);
    minContinuityScore = std::min(minContinuityScore, node->continuityScore);
    maxActivityScore = std::max(maxActivityScore, node->activityScore);
    minActivityScore = std::min(minActivityScore, node->activityScore);
}

void SummaryTree::scoreLeaves() {
    const RankingWeights& w = weights;
    const bool ended = streamEnded && (!w.wholeSpeech || levelsAdded >= lastLevel);
    const double sum = w.continuity + w.length + w.activity + w.redundancy;
    for (uint32_t i = 0; i < leaves.size(); ++i) {
        TreeNode* node = leaves[i];
        const double a = term(node->activityScore, maxActivityScore, minActivityScore, w.activity);
        const double c =
            term(node->continuityScore, maxContinuityScore, minContinuityScore, w.continuity);
        const double r =
            term(node->redundancyScore, maxRedundancyScore, minRedundancyScore, w.redundancy);
        const double l = term(node->lengthScore, maxLengthScore, minLengthScore, w.length);
        const double v = sum == 0.0 ? 0.0 : finiteOrZero((a + c + r + l) / sum);
        const TreeNode* p = node->parent;
        const double parentScore = p ? (w.byGains() ? p->pathScore : p->score) : 0.0;
        node->score = parentScore * 0.75 + v * 0.25;
        node->tieScore = 0.0;
        // Shot-aware ranking's hook.
        if (w.byGains()) {
            node->pathScore = node->score;
            const int32_t fragmentFrames = node->fragment ? node->fragment->maxFrames : 0;
            const int64_t remaining =
                streamEnded ? std::max<int64_t>(framesToTheEnd - node->totalFrames, 0) : -1;
            node->score = shotAwareScore(node->shotGain, node->summaryFrames, node->totalFrames,
                                         w.targetLength, fragmentFrames, node->pathScore, ended,
                                         w.wholeSpeech, remaining);
        }
    }
}

void SummaryTree::sortByScore(NodeList& list) {
    if (list.size() < 2)
        return;
    std::vector<SortEntry> entries(list.size());
    for (uint32_t i = 0; i < list.size(); ++i)
        entries[i] = {list[i]->score, list[i]->tieScore, list[i]};
    sortRange(entries.data(), 0, int64_t(list.size()) - 1);
    for (uint32_t i = 0; i < list.size(); ++i)
        list[i] = entries[i].node;
}

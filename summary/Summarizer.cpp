#include "Summarizer.h"

#include "Fnv.h"
#include "FrameBuffer.h"

namespace {

int32_t wholeSeconds(const FrameBuffer* fragment) {
    return fragment != nullptr && fragment->count() > 0
               ? static_cast<int32_t>(fragment->first().frameTime)
               : 0;
}

} // namespace

uint64_t pictureSignature(const Descriptors& d) {
    const uint64_t hash = fnv1a(kFnvStart, d.histogram, sizeof d.histogram);
    return fnv1a(hash, d.blockMeans, sizeof d.blockMeans);
}

Summarizer::Summarizer(const SummarySettings& settings)
    : current(settings), depthLimitInForce(settings.depth), nodeLimitInForce(settings.nodes),
      tree(RankingWeights::of(settings)) {}

void Summarizer::setSettings(const SummarySettings& settings) {
    current = settings;
    depthLimitInForce = settings.depth;
    nodeLimitInForce = settings.nodes;
}

void Summarizer::setLimits(int depthLimit, int nodeLimit) {
    depthLimitInForce = depthLimit;
    nodeLimitInForce = nodeLimit;
}

void Summarizer::reset() {
    tree.resetTree();
    tree.weights = RankingWeights::of(current);
    pieces.reset();
    cut = Cut::Undecided;
    streamEnded = false;
    lastSettled = false;
    front = 0;
    decisionMark = 0;
}

bool Summarizer::wantsFragment() const {
    return !streamEnded && depth() <= depthLimitInForce;
}

void Summarizer::addFragment(std::unique_ptr<FrameBuffer> fragment) {
    if (!fragment || !wantsFragment())
        return;
    if (cut == Cut::Undecided && fragment->count() > 0) {
        // Speech is kept whole on a video whose sound is known from its start.
        const RankingWeights& w = tree.weights;
        const bool heard = fragment->first().sound.known();
        cut = w.wholeSpeech && heard ? Cut::Speech : w.shotAware ? Cut::Shots : Cut::Fragments;
        speechPieces.reset(w.shotAware);
        // Without it, as if the option were off.
        tree.weights.wholeSpeech = cut == Cut::Speech;
    }
    switch (cut) {
    case Cut::Speech:
        speechPieces.add(*fragment);
        break;
    case Cut::Shots:
        pieces.add(*fragment);
        break;
    default:
        insert(std::move(fragment));
        return;
    }
    insertPieces();
}

void Summarizer::insertPieces() {
    const auto nextPiece = [this] {
        return cut == Cut::Speech ? speechPieces.next() : pieces.next();
    };
    while (std::unique_ptr<FrameBuffer> piece = nextPiece())
        insert(std::move(piece));
}

void Summarizer::insert(std::unique_ptr<FrameBuffer> fragment) {
    FrameBuffer* inserted = fragment.get();
    if (current.junkFilter)
        tree.addFragmentFiltered(std::move(fragment));
    else
        tree.addFragment(std::move(fragment), true);
    decisionMark = tree.current != nullptr ? wholeSeconds(tree.current->fragment) : 0;
    front = wholeSeconds(inserted);
    if (tree.liveLeafCount() > static_cast<uint32_t>(nodeLimitInForce))
        tree.pruneLeaves(static_cast<uint32_t>(nodeLimitInForce));
}

void Summarizer::endOfStream() {
    if (!streamEnded && (cut == Cut::Shots || cut == Cut::Speech)) {
        if (cut == Cut::Speech)
            speechPieces.end();
        else
            pieces.end();
        insertPieces();
    }
    if (!streamEnded && tree.weights.byGains())
        tree.regrowToTheEnd(static_cast<uint32_t>(nodeLimitInForce));
    streamEnded = true;
}

bool Summarizer::canDecide() const {
    if (streamEnded && depth() == 0)
        return !lastSettled && tree.current != nullptr && tree.current->fragment != nullptr;
    return (depth() >= depthLimitInForce || streamEnded) && depth() >= 1;
}

bool Summarizer::finished() const {
    return streamEnded && depth() == 0 && !canDecide();
}

std::optional<Decision> Summarizer::decide(bool includeNext) {
    if (!canDecide())
        return std::nullopt;
    if (depth() == 0) {
        // The last fragment's choice is made, but no advance leaves its node:
        // settle it here so that the end of the video is not lost.
        lastSettled = true;
        return settle(tree.current->fragment, tree.current->included);
    }
    // Once the stream has ended every leaf is a whole summary, which the
    // per-level scores ranked with little regard for its final length: the
    // rest is settled towards the best one on its target length.
    if (streamEnded)
        tree.preferLeafOnTarget();
    tree.decideRoot();
    if (includeNext && tree.current != nullptr) {
        tree.current->included = true;
        tree.current->rescore(true, true, tree.weights.targetLength);
    }
    bool included = false;
    FrameBuffer* decided = tree.advanceRoot(included);
    if (decided == nullptr)
        return std::nullopt;
    return settle(decided, included);
}

Decision Summarizer::settle(FrameBuffer* fragment, bool included) {
    Decision decision;
    decision.number = fragment->number;
    decision.frames = fragment->count();
    decision.kept = included;
    decision.shot = fragment->shotSpan.known ? fragment->shotSpan.shot : -1;
    if (fragment->count() > 0) {
        decision.frameNumber = fragment->first().frameNumber;
        decision.start = fragment->first().frameTime;
        decision.last = fragment->last().frameTime;
    }
    if (included)
        for (const Frame& frame : fragment->frames)
            decision.signatures.push_back(pictureSignature(frame.descriptors));
    retireDecidedFragment(fragment, included);
    return decision;
}

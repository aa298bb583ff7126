#include "DecodingPass.h"

#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "SummaryTree.h"
#include "VideoReader.h"

#include <QMutexLocker>
#include <QThread>

#include <cstdio>
#include <cstring>

namespace {
constexpr const char* kDecodingStart = "\nDecoding: [%s input]";
constexpr const char* kTotalLength = "\n[DECODING]Total video length: %f";
constexpr int kIdleMilliseconds = 100;

bool takeChanged(SliderState* control) {
    return control != nullptr && control->changed.exchange(false);
}
} // namespace

DecodingPass::DecodingPass(const char* path, FrameBuffer* buffer, SharedControls& shared)
    : sleep([](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }), frameBuffer(buffer),
      controls(shared) {
    std::snprintf(inputPath, sizeof inputPath, "%s", path);
}

DecodingPass::~DecodingPass() {
    discardReadyFragment();
    delete tree;
}

void DecodingPass::start() {
    std::printf(kDecodingStart, inputPath);
    std::fflush(stdout);
    decoder = std::make_unique<FragmentDecoder>(inputPath, readerOptions);

    controls.seenSummaryMode = controls.summaryMode.load();
    controls.seenPlayMode = controls.playMode.load();
    controls.seenPauseMode = controls.pauseMode.load();

    segmentTimes[0] = 0.0;
    segmentTimeCount = 1;
    framesHandedOn = 0;
    frontTime = 0;
    decisionTime = 0;
    fragmentReady = false;
    endOfStream = false;

    double minutes = 0.0;
    if (decoder->reader->status == VideoReader::OK)
        minutes = decoder->reader->timestampToSeconds(decoder->reader->getVideoLength()) / 60.0;
    std::printf(kTotalLength, minutes);
    tree = new SummaryTree(controls.weights());
}

int DecodingPass::depth() const {
    return tree->depth();
}

int DecodingPass::playbackCount() const {
    QMutexLocker lock(frameBuffer->mutex);
    return frameBuffer->count;
}

void DecodingPass::updateTreeLimits() {
    const int depthPosition = controls.treeDepthPosition;
    const int nodesPosition = controls.treeNodesPosition;
    if (controls.automaticControl) {
        double fill = static_cast<double>(playbackCount()) / bufferTarget;
        if (!(fill < 1.0))
            fill = 1.0;
        depthLimit = static_cast<int32_t>((depthPosition - 20) * fill * fill + 20);
        nodeLimit = static_cast<int32_t>((nodesPosition - 100) * fill + 100);
    } else {
        depthLimit = depthPosition;
        nodeLimit = nodesPosition;
    }
}

void DecodingPass::updateTreeStrips() {
    if (controls.driver == nullptr)
        return;
    controls.driver->setTreeDepthStrip(20, 90, depthLimit, controls.treeDepthPosition, 0);
    controls.driver->setTreeNodesStrip(100, 5000, nodeLimit, controls.treeNodesPosition, 0);
}

void DecodingPass::dropSegmentTimesAfter(double seconds) {
    while (segmentTimeCount > 0 && segmentTimes[segmentTimeCount - 1] > seconds)
        --segmentTimeCount;
}

bool DecodingPass::detectSeek(double* target) {
    const bool modeChanged = controls.playMode != controls.seenPlayMode ||
                             controls.summaryMode != controls.seenSummaryMode ||
                             controls.pauseMode != controls.seenPauseMode;
    if (!modeChanged) {
        if (!takeChanged(controls.positionCtl))
            return false;
        *target = controls.positionSliderValue;
        dropSegmentTimesAfter(*target);
        return true;
    }
    *target = controls.positionSliderValue;
    dropSegmentTimesAfter(*target);
    controls.seenPlayMode = controls.playMode.load();
    controls.seenSummaryMode = controls.summaryMode.load();
    controls.seenPauseMode = controls.pauseMode.load();
    return true;
}

bool DecodingPass::takeWeightChanges() {
    // Every flag is tested and cleared, not only up to the first set one.
    bool any = false;
    any |= takeChanged(controls.targetLengthCtl);
    any |= takeChanged(controls.lengthWeightCtl);
    any |= takeChanged(controls.continuityWeightCtl);
    any |= takeChanged(controls.activityWeightCtl);
    any |= takeChanged(controls.redundancyWeightCtl);
    return any;
}

void DecodingPass::discardReadyFragment() {
    if (!fragmentReady || fragment == nullptr)
        return;
    fragment->deleteAllFrames();
    delete fragment;
    fragment = nullptr;
    fragmentReady = false;
}

void DecodingPass::resetTree() {
    tree->resetTree();
    frontTime = 0;
    lastSettled = false;
}

void DecodingPass::updateTimeline() {
    if (controls.driver == nullptr)
        return;
    controls.driver->setTimelineData(segmentTimes, segmentTimeCount, 0,
                                     controls.positionSliderMaximum, controls.positionValue,
                                     frontTime, decisionTime);
}

DecodingPass::Next DecodingPass::pass() {
    updateTreeLimits();
    updateTreeStrips();

    {
        QMutexLocker lock(frameBuffer->mutex);
        double target = 0.0;
        if (detectSeek(&target)) {
            seekTarget = target;
            controls.positionValue = static_cast<int32_t>(target);
            if (controls.driver != nullptr)
                controls.driver->setPositionSlider(controls.positionValue);
            resetTree();
            frameBuffer->deleteAllFrames();
            decoder->seekFrameWKey(target);
            updateTimeline();
            endOfStream = false;
            discardReadyFragment();
        } else if (controls.positionCtl == nullptr || !controls.positionCtl->dragging) {
            if (controls.driver != nullptr)
                controls.driver->setPositionSlider(controls.positionValue);
        }

        if (takeWeightChanges()) {
            // Wait until the user has stopped moving the sliders, then rebuild once.
            do {
                lock.unlock();
                sleep(kIdleMilliseconds);
                lock.relock();
            } while (takeWeightChanges() && !stopRequested);
            dropSegmentTimesAfter(controls.positionValue);
            frameBuffer->deleteAllFrames();
            decoder->seekFrameWKey(controls.positionValue);
            endOfStream = false;
            resetTree();
            discardReadyFragment();
            updateTimeline();
        }
    }
    std::fflush(stdout);

    updateTimeline();

    if (!fragmentReady && !endOfStream) {
        fragment = decoder->decodeFragment();
        fragmentReady = fragment != nullptr;
        endOfStream = fragment == nullptr;
    }

    if (controls.pauseMode)
        return Next::Sleep;
    if (controls.playMode)
        return playStep();
    return summaryStep();
}

void DecodingPass::handOn(FrameBuffer* source, bool always) {
    QMutexLocker lock(frameBuffer->mutex);
    const int n = source->count;
    for (int k = 0; k < n; ++k) {
        if (!always && !controls.playMode)
            continue;
        Frame* frame = source->getFrame();
        frame->frameNumber = framesHandedOn + k + 1;
        Frame* copy = frame->clone();
        if (!frameBuffer->addFrame(copy))
            delete copy;
        source->addFrame(frame);
    }
}

DecodingPass::Next DecodingPass::playStep() {
    if (!fragmentReady)
        return Next::Sleep;
    if (playbackCount() >= bufferTarget)
        return Next::Continue;
    const int n = fragment->count;
    handOn(fragment, true);
    std::fflush(stdout);
    framesHandedOn += n;
    fragment->deleteAllFrames();
    delete fragment;
    fragment = nullptr;
    fragmentReady = false;
    return Next::Continue;
}

void DecodingPass::appendSegmentTime(double seconds) {
    // A full table keeps the segments it has; the timeline shows no more marks.
    if (segmentTimeCount >= SEGMENT_TIMES_SIZE)
        return;
    segmentTimes[segmentTimeCount++] = seconds;
}

DecodingPass::Next DecodingPass::summaryStep() {
    rootIncluded = false;

    if (fragmentReady && depth() <= depthLimit && !endOfStream) {
        FrameBuffer* inserted = fragment;
        if (controls.junkSegmentFilter)
            tree->addFragmentFiltered(inserted);
        else
            tree->addFragment(inserted, true);
        const FrameBuffer* rootFragment = tree->current->fragment;
        decisionTime = rootFragment != nullptr && rootFragment->first != nullptr
                           ? static_cast<int32_t>(rootFragment->first->frameTime)
                           : 0;
        frontTime = static_cast<int32_t>(inserted->first->frameTime);
        fragment = nullptr;
        fragmentReady = false;
        if (tree->liveLeafCount() > static_cast<unsigned>(nodeLimit))
            tree->pruneLeaves(static_cast<uint32_t>(nodeLimit));
    }

    if (endOfStream && depth() == 0) {
        // The last fragment's choice is made but no advance leaves its node:
        // settle it here so the end of the video is not lost.
        if (!lastSettled && tree->current != nullptr && tree->current->fragment != nullptr &&
            playbackCount() < bufferTarget) {
            lastSettled = true;
            settle(tree->current->fragment, tree->current->included);
            return Next::Continue;
        }
        return Next::Sleep;
    }

    if (!((depth() >= depthLimit || endOfStream) && depth() >= 1 && playbackCount() < bufferTarget))
        return Next::Continue;

    // Once the stream has ended every leaf is a whole summary, which the
    // per-level scores ranked with little regard for its final length: the
    // rest is settled towards the best one on its target length.
    if (endOfStream)
        tree->preferLeafOnTarget();
    tree->decideRoot();
    if (playbackCount() == 0 && controls.avoidEmptyBuffer && tree->current != nullptr) {
        tree->current->included = true;
        tree->current->rescore(true, true, tree->weights);
    }

    bool included = false;
    FrameBuffer* decided = tree->advanceRoot(included);
    if (decided == nullptr)
        return Next::Continue;
    settle(decided, included);
    return Next::Continue;
}

void DecodingPass::settle(FrameBuffer* decided, bool included) {
    rootIncluded = included;
    int n = 0;
    {
        QMutexLocker lock(frameBuffer->mutex);
        n = decided->count;
    }
    std::fflush(stdout);

    if (rootIncluded && decided->first != nullptr)
        appendSegmentTime(decided->first->frameTime);

    handOn(decided, rootIncluded);
    std::fflush(stdout);
    framesHandedOn += n;

    retireDecidedFragment(decided, rootIncluded);
}

#include "HeadlessSummary.h"

#include "DecodingPass.h"
#include "FragmentDecoder.h"
#include "Frame.h"
#include "FrameBuffer.h"
#include "SharedControls.h"
#include "VideoReader.h"

#include <QMutexLocker>

#include <memory>

namespace {
constexpr int kPlaybackCapacity = 5000;

// Everything the window's controls would hold, as plain values.
struct HeadlessControls {
    SliderState targetLength;
    SliderState lengthWeight;
    SliderState continuityWeight;
    SliderState redundancyWeight;
    SliderState activityWeight;
    SliderState treeDepth;
    SliderState treeNodes;
    SharedControls shared;

    explicit HeadlessControls(const SummarySettings& s) {
        targetLength.value = s.target;
        lengthWeight.value = s.lengthWeight;
        continuityWeight.value = s.continuityWeight;
        redundancyWeight.value = s.redundancyWeight;
        activityWeight.value = s.activityWeight;
        treeDepth.value = s.depth;
        treeNodes.value = s.nodes;
        shared.targetLengthCtl = &targetLength;
        shared.lengthWeightCtl = &lengthWeight;
        shared.continuityWeightCtl = &continuityWeight;
        shared.redundancyWeightCtl = &redundancyWeight;
        shared.activityWeightCtl = &activityWeight;
        shared.treeDepthCtl = &treeDepth;
        shared.treeNodesCtl = &treeNodes;
        shared.treeDepthPosition = s.depth;
        shared.treeNodesPosition = s.nodes;
        shared.automaticControl = false;
        shared.avoidEmptyBuffer = false;
        shared.junkSegmentFilter = s.junkFilter;
        shared.summaryMode = true;
        shared.playMode = false;
        shared.pauseMode = false;
        shared.driver = nullptr;
    }
};

struct FrameDeleter {
    void operator()(Frame* f) const { delete f; }
};
} // namespace

HeadlessSummary::HeadlessSummary(std::string videoPath, const SummarySettings& s, double duration)
    : path(std::move(videoPath)), settings(s), frameDuration(duration) {}

bool HeadlessSummary::run(const KeptCallback& onKept, const ProgressCallback& onProgress) {
    kept.clear();
    decoded = 0;
    HeadlessControls controls(settings);
    FrameBuffer playback(kPlaybackCapacity);
    DecodingPass pass(path.c_str(), &playback, controls.shared);
    // Nothing here waits for a slider to settle.
    pass.sleep = [](int) {};
    pass.start();

    std::vector<std::unique_ptr<Frame, FrameDeleter>> owned;
    std::vector<Frame*> frames;
    for (;;) {
        const DecodingPass::Next next = pass.pass();

        // A pass hands on at most one decided fragment: what the buffer holds
        // now is that fragment, whole.
        owned.clear();
        frames.clear();
        {
            QMutexLocker lock(playback.mutex);
            while (playback.count > 0) {
                Frame* frame = playback.getFrame();
                owned.emplace_back(frame);
                frames.push_back(frame);
            }
        }
        if (!frames.empty()) {
            KeptFragment fragment;
            fragment.firstFrameNumber = static_cast<int64_t>(frames.front()->frameNumber);
            fragment.frames = static_cast<int>(frames.size());
            fragment.start = frames.front()->frameTime;
            fragment.end = frames.back()->frameTime + frameDuration;
            kept.push_back(fragment);
            if (onKept && !onKept(fragment, frames))
                return false;
        }

        if (pass.decoder && pass.decoder->reader)
            decoded = pass.decoder->reader->frameCount;
        if (onProgress && !onProgress(static_cast<double>(decoded) * frameDuration, decoded))
            return false;
        // In Summary mode a pass asks to sleep only once the stream has ended
        // and every level is decided.
        if (next == DecodingPass::Next::Sleep)
            return true;
    }
}

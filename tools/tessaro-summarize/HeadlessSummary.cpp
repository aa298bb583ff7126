#include "HeadlessSummary.h"

#include "DecodingPass.h"
#include "FragmentDecoder.h"
#include "Frame.h"
#include "FrameBuffer.h"
#include "Picture.h"
#include "SharedControls.h"
#include "SummaryTree.h"
#include "VideoReader.h"

#include <QMutexLocker>

#include <algorithm>
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

// Frees the pictures of a fragment the tree holds, keeping the descriptors
// that every later comparison reads. The frames stay in AVFRAME mode, so the
// pass's own switch to histogram mode after the decision finds nothing to do.
void releasePictures(FrameBuffer* fragment) {
    for (Frame* frame = fragment->first; frame != nullptr; frame = frame->next) {
        if (frame->mode != AVFRAME || frame->avFrame == nullptr)
            continue;
        if (!frame->histogramComputed)
            frame->computeHistogram();
        free_picture(frame->avFrame);
        frame->avFrame = nullptr;
    }
}

// Releases the pictures of every fragment the tree took since the last call.
class PictureReleaser {
public:
    void releaseNew(const SummaryTree& tree) {
        const int32_t listed = std::min(tree.frameBufferListPos, FRAME_BUFFER_LIST_SIZE);
        for (; released < listed; ++released)
            releasePictures(tree.frameBufferList[released]);
    }

private:
    // Past the list's end (some 16 hours at 25 fps) pictures stay until decided.
    int32_t released = 0;
};

// The pass's reader gathers the sound that plays with each picture, for the
// player's ears; nothing here listens (the summary video reads the sound
// itself), so the reader is told it has nowhere to put it, and the demuxer
// drops the audio packets unread.
void muteReader(VideoReader* reader) {
    if (reader == nullptr || reader->status != VideoReader::OK || reader->audioStream < 0)
        return;
    reader->audioSamples.reset();
    reader->pFormatCtx->streams[reader->audioStream]->discard = AVDISCARD_ALL;
}

struct FrameDeleter {
    void operator()(Frame* f) const { delete f; }
};
} // namespace

HeadlessSummary::HeadlessSummary(std::string videoPath, const SummarySettings& s, double duration,
                                 bool pictures)
    : path(std::move(videoPath)), settings(s), frameDuration(duration), keepPictures(pictures) {}

bool HeadlessSummary::run(const KeptCallback& onKept, const ProgressCallback& onProgress) {
    kept.clear();
    decoded = 0;
    HeadlessControls controls(settings);
    FrameBuffer playback(kPlaybackCapacity);
    DecodingPass pass(path.c_str(), &playback, controls.shared);
    // Nothing here waits for a slider to settle.
    pass.sleep = [](int) {};
    pass.start();
    if (pass.decoder)
        muteReader(pass.decoder->reader.get());

    std::vector<std::unique_ptr<Frame, FrameDeleter>> owned;
    std::vector<Frame*> frames;
    PictureReleaser releaser;
    for (;;) {
        const DecodingPass::Next next = pass.pass();
        if (!keepPictures && pass.tree != nullptr)
            releaser.releaseNew(*pass.tree);

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

#include "HeadlessSummary.h"

#include "DecodingPass.h"
#include "FragmentDecoder.h"
#include "Frame.h"
#include "FrameBuffer.h"
#include "HeadlessControls.h"
#include "Picture.h"
#include "SharedControls.h"
#include "SummaryTree.h"
#include "VideoReader.h"

#include <QMutexLocker>

#include <algorithm>
#include <memory>
#include <thread>

namespace {
constexpr int kPlaybackCapacity = 5000;
} // namespace

HeadlessSummary::HeadlessSummary(std::string videoPath, const SummarySettings& s)
    : path(std::move(videoPath)), settings(s) {}

bool HeadlessSummary::run(const KeptCallback& onKept, const ProgressCallback& onProgress) {
    kept.clear();
    decoded = 0;
    HeadlessControls controls(settings);
    FrameBuffer playback(kPlaybackCapacity);
    DecodingPass pass(path.c_str(), &playback, controls.shared);
    // Nothing here waits for a slider to settle.
    pass.sleep = [](int) {};
    // The pass's reader would gather the sound that plays with each picture,
    // for the player's ears; nothing here listens (the summary video reads
    // the sound itself). FFmpeg's own choice of decoder threads is one more
    // than the cores, which crowds out the threads working here.
    pass.readerOptions.audio = false;
    pass.readerOptions.decoderThreads =
        static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    pass.start();
    const double frameDuration = 1.0 / pass.decoder->reader->getFrameRate();
    // Only the descriptors are needed: no picture is held.
    pass.decoder->keepPictures = false;
    // The tree's work on one fragment overlaps the decoding of the next.
    pass.decoder->setReadAhead(true);

    std::vector<std::unique_ptr<Frame>> owned;
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

        decoded = pass.decoder->picturesDecoded();
        if (onProgress && !onProgress(static_cast<double>(decoded) * frameDuration, decoded))
            return false;
        // In Summary mode a pass asks to sleep only once the stream has ended
        // and every level is decided.
        if (next == DecodingPass::Next::Sleep)
            return true;
    }
}

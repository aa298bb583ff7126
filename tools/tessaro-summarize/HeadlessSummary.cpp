#include "HeadlessSummary.h"

#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "VideoReader.h"

#include <algorithm>
#include <memory>
#include <thread>

HeadlessSummary::HeadlessSummary(std::string videoPath, const SummarySettings& s)
    : path(std::move(videoPath)), settings(s) {}

bool HeadlessSummary::run(const KeptCallback& onKept, const ProgressCallback& onProgress) {
    kept.clear();
    decoded = 0;
    // Only the descriptors are needed: the sound stays unread, and FFmpeg's
    // own choice of decoder threads (one more than the cores) would crowd
    // out the threads working here.
    ReaderOptions options;
    options.audio = false;
    options.decoderThreads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    FragmentDecoder decoder(path.c_str(), options);
    decoder.keepPictures = false;
    // The tree's work on one fragment overlaps the decoding of the next.
    decoder.setReadAhead(true);
    const double frameDuration = 1.0 / decoder.reader->getFrameRate();

    Summarizer summarizer(settings);
    // Frames decided so far: kept fragments are numbered as the player
    // numbers the frames it plays, left-out ones counted too.
    int64_t framesDecided = 0;
    for (;;) {
        if (summarizer.wantsFragment()) {
            std::unique_ptr<FrameBuffer> fragment(decoder.decodeFragment());
            if (fragment)
                summarizer.addFragment(std::move(fragment));
            else
                summarizer.endOfStream();
        }
        if (summarizer.canDecide()) {
            const std::optional<Decision> decision = summarizer.decide();
            if (decision && decision->kept) {
                kept.push_back({framesDecided + decision->skipped + 1, decision->frames,
                                decision->start, decision->last + frameDuration, decision->shot});
                if (onKept && !onKept(kept.back(), *decision))
                    return false;
            }
            if (decision)
                framesDecided += decision->fragmentFrames;
        }

        decoded = decoder.picturesDecoded();
        if (onProgress && !onProgress(static_cast<double>(decoded) * frameDuration, decoded))
            return false;
        if (summarizer.finished())
            return true;
    }
}

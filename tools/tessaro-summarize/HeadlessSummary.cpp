#include "HeadlessSummary.h"

#include "FragmentDecoder.h"
#include "SummaryTurns.h"
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
    // The tree's work on one fragment overlaps the decoding of the next.
    decoder.setReadAhead(true);
    const double frameDuration = 1.0 / decoder.videoReader().getFrameRate();

    Summarizer summarizer(settings);
    SummaryTurns turns(decoder, summarizer);
    for (;;) {
        turns.offerFragment();
        // Kept fragments are numbered as the player numbers the frames it
        // plays, left-out ones counted too.
        const int64_t framesBefore = turns.framesDecided();
        const std::optional<Decision> decision = turns.takeDecision();
        if (decision && decision->kept) {
            kept.push_back({framesBefore + 1, decision->frames, decision->start,
                            decision->last + frameDuration});
            if (onKept && !onKept(kept.back(), *decision))
                return false;
        }

        decoded = decoder.picturesDecoded();
        if (onProgress && !onProgress(static_cast<double>(decoded) * frameDuration, decoded))
            return false;
        if (turns.finished())
            return true;
    }
}

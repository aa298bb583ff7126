#include "ReaderHarness.h"

#include "BytesAsFile.h"
#include "FragmentDecoder.h"
#include "Summarizer.h"

#include <cmath>
#include <memory>
#include <string>

namespace {

// The summary at small limits, as the player takes its turns: a fragment in,
// then a decision whenever one can be taken.
void summarise(Summarizer& summarizer, std::unique_ptr<FrameBuffer> fragment, bool junkFilter) {
    SummarySettings settings = summarizer.settings();
    settings.junkFilter = junkFilter;
    summarizer.setSettings(settings);
    summarizer.setLimits(4, 40);
    summarizer.addFragment(std::move(fragment));
    if (summarizer.canDecide())
        summarizer.decide();
}

ReaderRun run(const std::string& path) {
    ReaderRun run;
    FragmentDecoder decoder(path.c_str());
    VideoReader& reader = decoder.videoReader();
    run.opened = reader.status() == VideoReader::OK;
    if (!run.opened)
        return run;
    int width = 0, height = 0;
    reader.getVideoSize(&width, &height);
    if (int64_t{width} * height > 1024 * 1024)
        return run; // probed but not decoded: memory per input
    const double seconds = reader.timestampToSeconds(reader.getVideoLength());

    Summarizer summarizer; // the window's starting weights
    for (; run.fragments < 8; ++run.fragments) {
        std::unique_ptr<FrameBuffer> fragment = decoder.decodeFragment();
        if (fragment == nullptr)
            break;
        run.frames += fragment->count();
        summarise(summarizer, std::move(fragment), run.fragments % 2 == 0);
    }
    // A seek as the position slider makes one, then a fresh tree as after any
    // seek, ranked shot-aware with speech kept whole.
    decoder.seekFrameWKey(std::isfinite(seconds) && seconds > 0.0 ? seconds / 2.0 : 0.0);
    SummarySettings shotAware = summarizer.settings();
    shotAware.shotAware = true;
    shotAware.wholeSpeech = true;
    summarizer.setSettings(shotAware);
    summarizer.reset();
    for (; run.afterSeek < 3; ++run.afterSeek) {
        std::unique_ptr<FrameBuffer> fragment = decoder.decodeFragment();
        if (fragment == nullptr)
            break;
        summarise(summarizer, std::move(fragment), true);
    }
    return run;
}

} // namespace

ReaderRun runReaderHarness(const uint8_t* data, size_t size) {
    ReaderRun result;
    withBytesAsFile(data, size, [&](const std::string& path) { result = run(path); });
    return result;
}

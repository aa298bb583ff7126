#include "ReaderHarness.h"

#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "Summarizer.h"
#include "VideoReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {

// The bytes as an FFmpeg input: reads and seeks over the caller's buffer.
class MemoryInput {
public:
    MemoryInput(const uint8_t* data, size_t size) : data(data), size(size) {
        auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
        if (buffer == nullptr)
            return;
        io = avio_alloc_context(buffer, kBufferSize, 0, this, &MemoryInput::read, nullptr,
                                &MemoryInput::seek);
        if (io == nullptr)
            av_free(buffer);
    }
    ~MemoryInput() {
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;

    AVIOContext* io = nullptr;

private:
    static constexpr int kBufferSize = 4096;

    static int read(void* opaque, uint8_t* out, int wanted) {
        auto* self = static_cast<MemoryInput*>(opaque);
        const size_t left = self->size - self->position;
        if (left == 0)
            return AVERROR_EOF;
        const size_t n = std::min(left, static_cast<size_t>(wanted));
        std::memcpy(out, self->data + self->position, n);
        self->position += n;
        return static_cast<int>(n);
    }

    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<MemoryInput*>(opaque);
        if (whence & AVSEEK_SIZE)
            return static_cast<int64_t>(self->size);
        int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            base = static_cast<int64_t>(self->position);
            break;
        case SEEK_END:
            base = static_cast<int64_t>(self->size);
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (offset > static_cast<int64_t>(self->size) - base || offset < -base)
            return AVERROR(EINVAL);
        self->position = static_cast<size_t>(base + offset);
        return static_cast<int64_t>(self->position);
    }

    const uint8_t* data;
    size_t size;
    size_t position = 0;
};

// The summary at small limits, as the player takes its turns: a fragment in,
// then a decision whenever one can be taken; every other fragment through the
// junk filter.
class SmallSummary {
public:
    SmallSummary() { summarizer.setLimits(kDepthLimit, kNodeLimit); }

    void insert(FrameBuffer* fragment, bool filtered) {
        SummarySettings settings = summarizer.settings();
        settings.junkFilter = filtered;
        summarizer.setSettings(settings);
        summarizer.setLimits(kDepthLimit, kNodeLimit);
        summarizer.addFragment(std::unique_ptr<FrameBuffer>(fragment));
        if (summarizer.canDecide())
            summarizer.decide();
    }

    Summarizer summarizer;

private:
    static constexpr int kNodeLimit = 40;
    static constexpr int kDepthLimit = 4;
};

} // namespace

ReaderRun runReaderHarness(const uint8_t* data, size_t size) {
    ReaderRun run;
    MemoryInput input(data, size);
    if (input.io == nullptr)
        return run;
    auto reader = std::make_unique<VideoReader>(input.io, "memory");
    if (reader->status != VideoReader::OK)
        return run;
    run.opened = true;

    reader->getVideoSize(&run.width, &run.height);
    const double seconds = reader->timestampToSeconds(reader->getVideoLength());
    if (static_cast<int64_t>(run.width) * run.height > kHarnessMaxPixels) {
        run.tooLarge = true;
        return run;
    }

    FragmentDecoder decoder(std::move(reader));
    SmallSummary summary; // the window's starting weights
    for (; run.fragments < kHarnessFragments; ++run.fragments) {
        FrameBuffer* fragment = decoder.decodeFragment();
        if (fragment == nullptr)
            break;
        run.frames += fragment->count;
        summary.insert(fragment, run.fragments % 2 == 0);
    }

    // A seek as the position slider makes one, then a fresh tree as after
    // any seek.
    const double middle = std::isfinite(seconds) && seconds > 0.0 ? seconds / 2.0 : 0.0;
    decoder.seekFrameWKey(middle);
    summary.summarizer.reset();
    for (; run.afterSeek < kHarnessFragmentsAfterSeek; ++run.afterSeek) {
        FrameBuffer* fragment = decoder.decodeFragment();
        if (fragment == nullptr)
            break;
        summary.insert(fragment, true);
    }
    return run;
}

#include "ReaderHarness.h"

#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "HeadlessControls.h"
#include "SummaryTree.h"
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

// The decoding pass's summary steps at small limits: insert, prune, and once
// deep enough decide and advance the root, retiring the fragment left
// behind as the pass does.
class SmallSummary {
public:
    explicit SmallSummary(const SummaryWeights& weights) : tree(weights) {}

    void insert(FrameBuffer* fragment, bool filtered) {
        if (filtered)
            tree.addFragmentFiltered(fragment);
        else
            tree.addFragment(fragment, true);
        if (tree.liveLeafCount() > kNodeLimit)
            tree.pruneLeaves(kNodeLimit);
        if (tree.depth() < kDepthLimit)
            return;
        tree.decideRoot();
        bool included = false;
        FrameBuffer* decided = tree.advanceRoot(included);
        if (decided == nullptr)
            return;
        retireDecidedFragment(decided, included);
    }

    SummaryTree tree;

private:
    static constexpr uint32_t kNodeLimit = 40;
    static constexpr int32_t kDepthLimit = 4;
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
    const HeadlessControls controls; // the window's starting weights
    SmallSummary summary(controls.shared.weights());
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
    summary.tree.resetTree();
    for (; run.afterSeek < kHarnessFragmentsAfterSeek; ++run.afterSeek) {
        FrameBuffer* fragment = decoder.decodeFragment();
        if (fragment == nullptr)
            break;
        summary.insert(fragment, true);
    }
    return run;
}

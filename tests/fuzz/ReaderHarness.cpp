#include "ReaderHarness.h"

#include "FragmentDecoder.h"
#include "Summarizer.h"

#include <cmath>
#include <memory>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Bounded work per input.
constexpr int kFragments = 8;
constexpr int kFragmentsAfterSeek = 3;
// Larger pictures are probed but not decoded: memory per input.
constexpr int64_t kMaxPixels = 1024 * 1024;

// The reader opens files by name: the bytes become a file that lives in memory.
class MemoryFile {
public:
    MemoryFile(const uint8_t* data, size_t size) : fd(memfd_create("reader-input", MFD_CLOEXEC)) {
        for (size_t done = 0; fd >= 0 && done < size;) {
            const ssize_t n = write(fd, data + done, size - done);
            if (n <= 0) {
                close(fd);
                fd = -1;
            }
            done += n > 0 ? static_cast<size_t>(n) : 0;
        }
    }
    ~MemoryFile() {
        if (fd >= 0)
            close(fd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::string path() const { return fd >= 0 ? "/proc/self/fd/" + std::to_string(fd) : ""; }

private:
    int fd;
};

// The summary at small limits, as the player takes its turns: a fragment in,
// then a decision whenever one can be taken.
void summarise(Summarizer& summarizer, FrameBuffer* fragment, bool junkFilter) {
    SummarySettings settings = summarizer.settings();
    settings.junkFilter = junkFilter;
    summarizer.setSettings(settings);
    summarizer.setLimits(4, 40);
    summarizer.addFragment(std::unique_ptr<FrameBuffer>(fragment));
    if (summarizer.canDecide())
        summarizer.decide();
}

} // namespace

ReaderRun runReaderHarness(const uint8_t* data, size_t size) {
    ReaderRun run;
    const MemoryFile file(data, size);
    if (file.path().empty())
        return run;
    FragmentDecoder decoder(file.path().c_str());
    VideoReader& reader = *decoder.reader;
    if (reader.status != VideoReader::OK)
        return run;
    run.opened = true;

    int width = 0;
    int height = 0;
    reader.getVideoSize(&width, &height);
    if (static_cast<int64_t>(width) * height > kMaxPixels)
        return run;
    const double seconds = reader.timestampToSeconds(reader.getVideoLength());

    Summarizer summarizer; // the window's starting weights
    for (; run.fragments < kFragments; ++run.fragments) {
        FrameBuffer* fragment = decoder.decodeFragment();
        if (fragment == nullptr)
            break;
        run.frames += fragment->count;
        summarise(summarizer, fragment, run.fragments % 2 == 0);
    }

    // A seek as the position slider makes one, then a fresh tree as after any seek.
    decoder.seekFrameWKey(std::isfinite(seconds) && seconds > 0.0 ? seconds / 2.0 : 0.0);
    summarizer.reset();
    for (; run.afterSeek < kFragmentsAfterSeek; ++run.afterSeek) {
        FrameBuffer* fragment = decoder.decodeFragment();
        if (fragment == nullptr)
            break;
        summarise(summarizer, fragment, true);
    }
    return run;
}

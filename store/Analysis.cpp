#include "Analysis.h"

#include "StoredFragments.h"

#include <utility>

Analysis::Analysis(const std::string& path, const ReaderOptions& options,
                   const StoreConfig& config) {
    store = DescriptorStore::open(config, &openNotice);
    const VideoKey key = store ? videoKey(path, options) : VideoKey{};
    if (key.valid()) {
        const std::optional<StoredEntry> entry = store->find(key);
        if (entry && entry->complete)
            source = StoredFragments::open(*store, *entry);
    }
    if (source)
        return;
    auto decoding = std::make_unique<FragmentDecoder>(path.c_str(), options);
    if (key.valid() && decoding->videoReader().status() == VideoReader::OK) {
        recorder = std::make_unique<AnalysisRecorder>(*store, key, decoding->frameRate());
        decoding->setTap(recorder.get());
    }
    // The summary's work on one fragment overlaps the decoding of the next.
    decoding->setReadAhead(true);
    decoder = decoding.get();
    source = std::move(decoding);
}

Analysis::~Analysis() {
    // The decoder's reading thread shows its pictures to the recorder.
    source.reset();
}

std::string Analysis::takeNotice() {
    if (!openNotice.empty())
        return std::exchange(openNotice, {});
    return store ? store->takeNotice() : std::string();
}

#include "Analysis.h"

#include "Glance.h"
#include "ReadAheadFragments.h"
#include "StoredFragments.h"

#include <algorithm>
#include <thread>
#include <utility>

ReaderOptions storedAnalysisOptions() {
    // Only the descriptors are needed: the sound stays unread, and FFmpeg's
    // own choice of decoder threads (one more than the cores) would crowd
    // out the threads working here.
    ReaderOptions options;
    options.audio = false;
    options.decoderThreads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return options;
}

Analysis::Analysis(const std::string& path, const ReaderOptions& options,
                   const AnalysisSources& sources) {
    std::string notice;
    store = DescriptorStore::open(sources.store, &notice);
    notices.push_back(std::move(notice));
    ReaderOptions keyed = options;
    if (sources.keyThreads > 0)
        keyed.decoderThreads = sources.keyThreads;
    if (store || sources.keepPortable || !sources.descriptorFiles.empty())
        key = videoKey(path, keyed);
    portableKey = portableAnalysis(options);
    if (store && key.valid()) {
        entry = store->find(key);
        if (entry && entry->complete)
            stored = StoredFragments::open(*store, *entry);
        from = Origin::Store;
    }
    if (!stored && key.valid() && !sources.descriptorFiles.empty()) {
        notice.clear();
        stored = findDescriptorFile(sources.descriptorFiles, key, portableKey, &notice,
                                    sources.keepPortable ? &fromFile : nullptr);
        notices.push_back(std::move(notice));
        from = Origin::DescriptorFile;
    }
    if (stored) {
        // Reading them back overlaps the summary's work on the ones before.
        source = std::make_unique<ReadAheadFragments>(*stored);
        return;
    }
    from = Origin::Decoded;
    if (sources.keyFramesFirst && store && key.valid() && !store->findGlance(key)) {
        const auto carryOn = [stop = options.stop] { return stop == nullptr || !*stop; };
        if (const std::optional<Glance> glance = glanceAt(path, carryOn))
            store->putGlance(key, packGlance(*glance));
    }
    const bool record = key.valid() && (store || sources.keepPortable);
    if (std::unique_ptr<RangedDecoder> ranges =
            sources.ranges > 1
                ? RangedDecoder::open(path, options, sources.ranges, sources.stretchFrames,
                                      sources.rangesWherePaying)
                : nullptr) {
        if (record) {
            recorder = std::make_unique<AnalysisRecorder>(store.get(), key, ranges->frameRate(),
                                                          sources.keepPortable);
            ranges->setTap(recorder.get());
        }
        ranged = ranges.get();
        source = std::move(ranges);
        return;
    }
    ReaderOptions onePass = options;
    if (sources.onePassThreads > 0)
        onePass.decoderThreads = sources.onePassThreads;
    auto decoding = std::make_unique<FragmentDecoder>(path.c_str(), onePass);
    if (record && decoding->videoReader().status() == VideoReader::OK) {
        recorder = std::make_unique<AnalysisRecorder>(store.get(), key, decoding->frameRate(),
                                                      sources.keepPortable);
        decoding->setTap(recorder.get());
    }
    // The summary's work on one fragment overlaps the decoding of the next.
    decoding->setReadAhead(true);
    decoder = decoding.get();
    source = std::move(decoding);
}

Analysis::~Analysis() {
    // The decoder's reading thread shows its pictures to the recorder; the
    // read-ahead thread reads the stored fragments.
    source.reset();
}

bool Analysis::portable(PortableAnalysis* analysis) {
    analysis->content = key.content;
    analysis->analysis = portableKey;
    analysis->frameRate = source->frameRate();
    switch (from) {
    case Origin::Store:
        analysis->frames = entry->frames;
        return store->readChunks(*entry, &analysis->chunks, true);
    case Origin::DescriptorFile:
        *analysis = fromFile;
        return !analysis->chunks.empty();
    case Origin::Decoded:
        break;
    }
    return recorder && recorder->takeChunks(&analysis->chunks, &analysis->frames);
}

std::string Analysis::takeNotice() {
    if (store)
        notices.push_back(store->takeNotice());
    if (decoder)
        notices.push_back(decoder->takeSoundNotice());
    if (ranged)
        notices.push_back(ranged->takeSoundNotice());
    for (std::string& notice : notices)
        if (!notice.empty())
            return std::exchange(notice, {});
    return {};
}

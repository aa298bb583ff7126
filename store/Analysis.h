#pragma once

// The fragments of a video from its start, for a summary: read back from the
// store when a whole analysis of the video is there, else from a descriptor
// file that holds one, else decoded (with reading ahead) and kept in the
// store as they come. Either way the fragments are the same, and so are the
// decisions made on them.

#include "AnalysisRecorder.h"
#include "DescriptorFile.h"
#include "DescriptorStore.h"
#include "FragmentDecoder.h"
#include "RangedDecoder.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where an analysis may be found instead of decoding, and what to keep.
struct AnalysisSources {
    StoreConfig store = StoreConfig::off();
    // Tried in order when the store has no whole analysis (see DescriptorFile).
    std::vector<std::string> descriptorFiles;
    // The decoder thread count that the store's key names, when the decoding
    // runs on fewer threads than a lone analysis would (0: the decoder's own).
    int keyThreads = 0;
    // Keep what a descriptor file needs (see portable()).
    bool keepPortable = false;
    // Before decoding, a glance at the key frames kept in the store too
    // (see Glance), unless it holds one.
    bool keyFramesFirst = false;
    // Ranges of the video decoded side by side, for a video that allows it
    // (see RangedDecoder): the same analysis, sooner. 1: one pass. The
    // reader options are then each range's; a video that cannot be split
    // is read in one pass with onePassThreads decoder threads (0: the
    // options').
    int ranges = 1;
    int onePassThreads = 0;
    // Ranges only for a video they pay for (see planStretches).
    bool rangesWherePaying = false;
    int64_t stretchFrames = RangedDecoder::defaultStretchFrames;

    static AnalysisSources storeOnly(StoreConfig config) {
        AnalysisSources sources;
        sources.store = std::move(config);
        return sources;
    }
};

// The reader options that the store's key names for an analysis on this
// machine, whoever runs it: pictures only, a decoder thread per core.
ReaderOptions storedAnalysisOptions();

class Analysis {
public:
    enum class Origin { Decoded, Store, DescriptorFile };

    // options are the decoding reader's, and part of the key. With
    // config.enabled false the store is not opened.
    Analysis(const std::string& path, const ReaderOptions& options, const StoreConfig& config)
        : Analysis(path, options, AnalysisSources::storeOnly(config)) {}
    Analysis(const std::string& path, const ReaderOptions& options, const AnalysisSources& sources);
    ~Analysis();
    Analysis(const Analysis&) = delete;
    Analysis& operator=(const Analysis&) = delete;

    FragmentSource& fragments() { return *source; }
    Origin origin() const { return from; }
    // The fragments come from the store or a file, without decoding.
    bool fromStore() const { return from != Origin::Decoded; }
    // Decoding in one pass only: the decoder and its reader.
    FragmentDecoder* decoding() { return decoder; }
    // Decoding in ranges side by side only.
    RangedDecoder* decodingRanges() { return ranged; }
    // Once the fragments have run out, with keepPortable: the whole analysis
    // as a descriptor file holds it; false when there is none (the video
    // cannot be read, or its decoding jumped).
    bool portable(PortableAnalysis* analysis);
    // What went wrong with the store or a descriptor file, one notice a call
    // (empty when nothing more did).
    std::string takeNotice();

private:
    std::unique_ptr<DescriptorStore> store;
    std::optional<StoredEntry> entry;
    std::unique_ptr<AnalysisRecorder> recorder;
    // Stored fragments, which source reads ahead of the summary.
    std::unique_ptr<FragmentSource> stored;
    std::unique_ptr<FragmentSource> source;
    FragmentDecoder* decoder = nullptr;
    RangedDecoder* ranged = nullptr;
    Origin from = Origin::Decoded;
    VideoKey key;
    std::string portableKey;
    PortableAnalysis fromFile;
    std::vector<std::string> notices;
};

#pragma once

// The fragments of a video from its start, for a summary: read back from the
// store when a whole analysis of the video is there, else decoded (with
// reading ahead) and kept in the store as they come. Either way the
// fragments are the same, and so are the decisions made on them.

#include "AnalysisRecorder.h"
#include "DescriptorStore.h"
#include "FragmentDecoder.h"

#include <memory>
#include <string>

class Analysis {
public:
    // options are the decoding reader's, and part of the key. With
    // config.enabled false the store is not opened.
    Analysis(const std::string& path, const ReaderOptions& options, const StoreConfig& config);
    ~Analysis();
    Analysis(const Analysis&) = delete;
    Analysis& operator=(const Analysis&) = delete;

    FragmentSource& fragments() { return *source; }
    // The fragments come from the store, without decoding.
    bool fromStore() const { return decoder == nullptr; }
    // Decoding only: the decoder and its reader.
    FragmentDecoder* decoding() { return decoder; }
    // What went wrong with the store, once (empty when nothing did).
    std::string takeNotice();

private:
    std::unique_ptr<DescriptorStore> store;
    std::unique_ptr<AnalysisRecorder> recorder;
    std::unique_ptr<FragmentSource> source;
    FragmentDecoder* decoder = nullptr;
    std::string openNotice;
};

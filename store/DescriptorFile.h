#pragma once

// A video's analysis as one file that travels with the video (VIDEO.tessaro),
// so that a machine that analysed a library hands every other machine its
// summaries without decoding. It holds what a complete store entry holds: the
// chunks of frames (see FrameChunk) and their thumbnails, under the video's
// content key and the portable part of the analysis key.
//
// Layout, numbers little-endian:
//   8 bytes  magic "\x89TSR\r\n\x1a\n"
//   4 bytes  format version (2)
//   8 bytes  FNV-1a 64 of every byte after this field
//   varint-sized text: content key; varint-sized text: portable analysis key
//   8 bytes  frame rate (IEEE double); varint frames; varint chunk count
//   per chunk: varint first frame, varint frames, varint-sized descriptors,
//   varint-sized thumbnails (see packThumbnails), varint-sized sound (see
//   SoundChunk)

#include "DescriptorStore.h"
#include "StoredFragments.h"

#include <memory>
#include <string>
#include <vector>

struct PortableAnalysis {
    std::string content;  // VideoKey::content
    std::string analysis; // portableAnalysis() of the options it was made with
    double frameRate = 0.0;
    int64_t frames = 0;
    std::vector<StoredChunk> chunks; // in order, thumbnails included
};

constexpr const char* kDescriptorFileSuffix = ".tessaro";

std::string encodeDescriptorFile(const PortableAnalysis& analysis);

enum class DescriptorFileCheck { Ok, Damaged, OtherVersion };
// Reads the bytes of a descriptor file back; the checksum and the chunks'
// order are checked, not the chunks' own contents (see StoredFragments).
DescriptorFileCheck decodeDescriptorFile(const std::string& bytes, PortableAnalysis* analysis);

// The analysis of the video with this key in the first of the candidate
// files that holds one; null when none does. A candidate that exists but is
// damaged, of another version, or of other content or another analysis is
// passed over, and the first such is named in *notice. What the player and
// the tool both call, with the file beside the video first.
std::unique_ptr<StoredFragments> findDescriptorFile(const std::vector<std::string>& candidates,
                                                    const VideoKey& key,
                                                    const std::string& portableKey,
                                                    std::string* notice,
                                                    PortableAnalysis* found = nullptr);

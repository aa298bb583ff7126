#pragma once

// What an analysis is stored under: the file's content, not its path (its
// size and a digest of blocks sampled along it, so a moved or renamed file
// is found again and a changed one is not), and everything else that fixes
// the frames an analysis makes of it.

#include "VideoReader.h"

#include <string>

struct VideoKey {
    std::string content;  // size and digest of the file's bytes
    std::string analysis; // reader options, fragment size, encodings, FFmpeg's versions

    bool valid() const { return !content.empty(); }
};

// The key of the file at path analysed with options; content is empty when
// the file cannot be read.
VideoKey videoKey(const std::string& path, const ReaderOptions& options);

// What fixes the frames besides the decoder's thread count, which FFmpeg 5.1
// does not let change a picture or its time: an analysis travels between
// machines with other core counts under this (see DescriptorFile).
std::string portableAnalysis(const ReaderOptions& options);

#pragma once

// One output file: streams made from encoders, their packets interleaved
// into the container, the index written at the end. Its failures are told
// as the summary writer, its one user, words them.

#include "AVPointers.h"

#include <memory>
#include <string>

class Muxer {
public:
    // Prepares a file of the named container format; nothing is written yet.
    bool create(const std::string& path, const char* formatName, std::string* error);
    // The container keeps codec headers apart: encoders must be told.
    bool wantsGlobalHeader() const;
    // A stream carrying what the encoder makes; null on failure.
    AVStream* addStream(const AVCodecContext* encoder);
    // Opens the file and writes the header, with the container's options.
    bool start(const char* options, std::string* error);
    // Writes a packet made in the given time base into the stream.
    bool write(AVPacket* packet, AVRational from, const AVStream* stream, std::string* error);
    // Writes the index and closes the file.
    bool finish(std::string* error);

private:
    struct Closer {
        void operator()(AVFormatContext* context) const;
    };
    std::unique_ptr<AVFormatContext, Closer> output;
    std::string path;
};

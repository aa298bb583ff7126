#pragma once

// How an analysis shares the cores among ranges of the video decoded side by
// side (RangedDecoder), and where the ranges begin: at the key frames of the
// container's index.

#include <cstdint>
#include <string>
#include <vector>

// Ranges decoded side by side, and the decoder threads of each.
struct RangePolicy {
    int ranges = 1;
    int decoderThreads = 1;
};
// For an analysis of `threads` threads in all (the cores, or a cap on
// them): a range of one decoder thread for each. Frame threads wait on each
// other's pictures, and the analysis' own work waits for theirs; ranges of
// one thread do neither, and on two cores they already beat one pass of two
// threads on footage that decodes fast (see docs/benchmarks.md).
RangePolicy rangePolicy(int threads);

// A stretch of the video from one key frame to the next stretch's. Its
// pictures are the ones a decoder started at its key frame puts out from
// the key frame's own picture on (known by its packet's place in the file),
// up to the next stretch's key picture. Stretches start only at key frames
// a decoder can start afresh from, and put out there what one pass does:
// an IDR picture for H.264 and HEVC, and none of an open group, whose
// leading pictures follow the key frame in the file but show before it
// (started at such a key frame, FFmpeg's H.264 decoder may leave out a
// picture of the group at the end of the file).
struct Stretch {
    int64_t seekTs = 0;   // the timestamp a seek to the key frame takes
    int64_t keyPos = 0;   // where its packet lies in the file
    // Its packets by the index, when the index lists every packet; -1 when
    // it lists only key frames.
    int64_t packets = -1;
};

// The stretches of a video file, of about framesPerStretch frames each
// (at least one group of pictures); empty when the file is better read in
// one pass: it cannot be opened, has no index or one that tells its groups
// of pictures badly (timestamps that go back, a frame rate that varies,
// entries beyond the file's end: a file cut short), or one stretch only
// (no key frame to start afresh from).
// With wherePaying, also empty unless ranges pay for the video: its pictures
// take few bits (screen recordings, slides, animation), so that decoding is
// cheap and the analysis' own work on each picture counts; one pass of frame
// threads does better on costly pictures (grainy camera footage).
std::vector<Stretch> planStretches(const std::string& path, int64_t framesPerStretch,
                                   bool wherePaying = false);

#pragma once

// The pictures of the kept fragments, read from the video a second time. The
// summary itself needs only each frame's descriptors; holding the pictures of
// every fragment still undecided (the tree's depth of them: gigabytes at
// 1080p) just to write the kept ones would make memory grow with the picture
// size. Fragments are asked for in the order the summary keeps them, so one
// reader goes forward through the video, jumping over long left-out stretches.

#include "SegmentList.h"
#include "SummaryVideoWriter.h"
#include "VideoReader.h"

#include <memory>
#include <string>
#include <vector>

class KeptPictures {
public:
    explicit KeptPictures(std::string path);
    ~KeptPictures();
    KeptPictures(const KeptPictures&) = delete;
    KeptPictures& operator=(const KeptPictures&) = delete;

    // The fragment's pictures (planar YUV 4:2:0 at the video size), with
    // their times: `fragment.frames` of them from the one at `fragment.start`,
    // exactly as the summary's own reader decoded them. They stay valid until
    // the next call. False when the video does not give them again.
    bool read(const KeptFragment& fragment, std::vector<SummaryVideoWriter::TimedPicture>* pictures,
              std::string* error);

private:
    bool open(std::string* error);
    void release();
    bool readStraight(const KeptFragment& fragment,
                      std::vector<SummaryVideoWriter::TimedPicture>* pictures, std::string* error);
    // Decodes the next picture; false at the end.
    bool next(AVFrame** picture, double* time);

    std::string path;
    std::unique_ptr<VideoReader> reader;
    std::vector<AVFrame*> held; // the pictures last handed out, owned
    // Time of the last picture decoded, and whether any was.
    double lastTime = 0.0;
    bool started = false;
    // Jumping failed once: from then on the video is only read straight on.
    bool straightOnly = false;
};

#pragma once

// The pictures to play or to write, read from the video with a reader of
// their own: straight on (the player's Play mode), or the pictures of a
// decided fragment again (the summary holds only descriptors). A kept
// fragment is found by the time of its first frame: the reader jumps to the
// key frame at or before it when that saves decoding, else reads straight
// on, and every picture is checked against the fragment's descriptors, so a
// jump that lands where pictures lack their references (or a stream whose
// times cannot be trusted after a jump) is noticed and the fragment read
// again from further back.

#include "Picture.h"
#include "Summarizer.h"
#include "VideoReader.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class PlaybackReader {
public:
    // With options.audio, the file's sound is opened (and its packets
    // dropped: the player takes its sound by time, with a reader of its
    // own), so that a file whose sound cannot be decoded is told:
    // soundRefused. Its pictures are read all the same.
    PlaybackReader(std::string path, const ReaderOptions& options = {});
    ~PlaybackReader();
    PlaybackReader(const PlaybackReader&) = delete;
    PlaybackReader& operator=(const PlaybackReader&) = delete;

    // False when the video cannot be opened.
    bool open();

    // The fragment's pictures, appended to frames at the video's size with
    // their times and the reader's frame numbers. False (with nothing
    // appended) when the video does not give them again.
    bool read(const Decision& fragment, std::vector<PictureFrame>& frames);
    // The same pictures handed over one at a time, each as soon as it is
    // known to be the one described, so that none is held here: a writer
    // keeps at most one of them instead of the whole fragment. When a later
    // picture proves the read wrong and the fragment is read again, those
    // already taken are not given again. take returns false to stop; false
    // when stopped or when the video does not give every picture.
    using PictureTaker = std::function<bool(PictureFrame&&)>;
    bool read(const Decision& fragment, const PictureTaker& take);
    // Up to count pictures from where the reader stands; how many came.
    int readNext(int count, std::vector<PictureFrame>& frames);
    // The file's sound could not be decoded: it is read without it.
    bool soundRefused() const { return refused; }
    // Positions as VideoReader::seekFrameWKey.
    bool seekFrameWKey(double seconds);

    VideoReader* videoReader() { return reader.get(); }

private:
    // The next picture; false at the end.
    bool next(PictureFrame* frame);
    // The next picture as the reader holds it (until the next decode), and
    // its time; false at the end. Not copied: for pictures passed over.
    bool decodeNext(AVFrame** picture, double* seconds);
    // A copy of the picture decodeNext gave, placed.
    PictureFrame placed(const AVFrame* picture, double seconds) const;
    bool jumpTo(double seconds);
    // Reads the fragment from where the reader stands (just after a jump,
    // or straight on), handing over its pictures from number *taken on.
    enum class Outcome { Read, NotAsDescribed, Stopped };
    Outcome readFrom(const Decision& fragment, bool afterJump, int* taken,
                     const PictureTaker& take);
    bool jumpSavesDecoding(double start) const;

    std::string path;
    ReaderOptions options;
    std::unique_ptr<VideoReader> reader;
    int width = 0;
    int height = 0;
    // Time of the last picture decoded, when one was since the last jump.
    double lastTime = 0.0;
    bool started = false;
    bool refused = false;
};

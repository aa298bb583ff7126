#pragma once

// What every analysis does with a picture it decodes and with the sound
// beside it, whether it reads the video in one pass (FragmentDecoder) or in
// ranges side by side (RangedDecoder): the same frames either way.

#include "BoundedQueue.h"
#include "FragmentSource.h"
#include "FrameSound.h"
#include "Picture.h"
#include "SoundAnalysis.h"
#include "VideoReader.h"

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// A picture the reader decoded, described: the frame without its sound, and
// the packed copy it was described from (what a tap is shown).
struct DescribedPicture {
    Frame frame;
    Picture picture;
};
DescribedPicture describePicture(VideoReader& reader, const AVFrame* decoded);

// The body of a thread that reads ahead: queues what next gives while the
// queue has room, until next gives none (queued as the end) or the queue is
// closed. What next throws ends it too, kept in *failure before the end is
// queued, for the caller to meet where the video stops for it.
void readAheadInto(BoundedQueue<std::optional<Frame>>& queue,
                   const std::function<std::optional<Frame>()>& next, std::exception_ptr* failure);

// The video's sound, analysed in order as the frames come (see
// SoundAnalysis), and what went wrong with it.
class FrameHearing {
public:
    // Opens the sound from the file's start; without one, frames stay silent.
    void open(const std::string& path);
    // Analyses the sound up to the end of the frame, shows the new units to
    // tap (when not null) and gives the frame what it says.
    void hear(Frame* frame, double frameRate, FrameTap* tap);
    // The frames now run on from about this time.
    void restartAt(double seconds);
    // The pictures have ended with a frame at lastFrameTime.
    void picturesEnded(double lastFrameTime);
    // What went wrong with the sound, once; empty when nothing did. From any thread.
    std::string takeNotice();

private:
    void tell(std::string notice);

    std::string fileName;
    std::unique_ptr<SoundAnalysis> sound; // null without a sound to analyse
    FrameSounds sounds;
    std::mutex noticeLock;
    std::string notice;
    bool noticeGiven = false;
};

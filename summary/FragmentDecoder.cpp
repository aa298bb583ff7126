#include "FragmentDecoder.h"

#include "Picture.h"

#include <exception>
#include <utility>

namespace {
// The frame keeps its descriptors and stays in AVFRAME mode, without a picture.
void releasePicture(Frame* frame) {
    free_picture(frame->avFrame);
    frame->avFrame = nullptr;
}

// Enough to cover the caller's work between two fragments: more would only
// hold more of the decoder's pictures.
constexpr size_t kReadAheadFrames = 8;
} // namespace

FragmentDecoder::FragmentDecoder(const char* path, const ReaderOptions& options)
    : reader(std::make_unique<VideoReader>(path, options)) {}

FragmentDecoder::~FragmentDecoder() {
    stopReadAhead();
    dropQueuedFrames();
}

Frame* FragmentDecoder::readFrame(int width, int height) {
    AVFrame* picture = nullptr;
    int16_t* samples = nullptr;
    int value = 0;
    int count = 0;
    if (!reader->getNextFrame(&picture, &samples, &value, &count))
        return nullptr;
    pictures.fetch_add(1, std::memory_order_relaxed);
    // A stream that declares no size takes it from its first picture.
    if (width <= 0 || height <= 0)
        reader->getVideoSize(&width, &height);
    return pictureFrame(*reader, picture, width, height).release();
}

std::unique_ptr<Frame> FragmentDecoder::pictureFrame(VideoReader& reader, const AVFrame* picture,
                                                     int width, int height) {
    auto frame = std::make_unique<Frame>();
    frame->width = width;
    frame->height = height;
    // The reader reuses its picture for the next decode.
    frame->setAVFrame(own_picture(picture, width, height));
    frame->frameNumber =
        static_cast<double>(static_cast<uint32_t>(reader.timestampToFrame(picture->pts)));
    frame->frameTime = reader.timestampToSeconds(picture->pts);
    return frame;
}

Frame* FragmentDecoder::nextFrame(int width, int height) {
    if (!worker.joinable()) {
        // Frames read ahead before reading ahead was turned off come first.
        if (queued.empty())
            return readFrame(width, height);
        Frame* frame = queued.front();
        queued.pop_front();
        return frame;
    }
    std::unique_lock lock(mutex);
    wake.wait(lock, [this] { return !queued.empty() || ended; });
    if (queued.empty()) {
        // What stopped the other thread stops the caller, as if it had read itself.
        if (failure)
            std::rethrow_exception(std::exchange(failure, nullptr));
        return nullptr;
    }
    Frame* frame = queued.front();
    queued.pop_front();
    lock.unlock();
    wake.notify_all();
    return frame;
}

FrameBuffer* FragmentDecoder::decodeFragment() {
    fragment = new FrameBuffer(fragmentCapacity);
    // Read ahead, the reader is the other thread's: its frames ask for the
    // size themselves.
    int width = 0;
    int height = 0;
    if (!worker.joinable())
        reader->getVideoSize(&width, &height);

    bool atEnd = false;
    Frame* previous = nullptr;
    while (fragment->count < fragmentCapacity) {
        Frame* frame = nextFrame(width, height);
        if (frame == nullptr) {
            atEnd = true;
            break;
        }
        // Histograms now, while the pictures are at hand; later comparisons
        // and the switch to histogram mode need only the descriptors.
        if (previous != nullptr) {
            frame->computeHistogram();
            previous->computeHistogram();
            if (!keepPictures)
                releasePicture(previous);
        }
        fragment->addFrame(frame);
        previous = frame;
    }
    if (!keepPictures && previous != nullptr && previous->histogramComputed)
        releasePicture(previous);

    if (fragment->count <= 1 && atEnd) {
        delete fragment;
        fragment = nullptr;
        return nullptr;
    }
    fragment->length = fragment->count;
    fragment->variation = 0.0;
    fragment->variationComputed = false;
    return fragment;
}

void FragmentDecoder::readAheadLoop() {
    for (;;) {
        {
            std::unique_lock lock(mutex);
            wake.wait(lock,
                      [this] { return stopping || (!ended && queued.size() < kReadAheadFrames); });
            if (stopping)
                return;
        }
        Frame* frame = nullptr;
        std::exception_ptr failed;
        try {
            frame = readFrame(0, 0);
        } catch (...) {
            failed = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex);
            if (frame != nullptr)
                queued.push_back(frame);
            else
                ended = true;
            failure = failed;
        }
        wake.notify_all();
    }
}

void FragmentDecoder::setReadAhead(bool on) {
    if (on == worker.joinable())
        return;
    if (!on) {
        // What was read ahead stays queued for the next fragments.
        stopReadAhead();
        return;
    }
    stopping = false;
    ended = false;
    failure = nullptr;
    worker = std::thread([this] { readAheadLoop(); });
}

void FragmentDecoder::stopReadAhead() {
    if (!worker.joinable())
        return;
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    worker.join();
}

void FragmentDecoder::dropQueuedFrames() {
    for (Frame* frame : queued)
        delete frame;
    queued.clear();
}

bool FragmentDecoder::seekFrameWKey(double seconds) {
    const bool readingAhead = worker.joinable();
    stopReadAhead();
    dropQueuedFrames();
    const bool found = reader->seekFrameWKey(seconds);
    setReadAhead(readingAhead);
    return found;
}

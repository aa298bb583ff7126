#include "FrameBuffer.h"

#include "Messages.h"
#include "Picture.h"

#include <QMutex>

#include <algorithm>
#include <cstdio>

namespace {
constexpr const char* kFullWarning =
    "FrameBuffer::addFrame: WARNING: max number of frames reached (%d)";
constexpr const char* kEmptyWarning = "FrameBuffer::getFrame: WARNING: empty buffer";
} // namespace

const ComparisonEntry ComparisonList::kNone[COMPARISON_LIST_SIZE] = {};

FrameBuffer::FrameBuffer(int maxFrames)
    : mutex(new QMutex()), frameTable(std::clamp(maxFrames, 0, FRAME_TABLE_SIZE)),
      maxFrames(maxFrames) {}

// The buffer owns what it holds; a frame taken with getFrame is the caller's.
FrameBuffer::~FrameBuffer() {
    deleteAllFrames();
    delete mutex;
}

int64_t FrameBuffer::pictureBytesOf(const Frame* frame) {
    return yuv420PictureBytes(frame->width, frame->height);
}

bool FrameBuffer::addFrame(Frame* frame) {
    if (count >= maxFrames) {
        engineMessage(MessageStream::Error, kFullWarning, maxFrames);
        return false;
    }
    frame->next = nullptr;
    if (count == 0) {
        first = frame;
        frame->prev = nullptr;
    } else {
        frame->prev = last;
        last->next = frame;
    }
    last = frame;
    if (count < frameTable.capacity())
        frameTable[count] = frame;
    ++count;
    pictureBytes += pictureBytesOf(frame);
    return true;
}

Frame* FrameBuffer::getFrame() {
    if (count == 0) {
        engineMessage(MessageStream::Error, "%s", kEmptyWarning);
        return nullptr;
    }
    Frame* frame = first;
    first = frame->next;
    if (first != nullptr)
        first->prev = nullptr;
    --count;
    pictureBytes -= pictureBytesOf(frame);
    return frame;
}

void FrameBuffer::deleteAllFrames() {
    while (count > 0)
        delete getFrame();
}

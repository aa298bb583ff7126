#include "FrameBuffer.h"

#include "Messages.h"

namespace {
constexpr const char* kFullWarning =
    "FrameBuffer::addFrame: WARNING: max number of frames reached (%d)";
} // namespace

const ComparisonEntry ComparisonList::kNone[COMPARISON_LIST_SIZE] = {};

bool FrameBuffer::addFrame(Frame frame) {
    if (count() >= maxFrames) {
        engineMessage(MessageStream::Error, kFullWarning, maxFrames);
        return false;
    }
    frames.push_back(std::move(frame));
    return true;
}

void FrameBuffer::releaseFrames() {
    std::vector<Frame>().swap(frames);
}

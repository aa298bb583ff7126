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
    row.reset();
    comparedCount = 0;
}

void FrameBuffer::keepOnlyComparison() {
    if (frames.empty())
        return;
    sampledRow();
    comparedCount = count();
    std::vector<Frame>().swap(frames);
}

const DifferenceRow& FrameBuffer::sampledRow() const {
    if (frames.empty() && comparedCount > 0)
        return *row;
    // Frames go only from the ends: the same first frame and as many
    // sampled ones are the same frames.
    const size_t sampled = (frames.size() + 1) / 2;
    if (!row || row->size() != sampled || (sampled > 0 && rowFrom != frames.front().frameNumber)) {
        std::vector<DifferencePoint> points;
        points.reserve(sampled);
        for (size_t k = 0; k < sampled; ++k)
            points.push_back(differencePoint(frames[2 * k].descriptors));
        row = std::make_shared<const DifferenceRow>(points);
        rowFrom = sampled > 0 ? frames.front().frameNumber : -1.0;
    }
    return *row;
}

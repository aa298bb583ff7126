#include "FragmentSource.h"

std::unique_ptr<FrameBuffer> gatherFragment(const std::function<std::optional<Frame>()>& next) {
    auto fragment = std::make_unique<FrameBuffer>(FragmentSource::fragmentCapacity);
    // Room for a whole fragment at once: grown by doubling, its frames would
    // take room for 32 (a quarter more, in every fragment a tree holds).
    fragment->frames.reserve(FragmentSource::fragmentCapacity);
    bool atEnd = false;
    while (fragment->count() < FragmentSource::fragmentCapacity) {
        std::optional<Frame> frame = next();
        if (!frame) {
            atEnd = true;
            break;
        }
        fragment->addFrame(std::move(*frame));
    }
    if (fragment->count() <= 1 && atEnd)
        return nullptr;
    fragment->length = fragment->count();
    return fragment;
}

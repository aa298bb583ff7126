#include "ReadAheadFragments.h"

#include "FrameBuffer.h"

ReadAheadFragments::ReadAheadFragments(FragmentSource& source, size_t ahead)
    : source(source), rate(source.frameRate()), ready(ahead) {
    worker.setInterrupt([this] { ready.close(); });
}

ReadAheadFragments::~ReadAheadFragments() {
    worker.stop();
}

void ReadAheadFragments::readAhead() {
    while (!worker.stopRequested()) {
        std::unique_ptr<FrameBuffer> fragment;
        try {
            fragment = source.nextFragment();
            if (fragment) {
                fragment->prepareComparison();
                fragment->getVariation();
            }
        } catch (...) {
            // The caller meets it after the fragments read before it.
            failure = std::current_exception();
            fragment.reset();
        }
        const bool end = !fragment;
        if (!ready.put(std::move(fragment)) || end)
            return;
    }
}

std::unique_ptr<FrameBuffer> ReadAheadFragments::nextFragment() {
    if (ended)
        return nullptr;
    if (!worker.running())
        worker.start([this] { readAhead(); });
    std::optional<BoundedQueue<std::unique_ptr<FrameBuffer>>::Entry> entry = ready.get();
    if (entry && entry->item)
        return std::move(entry->item);
    ended = true;
    worker.stop();
    if (failure)
        std::rethrow_exception(failure);
    return nullptr;
}

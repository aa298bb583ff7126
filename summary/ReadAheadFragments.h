#pragma once

// Another source's fragments, read on a thread of their own a few fragments
// ahead of the caller, each ready to compare (its sampled pictures' points
// and its variation worked out there). For a source that only reads, such
// as stored descriptors: the caller's thread then spends its time on the
// tree alone.

#include "BoundedQueue.h"
#include "FragmentSource.h"
#include "Worker.h"

#include <exception>
#include <memory>

class ReadAheadFragments final : public FragmentSource {
public:
    // source must outlive this; it is read from the read-ahead thread only,
    // from the first nextFragment on.
    explicit ReadAheadFragments(FragmentSource& source, size_t ahead = 8);
    ~ReadAheadFragments() override;

    std::unique_ptr<FrameBuffer> nextFragment() override;
    int64_t picturesRead() const override { return source.picturesRead(); }
    double frameRate() const override { return rate; }

private:
    void readAhead();

    FragmentSource& source;
    const double rate;
    BoundedQueue<std::unique_ptr<FrameBuffer>> ready;
    Worker worker;
    std::exception_ptr failure; // set by the read-ahead thread before its last item
    bool ended = false;
};

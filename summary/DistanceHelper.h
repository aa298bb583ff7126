#pragma once

// A second thread for the distances a new level of the tree asks for: every
// included leaf compares the new fragment with the fragments kept on its
// path, and the distinct pairs are measured before the leaves are made, half
// here and half on the caller's thread. Worth it where the fragments come
// ready (from the store), not where the other cores are decoding them.

#include "WorkerPool.h"

#include <memory>
#include <vector>

class FrameBuffer;

class DistanceHelper {
public:
    // A helper where a second core is there to take the work; none else.
    static std::unique_ptr<DistanceHelper> ifCoresAllow();

    DistanceHelper() : pool(1) {}

    // distances[i] = FrameBuffer::measureDistance(newer, older[i]), the same
    // to the bit as on one thread. The fragments' sampled rows must be made
    // already (FrameBuffer::prepareComparison); nothing else of them is
    // written. What a measurement throws is thrown here, once both threads
    // are done.
    void measure(const FrameBuffer* newer, const std::vector<FrameBuffer*>& older,
                 std::vector<double>& distances);

private:
    WorkerPool pool;
};

#pragma once

// A second thread for the distances a new level of the tree asks for: every
// included leaf compares the new fragment with the fragments kept on its
// path, and the distinct pairs are measured before the leaves are made, half
// here and half on the caller's thread. Worth it where the fragments come
// ready (from the store), not where the other cores are decoding them.

#include "Worker.h"

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

class FrameBuffer;

class DistanceHelper {
public:
    // A helper where a second core is there to take the work; none else.
    static std::unique_ptr<DistanceHelper> ifCoresAllow();

    DistanceHelper();
    ~DistanceHelper();
    DistanceHelper(const DistanceHelper&) = delete;
    DistanceHelper& operator=(const DistanceHelper&) = delete;

    // distances[i] = FrameBuffer::measureDistance(newer, older[i]), the same
    // to the bit as on one thread. The fragments' sampled rows must be made
    // already (FrameBuffer::prepareComparison); nothing else of them is
    // written. What a measurement throws is thrown here, once both threads
    // are done.
    void measure(const FrameBuffer* newer, const std::vector<FrameBuffer*>& older,
                 std::vector<double>& distances);

private:
    void help();
    // Measures the job's fragments until none is left; the lock is held on
    // entry and on return.
    void work(std::unique_lock<std::mutex>& lock);

    std::mutex mutex;
    std::condition_variable finished;
    // The job: newer against each of others, or none.
    const FrameBuffer* newer = nullptr;
    const std::vector<FrameBuffer*>* others = nullptr;
    double* distances = nullptr;
    size_t next = 0;
    size_t done = 0;
    std::exception_ptr failure;
    Worker worker;
};

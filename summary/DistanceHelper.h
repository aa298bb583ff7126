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
#include <mutex>
#include <utility>
#include <vector>

class FrameBuffer;

class DistanceHelper {
public:
    using Pair = std::pair<const FrameBuffer*, const FrameBuffer*>;

    DistanceHelper();
    ~DistanceHelper();
    DistanceHelper(const DistanceHelper&) = delete;
    DistanceHelper& operator=(const DistanceHelper&) = delete;

    // distances[i] = FrameBuffer::measureDistance of pairs[i], the same to the
    // bit as on one thread. The fragments' sampled rows must be made already
    // (FrameBuffer::prepareComparison); nothing else of them is written.
    // What a measurement throws is thrown here, once both threads are done.
    void measure(const std::vector<Pair>& pairs, std::vector<double>& distances);

private:
    void help();
    // Measures pairs from the job until none is left; the lock is held on
    // entry and on return.
    void work(std::unique_lock<std::mutex>& lock);

    std::mutex mutex;
    std::condition_variable finished;
    const std::vector<Pair>* pairs = nullptr;
    double* distances = nullptr;
    size_t next = 0;
    size_t done = 0;
    std::exception_ptr failure;
    Worker worker;
};

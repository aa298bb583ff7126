// How fast the summary tree takes fragments, and how much memory an hour of
// summarising keeps. The fragments are described frames made in memory: no
// decoding is measured.

#include "Bench.h"
#include "FrameBuffer.h"
#include "Picture.h"
#include "SummaryTree.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

constexpr int WIDTH = 64;
constexpr int HEIGHT = 48;
constexpr int FRAMES_PER_FRAGMENT = 25;
constexpr double FRAME_RATE = 25.0;

// A video of scenes a few seconds long, each with its own colours and a
// block moving across a gradient, so that fragments differ in content,
// in internal variation and in distance to each other.
class SyntheticFrames {
public:
    std::unique_ptr<FrameBuffer> nextFragment() {
        if (--sceneLeft <= 0)
            newScene();
        auto fragment = std::make_unique<FrameBuffer>(FRAMES_PER_FRAGMENT);
        for (int i = 0; i < FRAMES_PER_FRAGMENT; ++i)
            fragment->addFrame(nextFrame());
        fragment->length = fragment->count();
        return fragment;
    }

private:
    void newScene() {
        std::uniform_int_distribution<int> level(30, 220);
        std::uniform_int_distribution<int> chroma(60, 196);
        std::uniform_int_distribution<int> slope(-3, 3);
        std::uniform_int_distribution<int> length(2, 12);
        baseY = level(random);
        baseU = chroma(random);
        baseV = chroma(random);
        slopeX = slope(random);
        slopeY = slope(random);
        blockY = level(random);
        speed = 1 + int(random() % 3);
        sceneLeft = length(random);
    }

    Frame nextFrame() {
        AVFrame* picture = alloc_picture(AV_PIX_FMT_YUV420P, WIDTH, HEIGHT);
        const int blockX = (frameNumber * speed) % WIDTH;
        for (int y = 0; y < HEIGHT; ++y) {
            uint8_t* row = picture->data[0] + y * picture->linesize[0];
            for (int x = 0; x < WIDTH; ++x) {
                int v = baseY + slopeX * x + slopeY * y;
                if (x >= blockX && x < blockX + 16 && y >= 16 && y < 32)
                    v = blockY;
                row[x] = uint8_t(std::clamp(v, 0, 255));
            }
        }
        for (int y = 0; y < HEIGHT / 2; ++y) {
            uint8_t* u = picture->data[1] + y * picture->linesize[1];
            uint8_t* v = picture->data[2] + y * picture->linesize[2];
            for (int x = 0; x < WIDTH / 2; ++x) {
                u[x] = uint8_t(std::clamp(baseU + x - y, 0, 255));
                v[x] = uint8_t(std::clamp(baseV - x + 2 * y, 0, 255));
            }
        }
        Frame frame;
        frame.frameTime = frameNumber / FRAME_RATE;
        frame.descriptors = Descriptors::of(picture, WIDTH, HEIGHT);
        free_picture(picture);
        ++frameNumber;
        return frame;
    }

    std::mt19937 random{2024};
    int sceneLeft = 0;
    int baseY = 0, baseU = 0, baseV = 0, slopeX = 0, slopeY = 0, blockY = 0, speed = 1;
    int frameNumber = 0;
};

// Feeds `fragments` fragments through the tree as the decoding thread does in
// summary mode with a full playback buffer; returns the CPU seconds spent in
// the tree.
double summarise(int depthLimit, uint32_t nodeLimit, int fragments) {
    SummaryTree tree; // the window's starting weights
    SyntheticFrames video;
    double seconds = 0.0;
    for (int i = 0; i < fragments; ++i) {
        std::unique_ptr<FrameBuffer> fragment = video.nextFragment();
        const double start = threadSeconds();
        tree.addFragment(std::move(fragment), true);
        if (tree.liveLeafCount() > nodeLimit)
            tree.pruneLeaves(nodeLimit);
        FrameBuffer* settled = nullptr;
        bool included = false;
        if (tree.depth() >= depthLimit) {
            tree.decideRoot();
            settled = tree.advanceRoot(included);
        }
        seconds += threadSeconds() - start;
        // As the decoding pass does once a fragment is settled.
        if (settled)
            retireDecidedFragment(settled, included);
    }
    return seconds;
}

int fragmentsArgument(int argc, char** argv, int fallback) {
    return argc > 1 ? std::max(1, std::atoi(argv[1])) : fallback;
}

int benchTree(int argc, char** argv) {
    const int fragments = fragmentsArgument(argc, argv, 1500);
    struct Limits {
        int depth;
        uint32_t nodes;
        double best;
    } limits[] = {{90, 5000, 0.0}, {60, 500, 0.0}};
    // The machine is shared: alternate the two settings and keep each one's
    // best pass.
    for (int pass = 0; pass < 2; ++pass)
        for (Limits& l : limits)
            l.best = std::max(l.best, fragments / summarise(l.depth, l.nodes, fragments));
    for (const Limits& l : limits)
        std::printf("tree %d/%u: %.1f fragments/s\n", l.depth, l.nodes, l.best);
    return 0;
}

int benchTreeMemory(int argc, char** argv) {
    const int fragments =
        fragmentsArgument(argc, argv, int(3600 * FRAME_RATE / FRAMES_PER_FRAGMENT));
    summarise(60, 500, fragments);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double megabytes = usage.ru_maxrss / 1024.0; // kilobytes on Linux
    const double hours = fragments * FRAMES_PER_FRAGMENT / FRAME_RATE / 3600.0;
    std::printf("tree-memory: %.1f MB per hour\n", megabytes / hours);
    return 0;
}

BenchRegistration
    treeBench("tree", "[FRAGMENTS]  fragments/s at the tree limits 90/5000 and 60/500", benchTree);
BenchRegistration treeMemoryBench("tree-memory", "[FRAGMENTS]  peak memory of one hour at 60/500",
                                  benchTreeMemory);

} // namespace

// tessaro-bench describe FILE: what the analysis does to each picture beside
// decoding it, on eight of the file's first 200 pictures held in memory
// (few enough at 720p to stay in the processor's last cache, as a picture
// just decoded mostly is), each gone over 30 times a round: a packed copy, the descriptors (the vector
// pass and the one that takes a sample at a time) and the slate check;
// processor microseconds a picture, the medians of five alternating rounds,
// and the descriptors' ratio to the one-sample-at-a-time pass.

#include "Bench.h"
#include "Descriptors.h"
#include "Picture.h"
#include "Slate.h"
#include "VideoReader.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr size_t kDescribedPictures = 8;
constexpr int kPictureEvery = 25;
constexpr int kTimesOver = 30;
constexpr int kDescribeRounds = 5;

struct DescribePass {
    const char* name;
    std::function<void(const Picture&)> run;
    std::vector<double> microseconds; // a picture, per round
};

int benchDescribe(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaro-bench describe FILE\n");
        return 2;
    }
    VideoReader reader(argv[1]);
    std::vector<Picture> pictures;
    AVFrame* decoded = nullptr;
    for (int n = 0; pictures.size() < kDescribedPictures && reader.getNextFrame(&decoded); ++n) {
        if (n % kPictureEvery != 0)
            continue;
        int width = 0, height = 0;
        reader.getVideoSize(&width, &height);
        pictures.push_back(Picture::copyOf(decoded, width, height));
    }
    if (reader.status() != VideoReader::OK || pictures.empty()) {
        std::fprintf(stderr, "tessaro-bench describe: cannot decode %s\n", argv[1]);
        return 1;
    }
    // Kept, so that no pass is optimised away.
    double seen = 0.0;
    std::vector<DescribePass> passes = {
        {"copy", [](const Picture& p) {
             // A packed copy, as an odd-sized or converted picture gets.
             AVFrame* copy = alloc_picture(AV_PIX_FMT_YUV420P, p.width(), p.height());
             av_image_copy(copy->data, copy->linesize, const_cast<const uint8_t**>(p.avFrame()->data),
                           p.avFrame()->linesize, AV_PIX_FMT_YUV420P, p.width(), p.height());
             free_picture(copy);
         }, {}},
        {"descriptors", [&seen](const Picture& p) {
             seen += Descriptors::of(p.avFrame(), p.width(), p.height()).activity;
         }, {}},
        {"descriptors one by one", [&seen](const Picture& p) {
             seen += Descriptors::ofOneByOne(p.avFrame(), p.width(), p.height()).activity;
         }, {}},
        {"slate", [&seen](const Picture& p) {
             seen += looksLikeSlate(p.avFrame(), p.width(), p.height());
         }, {}},
    };
    for (int round = 0; round < kDescribeRounds; ++round)
        for (DescribePass& pass : passes) {
            const double start = threadSeconds();
            for (int times = 0; times < kTimesOver; ++times)
                for (const Picture& picture : pictures)
                    pass.run(picture);
            pass.microseconds.push_back((threadSeconds() - start) * 1e6 /
                                        (kTimesOver * pictures.size()));
        }
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    std::printf("%zu pictures of %d x %d (%g)\n", pictures.size(), pictures[0].width(),
                pictures[0].height(), seen > 0 ? 1.0 : 0.0);
    for (const DescribePass& pass : passes)
        std::printf("%s: %.1f us a picture\n", pass.name, median(pass.microseconds));
    std::printf("ratio descriptors/one by one: %.3f\n",
                median(passes[1].microseconds) / median(passes[2].microseconds));
    return 0;
}

const BenchRegistration describeRegistration("describe", "FILE", &benchDescribe);
} // namespace

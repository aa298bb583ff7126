#include "KeptPictures.h"
#include "ToolTestSupport.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(KeptPictures, ReadsAgainAFragmentAskedOutOfOrder) {
    // Far apart (a jump), then behind (from the start again), then on.
    const std::string video = demoVideo();
    KeptPictures pictures(video);
    std::vector<SummaryVideoWriter::TimedPicture> late, early, next;
    std::string error;
    const KeptFragment at40{1000, 25, 40.0, 41.0};
    const KeptFragment at2{50, 25, 2.0, 3.0};
    const KeptFragment at3{75, 25, 3.0, 4.0};
    ASSERT_TRUE(pictures.read(at40, &late, &error)) << error;
    ASSERT_EQ(late.size(), 25u);
    EXPECT_DOUBLE_EQ(late.front().time, 40.0);
    const uint64_t at40Sum = pictureChecksum(late.front().picture, 640, 360);
    ASSERT_TRUE(pictures.read(at2, &early, &error)) << error;
    EXPECT_DOUBLE_EQ(early.front().time, 2.0);
    EXPECT_DOUBLE_EQ(early.back().time, 2.96);
    ASSERT_TRUE(pictures.read(at3, &next, &error)) << error;
    EXPECT_DOUBLE_EQ(next.front().time, 3.0);

    // The same picture as a read that never jumps gives (no gap of 20 s).
    KeptPictures straight(video);
    std::vector<SummaryVideoWriter::TimedPicture> run;
    for (const KeptFragment& f :
         {at2, KeptFragment{500, 1, 20.0, 20.04}, KeptFragment{975, 1, 39.0, 39.04},
          KeptFragment{1000, 1, 40.0, 40.04}})
        ASSERT_TRUE(straight.read(f, &run, &error)) << error;
    EXPECT_EQ(pictureChecksum(run.front().picture, 640, 360), at40Sum);
}

TEST(KeptPictures, AFragmentTheVideoDoesNotHaveIsAnError) {
    KeptPictures pictures(demoVideo());
    std::vector<SummaryVideoWriter::TimedPicture> read;
    std::string error;
    EXPECT_FALSE(pictures.read({0, 25, 2.02, 3.0}, &read, &error)); // between two pictures
    EXPECT_NE(error, "");
    EXPECT_FALSE(pictures.read({5000, 25, 70.0, 71.0}, &read, &error)); // past the end
    KeptPictures missing("/nonexistent/video.mp4");
    EXPECT_FALSE(missing.read({0, 25, 0.0, 1.0}, &read, &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

} // namespace

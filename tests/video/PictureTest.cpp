#include "Picture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavutil/mem.h>
}

namespace {

TEST(PictureDeathTest, RunningOutOfMemoryEndsTheProcessAsAFailure) {
    const auto failed = [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; };
    EXPECT_EXIT(
        {
            av_max_alloc(4096);
            // A size no other test uses: no kept buffer can serve it.
            alloc_picture(AV_PIX_FMT_YUV420P, 638, 478);
        },
        failed, "");
}

} // namespace

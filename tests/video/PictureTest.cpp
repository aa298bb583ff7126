#include "Picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

namespace {

struct PictureOwner {
    AVFrame* picture;
    explicit PictureOwner(AVFrame* p) : picture(p) {}
    ~PictureOwner() { free_picture(picture); }
};

void fillPlanes(AVFrame* picture, int height, uint8_t seed) {
    const int chromaRows = (height + 1) / 2;
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? height : chromaRows;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < picture->linesize[plane]; ++x)
                picture->data[plane][y * picture->linesize[plane] + x] =
                    static_cast<uint8_t>(seed + plane * 50 + y * 7 + x);
    }
}

int rowsEqualTo(const AVFrame* a, const AVFrame* b, int plane, int rows, int bytes) {
    int equal = 0;
    for (int y = 0; y < rows; ++y)
        if (std::memcmp(a->data[plane] + y * a->linesize[plane],
                        b->data[plane] + y * b->linesize[plane], bytes) == 0)
            ++equal;
    return equal;
}

TEST(Picture, Yuv420HasThreePlanesInOneBuffer) {
    PictureOwner owner(alloc_picture(AV_PIX_FMT_YUV420P, 321, 241));
    AVFrame* picture = owner.picture;
    EXPECT_EQ(picture->linesize[0], 321);
    EXPECT_EQ(picture->linesize[1], 161);
    EXPECT_EQ(picture->linesize[2], 161);
    EXPECT_EQ(picture->data[1], picture->data[0] + 321 * 241);
    EXPECT_EQ(picture->data[2], picture->data[1] + 161 * 121);
    EXPECT_EQ(picture->format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(picture->width, 321);
    EXPECT_EQ(picture->height, 241);
}

TEST(Picture, Rgb32HasOnePlaneOfFourBytesPerPixel) {
    PictureOwner owner(alloc_picture(AV_PIX_FMT_RGB32, 445, 335));
    EXPECT_EQ(owner.picture->linesize[0], 4 * 445);
    EXPECT_EQ(owner.picture->data[1], nullptr);
}

TEST(Picture, CopyOfEqualPicturesReproducesEveryByte) {
    PictureOwner source(alloc_picture(AV_PIX_FMT_YUV420P, 64, 48));
    PictureOwner destination(alloc_picture(AV_PIX_FMT_YUV420P, 64, 48));
    fillPlanes(source.picture, 48, 3);
    fillPlanes(destination.picture, 48, 200);
    EXPECT_TRUE(copy_picture(destination.picture, 48, source.picture));
    const int size = av_image_get_buffer_size(AV_PIX_FMT_YUV420P, 64, 48, 1);
    EXPECT_EQ(std::memcmp(destination.picture->data[0], source.picture->data[0], size), 0);
}

TEST(Picture, CopiesHalfTheRowsRoundedUpOfEachChromaPlane) {
    for (const int rows : {5, 4}) {
        PictureOwner source(alloc_picture(AV_PIX_FMT_YUV420P, 16, 8));
        PictureOwner destination(alloc_picture(AV_PIX_FMT_YUV420P, 16, 8));
        fillPlanes(source.picture, 8, 1);
        fillPlanes(destination.picture, 8, 100);
        copy_picture(destination.picture, rows, source.picture);
        const int chromaRows = (rows + 1) / 2;
        EXPECT_EQ(rowsEqualTo(destination.picture, source.picture, 0, 8, 16), rows);
        EXPECT_EQ(rowsEqualTo(destination.picture, source.picture, 1, 4, 8), chromaRows);
        EXPECT_EQ(rowsEqualTo(destination.picture, source.picture, 2, 4, 8), chromaRows);
    }
}

TEST(Picture, CopiesUpToTheShorterLineSize) {
    PictureOwner wide(alloc_picture(AV_PIX_FMT_YUV420P, 32, 4));
    PictureOwner narrow(alloc_picture(AV_PIX_FMT_YUV420P, 16, 4));
    fillPlanes(wide.picture, 4, 9);
    std::memset(narrow.picture->data[0], 0, av_image_get_buffer_size(AV_PIX_FMT_YUV420P, 16, 4, 1));
    copy_picture(narrow.picture, 4, wide.picture);
    for (int plane = 0; plane < 3; ++plane)
        EXPECT_EQ(rowsEqualTo(narrow.picture, wide.picture, plane, plane == 0 ? 4 : 2,
                              narrow.picture->linesize[plane]),
                  plane == 0 ? 4 : 2);
}

TEST(Picture, SharedPictureOutlivesTheDecodersReference) {
    AVFrame* decoded = av_frame_alloc();
    decoded->format = AV_PIX_FMT_YUV420P;
    decoded->width = 64;
    decoded->height = 48;
    ASSERT_EQ(av_frame_get_buffer(decoded, 0), 0);
    fillPlanes(decoded, 48, 9);
    decoded->pts = 1234;

    AVFrame* shared = ref_picture(decoded);
    ASSERT_NE(shared, nullptr);
    for (int plane = 0; plane < 3; ++plane) {
        EXPECT_EQ(shared->data[plane], decoded->data[plane]);
        EXPECT_EQ(shared->linesize[plane], decoded->linesize[plane]);
    }
    EXPECT_EQ(shared->pts, 1234);
    const uint8_t expected = decoded->data[2][5 * decoded->linesize[2] + 3];
    // The decoder lets go of its picture (as it does on the next decode):
    // the shared one still reads the same pixels, and is freed once.
    av_frame_free(&decoded);
    EXPECT_EQ(shared->data[2][5 * shared->linesize[2] + 3], expected);
    free_picture(shared);
}

TEST(PictureDeathTest, RunningOutOfMemoryEndsTheProcessAsAFailure) {
    const auto failed = [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; };
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO); // the message goes to stdout
            av_max_alloc(4096);
            // A size no other test uses: no kept buffer can serve it.
            alloc_picture(AV_PIX_FMT_YUV420P, 638, 478);
        },
        failed, "\nERROR en alloc_picture: avcodec_alloc_frame");
}

} // namespace

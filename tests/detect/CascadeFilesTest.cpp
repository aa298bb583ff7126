#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path sourceData = fs::path(TESSARO_SOURCE_DIR) / "data";

cv::CascadeClassifier load(const fs::path& path) {
    cv::CascadeClassifier cascade;
    EXPECT_TRUE(cascade.load(path.string())) << path;
    return cascade;
}

// A clapperboard as a person would sketch it, `scale` pixels per cell of a
// 24 x 20 grid: a bar of slanted stripes four cells wide over six rows, over
// a plain slate. A black one is the negative of a white one.
cv::Mat drawClapperboard(int scale, bool white) {
    const uint8_t paper = white ? 230 : 25;
    const uint8_t ink = white ? 30 : 225;
    cv::Mat board(20 * scale, 24 * scale, CV_8UC1, cv::Scalar(paper));
    for (int row = 0; row < 6; ++row) {
        const int shift = row >= 3 ? 2 : 0;
        for (int column = 0; column < 24; ++column) {
            if (((column + shift) / 4) % 2 == 0) {
                cv::rectangle(board, cv::Rect(column * scale, row * scale, scale, scale),
                              cv::Scalar(ink), cv::FILLED);
            }
        }
    }
    return board;
}

cv::Mat scene(const cv::Mat& object) {
    cv::Mat picture(240, 320, CV_8UC1);
    cv::randu(picture, cv::Scalar(90), cv::Scalar(160));
    cv::GaussianBlur(picture, picture, cv::Size(9, 9), 3);
    object.copyTo(picture(cv::Rect(100, 70, object.cols, object.rows)));
    return picture;
}

std::vector<cv::Rect> detect(cv::CascadeClassifier& cascade, const cv::Mat& picture) {
    std::vector<cv::Rect> found;
    cascade.detectMultiScale(picture, found, 1.1, 2);
    return found;
}

bool covers(const std::vector<cv::Rect>& found, const cv::Rect& object) {
    for (const cv::Rect& r : found) {
        if ((r & object).area() > object.area() / 2) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(CascadeFiles, BothLoadAsTwentyFourByTwentyHaarCascades) {
    for (const char* name : {"claquetasBlancas.xml", "claquetasNegras.xml"}) {
        cv::CascadeClassifier cascade = load(sourceData / name);
        EXPECT_FALSE(cascade.empty()) << name;
        EXPECT_EQ(cv::Size(24, 20), cascade.getOriginalWindowSize()) << name;
        EXPECT_FALSE(cascade.isOldFormatCascade()) << name;
    }
}

TEST(CascadeFiles, TheBuildTreeHoldsCopiesThatLoad) {
    for (const char* name : {"claquetasBlancas.xml", "claquetasNegras.xml"}) {
        EXPECT_FALSE(load(fs::path(TESSARO_BINARY_DIR) / "data" / name).empty()) << name;
    }
}

TEST(CascadeFiles, DetectionRunsOnAPlainNoisyPicture) {
    for (const char* name : {"claquetasBlancas.xml", "claquetasNegras.xml"}) {
        cv::CascadeClassifier cascade = load(sourceData / name);
        cv::Mat noise(120, 160, CV_8UC1);
        cv::randu(noise, cv::Scalar(0), cv::Scalar(256));
        std::vector<cv::Rect> found;
        EXPECT_NO_THROW(cascade.detectMultiScale(noise, found)) << name;
        cv::Mat flat(120, 160, CV_8UC1, cv::Scalar(128));
        EXPECT_NO_THROW(cascade.detectMultiScale(flat, found)) << name;
        EXPECT_TRUE(found.empty()) << name;
    }
}

TEST(CascadeFiles, EachFindsItsOwnClapperboardAndNotTheOther) {
    cv::CascadeClassifier whiteCascade = load(sourceData / "claquetasBlancas.xml");
    cv::CascadeClassifier blackCascade = load(sourceData / "claquetasNegras.xml");
    const cv::Rect where(100, 70, 96, 80);
    const cv::Mat whiteScene = scene(drawClapperboard(4, true));
    const cv::Mat blackScene = scene(drawClapperboard(4, false));

    EXPECT_TRUE(covers(detect(whiteCascade, whiteScene), where));
    EXPECT_TRUE(covers(detect(blackCascade, blackScene), where));
    EXPECT_FALSE(covers(detect(whiteCascade, blackScene), where));
    EXPECT_FALSE(covers(detect(blackCascade, whiteScene), where));
}

// The clapperboard cascades find their boards, and the player does not start
// when a cascade cannot be loaded.

#include "ChildProcess.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const fs::path sourceData = fs::path(TESSARO_SOURCE_DIR) / "data";

// A clapperboard as a person would sketch it, `scale` pixels per cell of a
// 24 x 20 grid: a bar of slanted stripes four cells wide over six rows, over
// a plain slate, on a blurred noisy background. A black one is the negative
// of a white one.
cv::Mat sceneWithClapperboard(int scale, bool white) {
    const uint8_t paper = white ? 230 : 25;
    const uint8_t ink = white ? 30 : 225;
    cv::Mat board(20 * scale, 24 * scale, CV_8UC1, cv::Scalar(paper));
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 24; ++column)
            if (((column + (row >= 3 ? 2 : 0)) / 4) % 2 == 0)
                cv::rectangle(board, cv::Rect(column * scale, row * scale, scale, scale),
                              cv::Scalar(ink), cv::FILLED);
    cv::Mat picture(240, 320, CV_8UC1);
    cv::randu(picture, cv::Scalar(90), cv::Scalar(160));
    cv::GaussianBlur(picture, picture, cv::Size(9, 9), 3);
    board.copyTo(picture(cv::Rect(100, 70, board.cols, board.rows)));
    return picture;
}

bool finds(const char* cascadeName, const cv::Mat& picture) {
    cv::CascadeClassifier cascade;
    EXPECT_TRUE(cascade.load((sourceData / cascadeName).string())) << cascadeName;
    std::vector<cv::Rect> found;
    cascade.detectMultiScale(picture, found, 1.1, 2);
    const cv::Rect board(100, 70, 96, 80);
    for (const cv::Rect& r : found)
        if ((r & board).area() > board.area() / 2)
            return true;
    return false;
}

TEST(Cascades, EachFindsItsOwnClapperboardAndNotTheOther) {
    const cv::Mat white = sceneWithClapperboard(4, true);
    const cv::Mat black = sceneWithClapperboard(4, false);
    EXPECT_TRUE(finds("claquetasBlancas.xml", white));
    EXPECT_TRUE(finds("claquetasNegras.xml", black));
    EXPECT_FALSE(finds("claquetasBlancas.xml", black));
    EXPECT_FALSE(finds("claquetasNegras.xml", white));
}

enum class Cascade { None, Good, Broken };

struct Startup {
    const char* name;
    Cascade white, black;  // in the working directory
    bool besideTheProgram; // both cascades in data/ beside the player's bin/
    bool mainRuns;
};

void place(Cascade cascade, const char* name, const fs::path& directory) {
    if (cascade == Cascade::Good)
        fs::copy_file(sourceData / name, directory / name);
    else if (cascade == Cascade::Broken)
        std::ofstream(directory / name) << "<opencv_storage><cascade>broken";
}

TEST(DetectorStartup, AMissingOrBrokenCascadeEndsTheProcessFirst) {
    using C = Cascade;
    const Startup cases[] = {
        {"none", C::None, C::None, false, false},
        {"black missing", C::Good, C::None, false, false},
        {"white missing", C::None, C::Good, false, false},
        {"white broken", C::Broken, C::Good, false, false},
        {"both here", C::Good, C::Good, false, true},
        {"both beside the program", C::None, C::None, true, true},
        {"broken here, good beside", C::Broken, C::None, true, true},
    };
    // A copy of the player outside the build tree, whose data/ it would find.
    const fs::path root =
        fs::temp_directory_path() / ("tessaro-detect-" + std::to_string(getpid()));
    fs::create_directories(root / "bin");
    fs::copy_file(TESSARO_PLAYER, root / "bin/tessaro", fs::copy_options::overwrite_existing);
    for (const Startup& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root / "work");
        fs::remove_all(root / "data");
        fs::create_directories(root / "work");
        place(c.white, "claquetasBlancas.xml", root / "work");
        place(c.black, "claquetasNegras.xml", root / "work");
        if (c.besideTheProgram) {
            fs::create_directories(root / "data");
            place(C::Good, "claquetasBlancas.xml", root / "data");
            place(C::Good, "claquetasNegras.xml", root / "data");
        }
        const ChildRun run =
            runChild({.command = {root / "bin/tessaro"}, .directory = root / "work"});
        // Without a video the player says so and ends; a missing cascade
        // ends it first, after one line.
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.out.empty(), !c.mainRuns) << run.out;
        if (!c.mainRuns) {
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        }
    }
    fs::remove_all(root);
}

} // namespace

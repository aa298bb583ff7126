#pragma once

// A PNG of thumbnails, one per kept segment (its first picture), in a grid,
// each with its time in the source printed under it.

#include "AVPointers.h"
#include "Scaler.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

struct ContactSheetLayout {
    int columns = 0;
    int rows = 0;
    int thumbnailWidth = 0;
    int thumbnailHeight = 0;
    int cellWidth = 0;  // thumbnail plus nothing
    int cellHeight = 0; // thumbnail plus its label band
    int gap = 0;
    int width = 0;
    int height = 0;
    // Top-left corner of cell i's thumbnail.
    cv::Point thumbnailOrigin(int i) const;
};

class ContactSheet {
public:
    static constexpr int kThumbnailWidth = 240;
    static constexpr int kMaxColumns = 6;
    static constexpr int kGap = 8;
    static constexpr int kLabelHeight = 22;

    // Sample aspect ratio num:den of the source's pixels keeps thumbnails in proportion.
    ContactSheet(int sourceWidth, int sourceHeight, int sarNum = 1, int sarDen = 1);

    // Scales a planar YUV 4:2:0 picture of the source size into a thumbnail.
    bool add(const AVFrame* picture, double seconds);
    int count() const { return static_cast<int>(thumbnails.size()); }
    ContactSheetLayout layout() const;
    // The sheet as 8-bit RGB.
    cv::Mat render() const;
    // Writes render() as PNG to path.
    bool writePng(const std::string& path, std::string* error) const;

private:
    int sourceWidth;
    int sourceHeight;
    int thumbnailHeight;
    Scaler scaler; // source pictures to thumbnails
    std::vector<cv::Mat> thumbnails;
    std::vector<double> times;
};

// "H:MM:SS.s", the time printed under a thumbnail.
std::string clockText(double seconds);

// Encodes an 8-bit RGB picture as PNG bytes; empty on failure.
std::vector<unsigned char> encodePng(const cv::Mat& rgb);

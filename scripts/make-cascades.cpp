// Writes the two clapperboard cascades (white and black) in OpenCV's cascade
// classifier format. There is no training set: each cascade is a few stages of
// Haar stumps whose features describe a clapperboard, a striped clapper bar
// over a plain slate, and whose thresholds sit halfway to the values the
// features take on an ideal clapperboard drawn at the window size.
//
// Usage: make-cascades OUTPUT_DIR

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int windowWidth = 24;
constexpr int windowHeight = 20;
constexpr int barHeight = 6;
constexpr int dark = 30;
constexpr int light = 230;

// The clapper bar carries slanted stripes four pixels wide; its lower half is
// shifted by two pixels, a staircase that upright rectangles can describe.
bool barStripeIsDark(int x, int y) {
    const int shift = y >= barHeight / 2 ? 2 : 0;
    return ((x + shift) / 4) % 2 == 0;
}

// Grey level of the ideal white clapperboard; the black one is its negative.
int whiteClapperboard(int x, int y) {
    if (y < barHeight) {
        return barStripeIsDark(x, y) ? dark : light;
    }
    return light;
}

struct Rect {
    int x, y, width, height;
    double weight;
};

struct Feature {
    const char* meaning;
    std::vector<Rect> rects;
};

// Weights of each feature sum to zero over area, so a uniform patch gives 0.
const std::vector<Feature> features = {
    {"slate against bar", {{0, 0, 24, 12, -1}, {0, 6, 24, 6, 2}}},
    {"lower slate against bar", {{0, 0, 24, 6, -1}, {0, 14, 24, 6, 1}}},
    {"upper bar stripes, left", {{0, 0, 12, 3, -1}, {4, 0, 4, 3, 3}}},
    {"upper bar stripes, right", {{8, 0, 12, 3, -1}, {12, 0, 4, 3, 3}}},
    {"lower bar stripes, left", {{2, 3, 12, 3, -1}, {6, 3, 4, 3, 3}}},
    {"lower bar stripes, right", {{10, 3, 12, 3, -1}, {14, 3, 4, 3, 3}}},
    {"stripe slant", {{4, 0, 4, 6, -1}, {4, 3, 4, 3, 2}}},
    {"plain slate, left and right", {{0, 6, 24, 14, -1}, {12, 6, 12, 14, 2}}},
    {"plain slate, top and bottom", {{0, 6, 24, 14, -1}, {0, 13, 24, 7, 2}}},
};

// A stump passes when its feature lies at least `fraction` of the way from 0
// to the ideal value (TowardIdeal), or within `fraction` of the slate/bar
// contrast from the ideal value on the named side (NotFarBelow, NotFarAbove).
enum Test { TowardIdeal, NotFarBelow, NotFarAbove };

struct Stump {
    int feature;
    Test test;
    double fraction;
};

struct Stage {
    std::vector<Stump> stumps;
    int failuresAllowed;
};

const std::vector<Stage> stages = {
    {{{0, TowardIdeal, 0.5}, {1, TowardIdeal, 0.5}}, 0},
    {{{2, TowardIdeal, 0.5},
      {3, TowardIdeal, 0.5},
      {4, TowardIdeal, 0.5},
      {5, TowardIdeal, 0.5},
      {6, TowardIdeal, 0.5}},
     1},
    {{{7, NotFarBelow, 0.25},
      {7, NotFarAbove, 0.25},
      {8, NotFarBelow, 0.25},
      {8, NotFarAbove, 0.25},
      {0, TowardIdeal, 0.7}},
     1},
};

using Picture = std::vector<std::vector<double>>;

Picture render(bool white) {
    Picture picture(windowHeight, std::vector<double>(windowWidth));
    for (int y = 0; y < windowHeight; ++y) {
        for (int x = 0; x < windowWidth; ++x) {
            const int grey = whiteClapperboard(x, y);
            picture[y][x] = white ? grey : 255 - grey;
        }
    }
    return picture;
}

double rectSum(const Picture& picture, int x0, int y0, int width, int height) {
    double sum = 0.0;
    for (int y = y0; y < y0 + height; ++y) {
        for (int x = x0; x < x0 + width; ++x) {
            sum += picture[y][x];
        }
    }
    return sum;
}

// The detector divides each feature by the window's area times its standard
// deviation, both taken one pixel inside the window's border.
double featureValue(const Picture& picture, const Feature& feature) {
    const int width = windowWidth - 2;
    const int height = windowHeight - 2;
    const double area = width * height;
    double sum = 0.0;
    double squares = 0.0;
    for (int y = 1; y <= height; ++y) {
        for (int x = 1; x <= width; ++x) {
            sum += picture[y][x];
            squares += picture[y][x] * picture[y][x];
        }
    }
    const double normaliser = std::sqrt(area * squares - sum * sum);
    double value = 0.0;
    for (const Rect& r : feature.rects) {
        value += r.weight * rectSum(picture, r.x, r.y, r.width, r.height);
    }
    return value / normaliser;
}

bool writeCascade(const std::string& path, bool white) {
    FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const Picture ideal = render(white);
    const double contrastScale = std::fabs(featureValue(ideal, features[0]));

    std::fprintf(out, "<?xml version=\"1.0\"?>\n");
    std::fprintf(out, "<!-- %s clapperboard: striped clapper bar over a plain %s slate.\n",
                 white ? "White" : "Black", white ? "light" : "dark");
    std::fprintf(out, "     Made by scripts/make-cascades; not trained. -->\n");
    std::fprintf(out, "<opencv_storage>\n<cascade type_id=\"opencv-cascade-classifier\">\n");
    std::fprintf(out, "  <stageType>BOOST</stageType>\n  <featureType>HAAR</featureType>\n");
    std::fprintf(out, "  <height>%d</height>\n  <width>%d</width>\n", windowHeight, windowWidth);
    std::fprintf(out, "  <stageParams>\n    <boostType>GAB</boostType>\n");
    std::fprintf(out, "    <minHitRate>9.9500000476837158e-01</minHitRate>\n");
    std::fprintf(out, "    <maxFalseAlarm>5.0000000000000000e-01</maxFalseAlarm>\n");
    std::fprintf(out, "    <weightTrimRate>9.4999999999999996e-01</weightTrimRate>\n");
    std::fprintf(out,
                 "    <maxDepth>1</maxDepth>\n    <maxWeakCount>5</maxWeakCount></stageParams>\n");
    std::fprintf(out, "  <featureParams>\n    <maxCatCount>0</maxCatCount>\n");
    std::fprintf(out, "    <featSize>1</featSize>\n    <mode>BASIC</mode></featureParams>\n");
    std::fprintf(out, "  <stageNum>%zu</stageNum>\n  <stages>\n", stages.size());
    for (size_t s = 0; s < stages.size(); ++s) {
        const Stage& stage = stages[s];
        const double passing = static_cast<double>(stage.stumps.size());
        std::fprintf(out, "    <!-- stage %zu -->\n    <_>\n", s);
        std::fprintf(out, "      <maxWeakCount>%zu</maxWeakCount>\n", stage.stumps.size());
        std::fprintf(out, "      <stageThreshold>%.16e</stageThreshold>\n",
                     passing - 2.0 * stage.failuresAllowed - 0.5);
        std::fprintf(out, "      <weakClassifiers>\n");
        for (const Stump& stump : stage.stumps) {
            const double idealValue = featureValue(ideal, features[stump.feature]);
            double threshold = 0.0;
            double below = -1.0; // leaf taken when the value is under the threshold
            double atOrAbove = 1.0;
            switch (stump.test) {
            case TowardIdeal:
                threshold = stump.fraction * idealValue;
                if (idealValue < 0) {
                    below = 1.0;
                    atOrAbove = -1.0;
                }
                break;
            case NotFarBelow:
                threshold = idealValue - stump.fraction * contrastScale;
                break;
            case NotFarAbove:
                threshold = idealValue + stump.fraction * contrastScale;
                below = 1.0;
                atOrAbove = -1.0;
                break;
            }
            std::fprintf(out, "        <_>\n          <!-- %s -->\n",
                         features[stump.feature].meaning);
            std::fprintf(out,
                         "          <internalNodes>\n            0 -1 %d %.16e</internalNodes>\n",
                         stump.feature, threshold);
            std::fprintf(out, "          <leafValues>\n            %.16e %.16e</leafValues></_>\n",
                         below, atOrAbove);
        }
        std::fprintf(out, "      </weakClassifiers></_>\n");
    }
    std::fprintf(out, "  </stages>\n  <features>\n");
    for (const Feature& feature : features) {
        std::fprintf(out, "    <_>\n      <rects>\n");
        for (const Rect& r : feature.rects) {
            std::fprintf(out, "        <_>\n          %d %d %d %d %.1f</_>\n", r.x, r.y, r.width,
                         r.height, r.weight);
        }
        std::fprintf(out, "      </rects>\n      <tilted>0</tilted></_>\n");
    }
    std::fprintf(out, "  </features>\n</cascade>\n</opencv_storage>\n");
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const bool written = writeCascade(dir + "/claquetasBlancas.xml", true) &&
                         writeCascade(dir + "/claquetasNegras.xml", false);
    return written ? 0 : 1;
}

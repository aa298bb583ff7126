#include "Slate.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

constexpr int kColumns = 96;
constexpr int kRows = 54;
// Shades: dark below this, light above that, and colourless within this of grey.
constexpr int kDark = 80;
constexpr int kLight = 170;
constexpr int kGreyChroma = 24;
// The stick: at least this many changes between dark and light along a row,
// stripes no wider than this many cells, over at least this share of the
// width.
constexpr int kStripeChanges = 5;
constexpr int kWidestStripe = 10;
constexpr int kStripeRatio = 2; // the widest stripe to the narrowest
// The stick is this many rows high at least, its stripes moving aside by at
// most this many cells from one row to the next.
constexpr int kStickRows = 3;
constexpr int kStripeSlant = 2;
constexpr double kStickWidth = 0.2;
// The board: the rows below the stick, as wide as it, this many of them at
// least; most of it of one shade, a little of the other (the writing).
constexpr int kBoardRows = 6;
constexpr double kBoardShare = 0.6;
constexpr double kWritingLeast = 0.02;
constexpr double kWritingMost = 0.35;

enum Shade : uint8_t { Mid, Dark, Light, Colour };

struct Grid {
    Shade cell[kRows][kColumns];
};

Grid gridOf(const AVFrame* picture, int width, int height) {
    Grid g;
    for (int r = 0; r < kRows; ++r) {
        const int y = (2 * r + 1) * height / (2 * kRows);
        for (int c = 0; c < kColumns; ++c) {
            const int x = (2 * c + 1) * width / (2 * kColumns);
            const int luma = picture->data[0][y * picture->linesize[0] + x];
            const int u = picture->data[1][(y / 2) * picture->linesize[1] + x / 2];
            const int v = picture->data[2][(y / 2) * picture->linesize[2] + x / 2];
            if (std::abs(u - 128) > kGreyChroma || std::abs(v - 128) > kGreyChroma)
                g.cell[r][c] = Colour;
            else
                g.cell[r][c] = luma < kDark ? Dark : luma > kLight ? Light : Mid;
        }
    }
    return g;
}

struct Span {
    int from = 0, to = -1; // columns, inclusive; empty when to < from
    // Where each stripe after the first begins. Fixed room, as the spans of
    // every row of every picture the analysis reads are found.
    int edges[kColumns] = {};
    int edgeCount = 0;
};

// The widest stretch of the row where stripes of dark and light alternate:
// runs of one shade, each two cells wide at least and narrow, none more than
// twice as wide as another (a mid-grey cell between two runs allowed).
Span stripes(const Grid& g, int row) {
    struct Run {
        Shade shade;
        int from, to;
    };
    Run runs[kColumns];
    size_t count = 0;
    for (int c = 0; c < kColumns; ++c) {
        const Shade s = g.cell[row][c];
        if (count > 0 && runs[count - 1].shade == s)
            runs[count - 1].to = c;
        else
            runs[count++] = {s, c, c};
    }
    Span best;
    size_t first = 0;
    while (first < count) {
        // Stripes from runs[first] on: dark and light in turn.
        size_t last = first;
        int narrowest = kColumns, widest = 0;
        auto stripe = [&](const Run& r) {
            const int w = r.to - r.from + 1;
            return (r.shade == Dark || r.shade == Light) && w >= 2 && w <= kWidestStripe;
        };
        if (!stripe(runs[first])) {
            ++first;
            continue;
        }
        for (size_t k = first;;) {
            const int w = runs[k].to - runs[k].from + 1;
            narrowest = std::min(narrowest, w);
            widest = std::max(widest, w);
            last = k;
            size_t next = k + 1;
            if (next < count && runs[next].shade == Mid && runs[next].from == runs[next].to)
                ++next;
            if (next >= count || !stripe(runs[next]) || runs[next].shade == runs[k].shade ||
                std::max(widest, runs[next].to - runs[next].from + 1) >
                    kStripeRatio * std::min(narrowest, runs[next].to - runs[next].from + 1))
                break;
            k = next;
        }
        int shaded = 0;
        for (size_t k = first; k <= last; ++k)
            shaded += runs[k].shade == Dark || runs[k].shade == Light;
        if (shaded > kStripeChanges && runs[last].to - runs[first].from > best.to - best.from) {
            best = {runs[first].from, runs[last].to, {}, 0};
            for (size_t k = first + 1; k <= last; ++k)
                if (runs[k].shade != Mid)
                    best.edges[best.edgeCount++] = runs[k].from;
        }
        first = last + 1;
    }
    return best;
}

// Whether the rows from `top` on, over the span, are a board: mostly of one
// shade with a little writing.
bool boardBelow(const Grid& g, int top, const Span& span) {
    if (top + kBoardRows > kRows)
        return false;
    const int bottom = std::min(kRows, top + 2 * kBoardRows);
    int counts[4] = {};
    int cells = 0;
    for (int r = top; r < bottom; ++r)
        for (int c = span.from; c <= span.to; ++c) {
            ++counts[g.cell[r][c]];
            ++cells;
        }
    for (const auto& [board, writing] : {std::pair{Dark, Light}, std::pair{Light, Dark}}) {
        const double share = static_cast<double>(counts[board]) / cells;
        const double text = static_cast<double>(counts[writing] + counts[Mid]) / cells;
        if (share >= kBoardShare && text >= kWritingLeast && text <= kWritingMost &&
            counts[Colour] == 0)
            return true;
    }
    return false;
}

// Whether b is the row of stripes a is, one row down.
bool sameStripes(const Span& a, const Span& b) {
    if (std::min(a.to, b.to) - std::max(a.from, b.from) + 1 <
            static_cast<int>(kStickWidth * kColumns) ||
        a.edgeCount != b.edgeCount)
        return false;
    for (int k = 0; k < a.edgeCount; ++k)
        if (std::abs(a.edges[k] - b.edges[k]) > kStripeSlant)
            return false;
    return true;
}

} // namespace

bool looksLikeSlate(const AVFrame* picture, int width, int height) {
    if (picture == nullptr || width < kColumns || height < kRows)
        return false;
    const Grid g = gridOf(picture, width, height);
    Span rows[kRows];
    for (int r = 0; r < kRows; ++r)
        rows[r] = stripes(g, r);
    const int widest = static_cast<int>(kStickWidth * kColumns);
    for (int r = 0; r + 1 < kRows; ++r) {
        Span stick = rows[r];
        if (stick.to - stick.from + 1 < widest)
            continue;
        // The stick runs on below, its stripes where they were (or a little
        // aside, when they slant); the board lies under its last row.
        int bottom = r;
        while (bottom + 1 < kRows && sameStripes(stick, rows[bottom + 1])) {
            const Span& below = rows[bottom + 1];
            stick.from = std::max(stick.from, below.from);
            stick.to = std::min(stick.to, below.to);
            std::copy(below.edges, below.edges + below.edgeCount, stick.edges);
            ++bottom;
        }
        if (bottom - r + 1 >= kStickRows && boardBelow(g, bottom + 1, stick))
            return true;
        r = bottom;
    }
    return false;
}

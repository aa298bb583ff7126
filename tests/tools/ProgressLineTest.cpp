// The progress line the tool draws on a terminal while it summarises.

#include "ProgressLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

TEST(ProgressLine, TextGivesPercentRateAndTimeLeft) {
    const struct {
        double position, total;
        int64_t frames;
        double elapsed;
        const char* text;
    } cases[] = {
        {60.0, 7200.0, 1500, 10.0, "summarizing   0%  150 fps  19:50 left"},
        {0.0, 7200.0, 0, 0.0, "summarizing   0%"},
        // Past an underestimated length: 100% with nothing left.
        {130.0, 120.0, 100, 1.0, "summarizing 100%  100 fps  0:00 left"},
        // Length unknown: the position.
        {75.0, 0.0, 250, 5.0, "summarizing 1:15  50 fps"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressLine::text(c.position, c.total, c.frames, c.elapsed), c.text);
}

TEST(ProgressLine, RedrawsInPlaceAtMostFourTimesASecondAndClearsAtTheEnd) {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    const auto start = ProgressLine::Clock::time_point{};
    {
        ProgressLine line(stream, true, 100.0, start);
        for (int ms = 0; ms <= 1000; ms += 10)
            line.update(ms / 100.0, ms, start + std::chrono::milliseconds(ms));
        line.finish();
    }
    std::fclose(stream);
    const std::string text(data, size);
    std::free(data);
    // At 250, 500, 750 and 1000 ms, then the clearing: blanks between two returns.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 6);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    ASSERT_EQ(text.back(), '\r');
    const size_t before = text.rfind('\r', text.size() - 2);
    EXPECT_EQ(text.find_first_not_of(' ', before + 1), text.size() - 1);
}

} // namespace

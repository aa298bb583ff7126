#include "ProgressLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using namespace std::chrono_literals;

// Captures what the progress line writes.
struct Capture {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    ~Capture() {
        std::fclose(stream);
        std::free(data);
    }
    std::string text() {
        std::fflush(stream);
        return std::string(data, size);
    }
};

size_t count(const std::string& text, char c) {
    size_t n = 0;
    for (char x : text)
        n += x == c;
    return n;
}

TEST(ProgressLine, TextGivesPercentRateAndTimeLeft) {
    EXPECT_EQ(ProgressLine::text(30.0, 120.0, 750, 10.0), "summarizing  25%  75 fps  0:30 left");
    EXPECT_EQ(ProgressLine::text(0.0, 7200.0, 0, 0.0), "summarizing   0%");
    EXPECT_EQ(ProgressLine::text(60.0, 7200.0, 1500, 10.0),
              "summarizing   0%  150 fps  19:50 left");
    // A position past an underestimated length stays at 100% with nothing left.
    EXPECT_EQ(ProgressLine::text(130.0, 120.0, 100, 1.0), "summarizing 100%  100 fps  0:00 left");
}

TEST(ProgressLine, UnknownLengthShowsThePosition) {
    EXPECT_EQ(ProgressLine::text(75.0, 0.0, 250, 5.0), "summarizing 1:15  50 fps");
}

TEST(ProgressLine, RedrawsAtMostFourTimesASecond) {
    Capture capture;
    const auto start = ProgressLine::Clock::time_point{};
    ProgressLine line(capture.stream, true, 100.0, start);
    for (int ms = 0; ms <= 1000; ms += 10)
        line.update(ms / 100.0, ms, start + std::chrono::milliseconds(ms));
    const std::string text = capture.text();
    EXPECT_EQ(count(text, '\r'), 4u); // at 250, 500, 750 and 1000 ms
    EXPECT_EQ(count(text, '\n'), 0u); // one line, redrawn in place
}

TEST(ProgressLine, FinishClearsTheLine) {
    Capture capture;
    const auto start = ProgressLine::Clock::time_point{};
    {
        ProgressLine line(capture.stream, true, 100.0, start);
        line.update(50.0, 100, start + 1s);
        line.finish();
    }
    const std::string text = capture.text();
    const size_t last = text.rfind('\r');
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(last, text.size() - 1);
    const size_t before = text.rfind('\r', last - 1);
    EXPECT_EQ(text.substr(before + 1, last - before - 1).find_first_not_of(' '), std::string::npos);
}

TEST(ProgressLine, DisabledWritesNothing) {
    Capture capture;
    const auto start = ProgressLine::Clock::time_point{};
    {
        ProgressLine line(capture.stream, false, 100.0, start);
        line.update(50.0, 100, start + 1s);
        line.update(60.0, 200, start + 2s);
    }
    EXPECT_TRUE(capture.text().empty());
}

} // namespace

// The progress line the tool draws on a terminal while it summarises.

#include "BatchProgress.h"
#include "ProgressLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

using std::chrono::milliseconds;
const auto kStart = ProgressLine::Clock::time_point{};

// What draw() writes to a stream.
std::string drawn(const std::function<void(std::FILE*)>& draw) {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    draw(stream);
    std::fclose(stream);
    const std::string text(data, size);
    std::free(data);
    return text;
}

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
    const std::string text = drawn([](std::FILE* stream) {
        ProgressLine line(stream, true, 100.0, kStart);
        for (int ms = 0; ms <= 1000; ms += 10)
            line.update(ms / 100.0, ms, kStart + milliseconds(ms));
        line.finish();
    });
    // At 250, 500, 750 and 1000 ms, then the clearing: blanks between two returns.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 6);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    ASSERT_EQ(text.back(), '\r');
    const size_t before = text.rfind('\r', text.size() - 2);
    EXPECT_EQ(text.find_first_not_of(' ', before + 1), text.size() - 1);
}

TEST(ProgressLine, TheWritingLinesNameTheFileAndEachShowsAtOnce) {
    const struct {
        const char* what;
        double done, total;
        const char* text;
    } cases[] = {
        {"writing", 75.9, 120.0, "writing summary.mp4  63%"},
        {"writing", 30.0, 0.0, "writing summary.mp4"}, // the video's length unknown
        {"finishing", 0.0, 0.0, "finishing summary.mp4"}, // the encoder draining
        {"finishing", 251.0, 250.0, "finishing summary.mp4 100%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressLine::writingText(c.what, "/videos/out/summary.mp4", c.done, c.total),
                  c.text);
    const std::string text = drawn([](std::FILE* stream) {
        ProgressLine line(stream, true, 100.0, kStart);
        line.update(100.0, 10, kStart + milliseconds(250));
        line.writing("writing", "s.mp4", 90.0, 100.0, kStart + milliseconds(260));
        line.writing("writing", "s.mp4", 95.0, 100.0, kStart + milliseconds(300));
        line.writing("finishing", "s.mp4", 0.0, 0.0, kStart + milliseconds(310));
        line.writing("finishing", "s.mp4", 5.0, 10.0, kStart + milliseconds(400));
        line.writing("finishing", "s.mp4", 10.0, 10.0, kStart + milliseconds(560));
    });
    EXPECT_NE(text.find("\rwriting s.mp4  90%"), std::string::npos) << text;
    EXPECT_NE(text.find("\rfinishing s.mp4   \r"), std::string::npos) << text;
    EXPECT_EQ(text.find("95%"), std::string::npos) << text;
    EXPECT_EQ(text.find("50%"), std::string::npos) << text;
    EXPECT_NE(text.find("\rfinishing s.mp4 100%"), std::string::npos) << text;
}

TEST(ProgressLine, TheBatchLineFitsTheNamesOfTheVideosUnderWay) {
    const struct {
        size_t done;
        double left;
        std::vector<std::string> current;
        size_t width;
        const char* text;
    } cases[] = {
        {0, -1.0, {}, 80, "0 of 5 done  — left"},
        {3, 245.0, {"a.mkv", "b.mkv"}, 80, "3 of 5 done  4:05 left  a.mkv, b.mkv"},
        // Shortened to a share each, the end kept; characters, not bytes, counted.
        {1, 3725.0, {"été-à-la-mer-en-août.mkv", "another-long-one.mp4"}, 50,
         "1 of 5 done  1:02:05 left  été-à…t.mkv, anoth….mp4"},
        // What a short name leaves goes to the long one.
        {2, 65.0, {"a.mkv", "a-very-long-name-of-a-film.mkv"}, 50,
         "2 of 5 done  1:05 left  a.mkv, a-very-lo…-film.mkv"},
        // Too many for a share each: the others counted.
        {0, -1.0, {"clip-one.mkv", "clip-two.mkv", "clip-three.mkv", "clip-four.mkv"}, 40,
         "0 of 5 done  — left  clip-one.mkv, +3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProgressLine::batchText(c.done, 5, c.left, c.current, c.width), c.text);
}

TEST(BatchProgress, TimeLeftIsTheWorkLeftAtThePaceOfTheWorkDone) {
    BatchProgress batch(nullptr, false, {"/v/a.mp4", "b.mkv", "c.avi"}, 80, kStart);
    BatchProgress::Video a(batch, 0), b(batch, 1);
    const struct {
        int seconds;
        std::function<void()> step;
        const char* text;
    } steps[] = {
        {0, [] {}, "0 of 3 done  — left"},
        {5, [&] { batch.started(0); a.begin(100.0); }, "0 of 3 done  — left  a.mp4"},
        // 50 s of a's 100 in 10 s, and two more of the mean length to do.
        {10, [&] { a.update(50.0, 1250); }, "0 of 3 done  0:50 left  a.mp4"},
        // c skipped, no work; b's length not known yet.
        {20, [&] { a.update(100.0, 2500); batch.ended(0); batch.started(2); batch.ended(2);
                   batch.started(1); }, "2 of 3 done  0:20 left  b.mkv"},
        {30, [&] { b.begin(200.0); b.update(100.0, 2500); }, "2 of 3 done  0:15 left  b.mkv"},
        {40, [&] { batch.ended(1); }, "3 of 3 done  0:00 left"},
    };
    for (const auto& s : steps) {
        s.step();
        EXPECT_EQ(batch.text(kStart + std::chrono::seconds(s.seconds)), s.text) << s.seconds;
    }
}

TEST(BatchProgress, AMessageIsPrintedOnAClearedLineAndTheLineDrawnAgainAfter) {
    const std::string text = drawn([](std::FILE* stream) {
        BatchProgress batch(stream, true, {"a.mp4"}, 80, kStart);
        batch.started(0);
        batch.draw(kStart + milliseconds(300));
        batch.aside([&] { std::fputs("report\n", stream); });
        batch.draw(kStart + milliseconds(600));
        batch.finish();
    });
    const std::string line = "\r0 of 1 done  — left  a.mp4";
    const std::string cleared = "\r" + std::string(line.size() - 3, ' ') + "\r";
    EXPECT_EQ(text, line + cleared + "report\n" + line + cleared);
}

} // namespace

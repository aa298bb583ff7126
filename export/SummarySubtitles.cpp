#include "SummarySubtitles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <set>

namespace {

std::string srtTime(int64_t ms) {
    ms = std::max<int64_t>(ms, 0);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld,%03lld",
                  static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

// Blank lines would end an SRT entry early: lines of the text keep something.
std::string srtText(const std::string& text) {
    std::string out;
    for (const char c : text)
        if (c != '\r')
            out += c;
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    std::string kept;
    for (size_t i = 0; i < out.size(); ++i)
        if (!(out[i] == '\n' && (i + 1 == out.size() || out[i + 1] == '\n')))
            kept += out[i];
    return kept;
}

} // namespace

std::vector<SummaryLine> summaryLines(const std::vector<SubtitleLine>& lines,
                                      const std::vector<Segment>& segments) {
    std::vector<SummaryLine> out;
    const std::vector<Chapter> places = segmentChapters(segments, true);
    for (size_t i = 0; i < segments.size(); ++i) {
        const int64_t from = std::llround(segments[i].start * 1000);
        const int64_t to = std::llround(segments[i].end * 1000);
        for (const SubtitleLine& line : lines) {
            const int64_t start = std::max(line.startMs, from);
            const int64_t end = std::min(line.endMs(), to);
            if (end <= start)
                continue;
            std::string text = srtText(plainText(line.event));
            if (text.empty())
                continue;
            out.push_back({places[i].start + (start - from),
                           std::min(places[i].start + (end - from), places[i].end),
                           std::move(text)});
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const SummaryLine& a, const SummaryLine& b) {
        return a.startMs < b.startMs;
    });
    return out;
}

std::string formatSrt(const std::vector<SummaryLine>& lines) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i)
        out += std::to_string(i + 1) + "\n" + srtTime(lines[i].startMs) + " --> " +
               srtTime(lines[i].endMs) + "\n" + lines[i].text + "\n\n";
    return out;
}

// Plain text as an ASS event's Text: its line breaks as \N.
std::string eventText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out += "\\N";
        else if (c != '\r')
            out += c;
    }
    return out;
}

// The track's samples: one from each time a line starts or ends to the
// next, showing the lines then on screen together (a sample's time must
// follow the one before).
std::vector<SummaryLine> samplesOf(const std::vector<SummaryLine>& lines) {
    std::set<int64_t> times;
    for (const SummaryLine& line : lines) {
        times.insert(line.startMs);
        times.insert(line.endMs);
    }
    std::vector<SummaryLine> samples;
    for (auto at = times.begin(); at != times.end() && std::next(at) != times.end(); ++at) {
        const int64_t from = *at, to = *std::next(at);
        std::string text;
        for (const SummaryLine& line : lines)
            if (line.startMs <= from && line.endMs >= to)
                text += (text.empty() ? "" : "\n") + line.text;
        if (!text.empty())
            samples.push_back({from, to, text});
    }
    return samples;
}

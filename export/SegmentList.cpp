#include "SegmentList.h"

#include <cmath>
#include <cstdio>

namespace {

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

const char* boolean(bool value) {
    return value ? "true" : "false";
}

// Source frame index of a time, at the exact frame rate.
int64_t frameAt(double seconds, int num, int den) {
    return std::llround(seconds * num / den);
}

// EDL lines carry no quoting: control characters would break the line.
std::string edlText(const std::string& text) {
    std::string clean;
    for (unsigned char c : text)
        clean += c < 0x20 || c == 0x7f ? '_' : static_cast<char>(c);
    return clean;
}

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one.
size_t utf8Length(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    size_t length = 0;
    uint32_t code = 0;
    if (c >= 0xc2 && c <= 0xdf) {
        length = 2;
        code = c & 0x1f;
    } else if (c >= 0xe0 && c <= 0xef) {
        length = 3;
        code = c & 0x0f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        length = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3f);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10ffff ||
        (code >= 0xd800 && code <= 0xdfff))
        return 0;
    return length;
}

} // namespace

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool continuesSegment(const KeptFragment& previous, const KeptFragment& next) {
    return next.firstFrameNumber == previous.firstFrameNumber + previous.frames &&
           next.shot == previous.shot;
}

std::vector<Segment> mergeFragments(const std::vector<KeptFragment>& fragments) {
    std::vector<Segment> segments;
    for (size_t i = 0; i < fragments.size(); ++i) {
        const KeptFragment& f = fragments[i];
        if (i > 0 && continuesSegment(fragments[i - 1], f)) {
            segments.back().end = f.end;
            segments.back().frames += f.frames;
        } else {
            segments.push_back({f.start, f.end, f.frames});
        }
    }
    return segments;
}

double summaryDuration(const std::vector<Segment>& segments) {
    double total = 0.0;
    for (const Segment& s : segments)
        total += s.end - s.start;
    return total;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const size_t length = utf8Length(text, i); length > 0) {
            out.append(text, i, length);
            i += length;
        } else {
            out += "\\ufffd";
            ++i;
        }
    }
    return out + "\"";
}

std::string formatJson(const SummaryReport& r) {
    const SummarySettings& s = r.settings;
    std::string out = "{\n";
    out += "  \"video\": " + jsonString(r.video) + ",\n";
    out += "  \"duration\": " + number(r.duration) + ",\n";
    out += "  \"settings\": {\"target\": " + number(s.target) +
           ", \"length_weight\": " + number(s.lengthWeight) +
           ", \"continuity_weight\": " + number(s.continuityWeight) +
           ", \"redundancy_weight\": " + number(s.redundancyWeight) +
           ", \"activity_weight\": " + number(s.activityWeight) +
           ", \"depth\": " + std::to_string(s.depth) + ", \"nodes\": " + std::to_string(s.nodes) +
           ", \"junk_filter\": " + boolean(s.junkFilter) +
           (s.shotAware ? ", \"shot_aware\": true" : "") +
           (s.wholeSpeech ? ", \"whole_speech\": true" : "") + "},\n";
    out += "  \"segments\": [";
    for (size_t i = 0; i < r.segments.size(); ++i) {
        const Segment& seg = r.segments[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {\"start\": " + number(seg.start) + ", \"end\": " + number(seg.end) +
               ", \"frames\": " + std::to_string(seg.frames) + "}";
    }
    out += r.segments.empty() ? "],\n" : "\n  ],\n";
    out += "  \"summary_duration\": " + number(summaryDuration(r.segments));
    for (const auto& [name, value] : r.extra)
        out += ",\n  " + jsonString(name) + ": " + value;
    out += "\n}\n";
    return out;
}

std::string formatCsv(const SummaryReport& r) {
    std::string out = "segment,start,end,duration,frames\n";
    for (size_t i = 0; i < r.segments.size(); ++i) {
        const Segment& seg = r.segments[i];
        out += std::to_string(i + 1) + "," + number(seg.start) + "," + number(seg.end) + "," +
               number(seg.end - seg.start) + "," + std::to_string(seg.frames) + "\n";
    }
    return out;
}

int timecodeBase(int num, int den) {
    if (num <= 0 || den <= 0)
        return 25;
    const int base = static_cast<int>(std::lround(static_cast<double>(num) / den));
    return base < 1 ? 1 : base;
}

std::string timecode(int64_t frame, int base) {
    if (frame < 0)
        frame = 0;
    const int64_t perHour = 3600LL * base;
    char text[96];
    std::snprintf(
        text, sizeof text, "%02lld:%02lld:%02lld:%02lld", static_cast<long long>(frame / perHour),
        static_cast<long long>(frame % perHour / (60LL * base)),
        static_cast<long long>(frame % (60LL * base) / base), static_cast<long long>(frame % base));
    return text;
}

std::string formatEdl(const SummaryReport& r) {
    const int base = timecodeBase(r.frameRateNum, r.frameRateDen);
    const std::string clip = edlText(baseName(r.video));
    // Reel names are at most eight characters; the clip name line says which file.
    const char* reel = "AX";
    const char* track = r.hasAudio ? "AA/V" : "V";

    std::string out = "TITLE: " + clip + " summary\nFCM: NON-DROP FRAME\n";
    int64_t record = 0;
    for (size_t i = 0; i < r.segments.size(); ++i) {
        const Segment& seg = r.segments[i];
        const int64_t inFrame = frameAt(seg.start, r.frameRateNum, r.frameRateDen);
        int64_t outFrame = frameAt(seg.end, r.frameRateNum, r.frameRateDen);
        if (outFrame <= inFrame)
            outFrame = inFrame + 1;
        char line[160];
        std::snprintf(line, sizeof line, "\n%03zu  %-8s %-5s C        %s %s %s %s\n", i + 1, reel,
                      track, timecode(inFrame, base).c_str(), timecode(outFrame, base).c_str(),
                      timecode(record, base).c_str(),
                      timecode(record + outFrame - inFrame, base).c_str());
        out += line;
        out += "* FROM CLIP NAME: " + clip + "\n";
        record += outFrame - inFrame;
    }
    return out;
}

std::vector<Chapter> segmentChapters(const std::vector<Segment>& segments, bool inSummary) {
    std::vector<Chapter> chapters;
    double summaryTime = 0.0;
    for (size_t i = 0; i < segments.size(); ++i) {
        const Segment& seg = segments[i];
        const double start = inSummary ? summaryTime : seg.start;
        const double end = start + (seg.end - seg.start);
        summaryTime += seg.end - seg.start;
        chapters.push_back({std::llround(start * 1000), std::llround(end * 1000),
                            "Segment " + std::to_string(i + 1)});
    }
    return chapters;
}

std::string formatChapters(const SummaryReport& r) {
    std::string out = ";FFMETADATA1\n";
    for (const Chapter& chapter : segmentChapters(r.segments, false))
        out += "\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=" + std::to_string(chapter.start) +
               "\nEND=" + std::to_string(chapter.end) + "\ntitle=" + chapter.title + "\n";
    return out;
}

std::string formatList(const SummaryReport& report, ListFormat format) {
    switch (format) {
    case ListFormat::Chapters:
        return formatChapters(report);
    case ListFormat::Csv:
        return formatCsv(report);
    case ListFormat::Edl:
        return formatEdl(report);
    case ListFormat::Json:
        break;
    }
    return formatJson(report);
}

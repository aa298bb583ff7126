#include "SegmentList.h"

#include "EditorTimeline.h"

#include <cmath>
#include <cstdio>

namespace {

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// EDL lines carry no quoting: control characters would break the line.
std::string edlText(const std::string& text) {
    std::string clean;
    for (unsigned char c : text)
        clean += c < 0x20 || c == 0x7f ? '_' : static_cast<char>(c);
    return clean;
}

} // namespace

int64_t sourceFrame(double seconds, int num, int den) {
    return std::llround(seconds * num / den);
}

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

namespace {

// The settings as the list names them: those added later only when on.
Json settingsJson(const SummarySettings& settings) {
    Json json = Json::object();
    for (const SettingEntry& entry : settingEntries()) {
        const double value = settingValue(settings, entry.setting);
        if (entry.kind == SettingKind::Fraction)
            json[entry.listKey] = value;
        else if (entry.kind == SettingKind::Whole)
            json[entry.listKey] = static_cast<int>(value);
        else if (value != 0.0 || entry.listedWhenOff)
            json[entry.listKey] = value != 0.0;
    }
    return json;
}

} // namespace

std::string formatJson(const SummaryReport& r) {
    Json list = Json::object();
    list["video"] = r.video;
    list["duration"] = r.duration;
    list["settings"] = settingsJson(r.settings);
    Json segments = Json::array();
    for (const Segment& seg : r.segments)
        segments.push_back({{"start", seg.start}, {"end", seg.end}, {"frames", seg.frames}});
    list["segments"] = std::move(segments);
    list["summary_duration"] = summaryDuration(r.segments);
    for (const auto& [name, value] : r.extra.items())
        list[name] = value;
    JsonLayout layout;
    layout.openTop = true;
    layout.opened = {"segments"};
    return jsonText(list, layout) + "\n";
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
        const int64_t inFrame = sourceFrame(seg.start, r.frameRateNum, r.frameRateDen);
        int64_t outFrame = sourceFrame(seg.end, r.frameRateNum, r.frameRateDen);
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
    case ListFormat::Otio:
        return formatOtio(report);
    case ListFormat::Fcpxml:
        return formatFcpxml(report);
    case ListFormat::Mlt:
        return formatMlt(report);
    case ListFormat::Json:
        break;
    }
    return formatJson(report);
}

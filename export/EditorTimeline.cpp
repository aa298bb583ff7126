#include "EditorTimeline.h"

#include "ReadableTime.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace {

// "Segment 3 (1:02.40)": its number and where its first frame is in the
// source, to the hundredth, in the form the source's length takes.
std::string cutName(size_t index, int64_t frame, const TimelineRate& rate, double total) {
    const auto hundredths = static_cast<long long>(frame * rate.den * 100 / rate.num);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%02lld", hundredths % 100);
    return "Segment " + std::to_string(index + 1) + " (" +
           readableTime(static_cast<double>(hundredths / 100), total) + fraction + ")";
}

} // namespace

TimelineRate timelineRate(const SummaryReport& r) {
    TimelineRate rate{r.frameRateNum, r.frameRateDen};
    if (r.variableRate && r.averageRateNum > 0 && r.averageRateDen > 0)
        rate = {r.averageRateNum, r.averageRateDen};
    if (rate.num <= 0 || rate.den <= 0)
        rate = {25, 1};
    return rate;
}

std::vector<TimelineCut> timelineCuts(const SummaryReport& r) {
    const TimelineRate rate = timelineRate(r);
    std::vector<TimelineCut> cuts;
    int64_t record = 0;
    for (size_t i = 0; i < r.segments.size(); ++i) {
        const Segment& seg = r.segments[i];
        TimelineCut cut;
        cut.in = std::max<int64_t>(0, sourceFrame(seg.start - r.start, rate.num, rate.den));
        const int64_t out = sourceFrame(seg.end - r.start, rate.num, rate.den);
        cut.frames = std::max<int64_t>(1, out - cut.in);
        cut.record = record;
        cut.name = cutName(i, cut.in, rate, r.duration);
        record += cut.frames;
        cuts.push_back(std::move(cut));
    }
    return cuts;
}

int64_t sourceFrames(const SummaryReport& r, const std::vector<TimelineCut>& cuts) {
    const TimelineRate rate = timelineRate(r);
    int64_t frames = sourceFrame(r.duration, rate.num, rate.den);
    for (const TimelineCut& cut : cuts)
        frames = std::max(frames, cut.in + cut.frames);
    return std::max<int64_t>(frames, 1);
}

std::string absolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::string fileUrl(const std::string& path) {
    static const char* const hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : absolutePath(path)) {
        if (std::isalnum(c) != 0 && c < 0x80)
            url += static_cast<char>(c);
        else if (c == '/' || c == '-' || c == '.' || c == '_' || c == '~')
            url += static_cast<char>(c);
        else
            url += {'%', hex[c >> 4], hex[c & 15]};
    }
    return url;
}

std::string xmlText(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            // XML 1.0 holds no control characters but tab and line ends.
            out += c < 0x20 && c != '\t' && c != '\n' && c != '\r' ? '_' : static_cast<char>(c);
        }
    }
    return out;
}

std::string timelineTitle(const SummaryReport& r) {
    return baseName(r.video) + " summary";
}

namespace {

Json otioTime(int64_t frames, double rate) {
    return {
        {"OTIO_SCHEMA", "RationalTime.1"}, {"rate", rate}, {"value", static_cast<double>(frames)}};
}

Json otioRange(int64_t start, int64_t frames, double rate) {
    return {{"OTIO_SCHEMA", "TimeRange.1"},
            {"duration", otioTime(frames, rate)},
            {"start_time", otioTime(start, rate)}};
}

// The members every item of a composition carries, empty.
Json otioItem(const char* schema, const std::string& name) {
    return {{"OTIO_SCHEMA", schema},   {"metadata", Json::object()}, {"name", name},
            {"source_range", nullptr}, {"effects", Json::array()},   {"markers", Json::array()}};
}

} // namespace

std::string formatOtio(const SummaryReport& r) {
    const TimelineRate timeline = timelineRate(r);
    const double rate = static_cast<double>(timeline.num) / timeline.den;
    const std::vector<TimelineCut> cuts = timelineCuts(r);
    const int64_t length = sourceFrames(r, cuts);
    const std::string url = fileUrl(r.video);

    auto track = [&](const char* name, const char* kind) {
        Json children = Json::array();
        for (const TimelineCut& cut : cuts) {
            Json clip = otioItem("Clip.1", cut.name);
            clip["source_range"] = otioRange(cut.in, cut.frames, rate);
            clip["media_reference"] = {{"OTIO_SCHEMA", "ExternalReference.1"},
                                       {"metadata", Json::object()},
                                       {"name", baseName(r.video)},
                                       {"available_range", otioRange(0, length, rate)},
                                       {"target_url", url}};
            children.push_back(std::move(clip));
        }
        Json json = otioItem("Track.1", name);
        json["children"] = std::move(children);
        json["kind"] = kind;
        return json;
    };
    Json tracks = Json::array();
    tracks.push_back(track("V1", "Video"));
    if (r.hasAudio)
        tracks.push_back(track("A1", "Audio"));
    Json stack = otioItem("Stack.1", "tracks");
    stack["children"] = std::move(tracks);

    Json timelineJson = {{"OTIO_SCHEMA", "Timeline.1"},
                         {"metadata", Json::object()},
                         {"name", timelineTitle(r)},
                         {"global_start_time", otioTime(0, rate)},
                         {"tracks", std::move(stack)}};
    // Rates such as 30000/1001 are kept to the last digit a double holds;
    // a name that is not UTF-8 gets U+FFFD rather than an exception.
    return timelineJson.dump(4, ' ', false, Json::error_handler_t::replace) + "\n";
}

// The two XML timelines: FCPXML 1.9 and MLT XML for Shotcut.

#include "EditorTimeline.h"

#include <numeric>

namespace {

// "1001/30000s": frames at num/den frames a second as rational seconds,
// reduced, whole seconds as "2s".
std::string rationalSeconds(int64_t frames, const TimelineRate& rate) {
    int64_t top = frames * rate.den;
    int64_t bottom = rate.num;
    const int64_t common = std::gcd(top, bottom);
    if (common > 1) {
        top /= common;
        bottom /= common;
    }
    return bottom == 1 ? std::to_string(top) + "s"
                       : std::to_string(top) + "/" + std::to_string(bottom) + "s";
}

std::string attribute(const char* name, const std::string& value) {
    return std::string(" ") + name + "=\"" + xmlText(value) + "\"";
}

std::string attribute(const char* name, int64_t value) {
    return attribute(name, std::to_string(value));
}

// The source's file name without its extension.
std::string stem(const std::string& path) {
    const std::string name = baseName(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace

std::string formatFcpxml(const SummaryReport& r) {
    const TimelineRate rate = timelineRate(r);
    const std::vector<TimelineCut> cuts = timelineCuts(r);
    const int64_t total = cuts.empty() ? 0 : cuts.back().record + cuts.back().frames;
    const std::string title = timelineTitle(r);

    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE fcpxml>\n"
                      "<fcpxml version=\"1.9\">\n  <resources>\n";
    out += "    <format" + attribute("id", "r1") +
           attribute("frameDuration", rationalSeconds(1, rate)) + attribute("width", r.width) +
           attribute("height", r.height) + "/>\n";
    out += "    <asset" + attribute("id", "r2") + attribute("name", stem(r.video)) +
           attribute("start", "0s") +
           attribute("duration", rationalSeconds(sourceFrames(r, cuts), rate)) +
           attribute("hasVideo", "1") + attribute("hasAudio", r.hasAudio ? "1" : "0") +
           attribute("format", "r1") + ">\n";
    out += "      <media-rep" + attribute("kind", "original-media") +
           attribute("src", fileUrl(r.video)) + "/>\n    </asset>\n  </resources>\n";
    out += "  <library>\n    <event" + attribute("name", title) + ">\n      <project" +
           attribute("name", title) + ">\n        <sequence" + attribute("format", "r1") +
           attribute("duration", rationalSeconds(total, rate)) + attribute("tcStart", "0s") +
           attribute("tcFormat", "NDF") + ">\n          <spine>\n";
    for (const TimelineCut& cut : cuts)
        out += "            <asset-clip" + attribute("ref", "r2") +
               attribute("offset", rationalSeconds(cut.record, rate)) +
               attribute("start", rationalSeconds(cut.in, rate)) +
               attribute("duration", rationalSeconds(cut.frames, rate)) +
               attribute("name", cut.name) + attribute("format", "r1") +
               attribute("tcFormat", "NDF") + "/>\n";
    out += "          </spine>\n        </sequence>\n      </project>\n    </event>\n"
           "  </library>\n</fcpxml>\n";
    return out;
}

namespace {

std::string property(const char* name, const std::string& value, const char* indent = "    ") {
    return std::string(indent) + "<property" + attribute("name", name) + ">" + xmlText(value) +
           "</property>\n";
}

// A producer of the whole source: the picture's, or with video_index -1
// the sound's alone.
std::string sourceProducer(const char* id, const SummaryReport& r, int64_t length, bool sound) {
    std::string out = "  <producer" + attribute("id", id) + attribute("in", 0) +
                      attribute("out", length - 1) + ">\n";
    out += property("length", std::to_string(length));
    out += property("eof", "pause");
    out += property("resource", absolutePath(r.video));
    out += property("mlt_service", "avformat-novalidate");
    out += property("seekable", "1");
    if (sound)
        out += property("video_index", "-1");
    out += property("shotcut:caption", baseName(r.video));
    return out + "  </producer>\n";
}

std::string playlist(const char* id, const char* producer, const std::vector<TimelineCut>& cuts,
                     const std::string& properties) {
    std::string out = "  <playlist" + attribute("id", id) + ">\n" + properties;
    for (const TimelineCut& cut : cuts)
        out += "    <entry" + attribute("producer", producer) + attribute("in", cut.in) +
               attribute("out", cut.in + cut.frames - 1) + ">\n" +
               property("shotcut:caption", cut.name, "      ") + "    </entry>\n";
    return out + "  </playlist>\n";
}

} // namespace

std::string formatMlt(const SummaryReport& r) {
    const TimelineRate rate = timelineRate(r);
    const std::vector<TimelineCut> cuts = timelineCuts(r);
    const int64_t total = cuts.empty() ? 0 : cuts.back().record + cuts.back().frames;
    const int64_t length = sourceFrames(r, cuts);
    const std::string title = timelineTitle(r);
    const int64_t wide = static_cast<int64_t>(r.width) * std::max(1, r.sarNum);
    const int64_t high = static_cast<int64_t>(r.height) * std::max(1, r.sarDen);
    const int64_t shape = std::max<int64_t>(1, std::gcd(wide, high));

    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mlt" +
                      attribute("LC_NUMERIC", "C") + attribute("version", "7.12.0") +
                      attribute("title", title) + attribute("producer", "main_bin") + ">\n";
    out += "  <profile" + attribute("description", title) + attribute("width", r.width) +
           attribute("height", r.height) + attribute("progressive", 1) +
           attribute("sample_aspect_num", std::max(1, r.sarNum)) +
           attribute("sample_aspect_den", std::max(1, r.sarDen)) +
           attribute("display_aspect_num", wide / shape) +
           attribute("display_aspect_den", high / shape) + attribute("frame_rate_num", rate.num) +
           attribute("frame_rate_den", rate.den) +
           attribute("colorspace", r.height >= 720 ? 709 : 601) + "/>\n";
    out += sourceProducer("producer0", r, length, false);
    out += "  <playlist" + attribute("id", "main_bin") + ">\n" + property("xml_retain", "1") +
           "    <entry" + attribute("producer", "producer0") + attribute("in", 0) +
           attribute("out", length - 1) + "/>\n  </playlist>\n";

    // The background: black under the whole timeline, as Shotcut makes it.
    out += "  <producer" + attribute("id", "black") + attribute("in", 0) +
           attribute("out", std::max<int64_t>(total, 1) - 1) + ">\n" +
           property("length", std::to_string(std::max<int64_t>(total, 1))) +
           property("eof", "pause") + property("resource", "0") + property("aspect_ratio", "1") +
           property("mlt_service", "color") + property("mlt_image_format", "rgba") +
           property("set.test_audio", "0") + "  </producer>\n  <playlist" +
           attribute("id", "background") + ">\n";
    if (total > 0)
        out += "    <entry" + attribute("producer", "black") + attribute("in", 0) +
               attribute("out", total - 1) + "/>\n";
    out += "  </playlist>\n";

    out += playlist("playlist0", "producer0", cuts,
                    property("shotcut:video", "1") + property("shotcut:name", "V1"));
    if (r.hasAudio) {
        out += sourceProducer("producer1", r, length, true);
        out += playlist("playlist1", "producer1", cuts,
                        property("shotcut:audio", "1") + property("shotcut:name", "A1"));
    }

    out += "  <tractor" + attribute("id", "tractor0") + attribute("title", title);
    if (total > 0)
        out += attribute("in", 0) + attribute("out", total - 1);
    out += ">\n" + property("shotcut", "1") + property("shotcut:projectAudioChannels", "2") +
           "    <track" + attribute("producer", "background") + "/>\n";
    // The sound plays from its own track: the picture's track holds none.
    out += "    <track" + attribute("producer", "playlist0") +
           (r.hasAudio ? attribute("hide", "audio") : std::string()) + "/>\n";
    if (r.hasAudio)
        out += "    <track" + attribute("producer", "playlist1") + attribute("hide", "video") +
               "/>\n    <transition" + attribute("id", "transition0") + ">\n" +
               property("a_track", "0", "      ") + property("b_track", "2", "      ") +
               property("mlt_service", "mix", "      ") + property("always_active", "1", "      ") +
               property("sum", "1", "      ") + "    </transition>\n";
    return out + "  </tractor>\n</mlt>\n";
}

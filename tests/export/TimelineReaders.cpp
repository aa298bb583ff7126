#include "TimelineReaders.h"

#include <nlohmann/json.hpp>

#include <QXmlStreamReader>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>

namespace {

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::vector<std::unique_ptr<Element>> children;
    std::string text;

    std::string operator[](const std::string& key) const {
        const auto found = attributes.find(key);
        return found == attributes.end() ? std::string() : found->second;
    }
    const Element* child(const std::string& childName) const {
        for (const auto& c : children)
            if (c->name == childName)
                return c.get();
        return nullptr;
    }
    std::vector<const Element*> all(const std::string& childName) const {
        std::vector<const Element*> found;
        for (const auto& c : children)
            if (c->name == childName)
                found.push_back(c.get());
        return found;
    }
    // MLT's <property name=...>text</property> children.
    std::string property(const std::string& key) const {
        for (const Element* p : all("property"))
            if ((*p)["name"] == key)
                return p->text;
        return {};
    }
};

std::unique_ptr<Element> parseXml(const std::string& text, std::string* problems) {
    QXmlStreamReader reader(QByteArray::fromStdString(text));
    auto root = std::make_unique<Element>();
    std::vector<Element*> open{root.get()};
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            auto element = std::make_unique<Element>();
            element->name = reader.name().toString().toStdString();
            for (const QXmlStreamAttribute& a : reader.attributes())
                element->attributes[a.name().toString().toStdString()] =
                    a.value().toString().toStdString();
            Element* raw = element.get();
            open.back()->children.push_back(std::move(element));
            open.push_back(raw);
        } else if (reader.isEndElement()) {
            open.pop_back();
        } else if (reader.isCharacters() && !reader.isWhitespace()) {
            open.back()->text += reader.text().toString().toStdString();
        }
    }
    if (reader.hasError())
        *problems += "not well-formed XML: " + reader.errorString().toStdString() + "; ";
    return root;
}

void require(bool condition, const std::string& what, ReadTimeline* t) {
    if (!condition)
        t->problems += what + "; ";
}

// "a/bs" or "as" as a whole number of frames at rateNum/rateDen, or -1.
int64_t framesOf(const std::string& time, int64_t rateNum, int64_t rateDen) {
    long long top = 0, bottom = 1;
    char end = 0;
    if (std::sscanf(time.c_str(), "%lld/%lld%c", &top, &bottom, &end) != 3 &&
        (std::sscanf(time.c_str(), "%lld%c", &top, &end) != 2 || (bottom = 1) != 1))
        return -1;
    if (end != 's' || bottom <= 0 || (top * rateNum) % (bottom * rateDen) != 0)
        return -1;
    return top * rateNum / (bottom * rateDen);
}

} // namespace

std::string urlPath(const std::string& url) {
    if (url.rfind("file:///", 0) != 0)
        return {};
    std::string path;
    for (size_t i = 7; i < url.size(); ++i) {
        const unsigned char c = url[i];
        if (c == '%' && i + 2 < url.size() && std::isxdigit(url[i + 1]) &&
            std::isxdigit(url[i + 2])) {
            path += static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (c <= 0x20 || c >= 0x7f || std::strchr("\"'<>&#%?", c) != nullptr) {
            return {};
        } else {
            path += static_cast<char>(c);
        }
    }
    return path;
}

ReadTimeline readOtio(const std::string& text) {
    ReadTimeline t;
    t.format = "otio";
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, false);
    auto schema = [](const nlohmann::json& j) { return j.value("OTIO_SCHEMA", std::string()); };
    require(root.is_object() && schema(root) == "Timeline.1" && root.contains("name"),
            "no Timeline.1", &t);
    if (!t.problems.empty())
        return t;
    const nlohmann::json& stack = root["tracks"];
    require(schema(stack) == "Stack.1" && stack["children"].is_array(), "no Stack.1", &t);
    if (!t.problems.empty())
        return t;
    auto frames = [&](const nlohmann::json& time) {
        require(schema(time) == "RationalTime.1", "a time is no RationalTime.1", &t);
        const double value = time.value("value", -1.0);
        const double rate = time.value("rate", 0.0);
        require(value >= 0 && value == std::floor(value), "a time between frames", &t);
        require(t.rate == 0.0 || rate == t.rate, "times at two rates", &t);
        t.rate = rate;
        return static_cast<int64_t>(value);
    };
    frames(root["global_start_time"]);
    for (const nlohmann::json& track : stack["children"]) {
        require(schema(track) == "Track.1", "a track is no Track.1", &t);
        const std::string kind = track.value("kind", std::string());
        std::vector<ReadClip> clips;
        int64_t record = 0;
        for (const nlohmann::json& item : track["children"]) {
            const nlohmann::json& range = item["source_range"];
            require(schema(range) == "TimeRange.1", "an item without its range", &t);
            ReadClip clip{frames(range["start_time"]), frames(range["duration"]), record,
                          item.value("name", std::string())};
            record += clip.frames;
            if (schema(item) == "Gap.1")
                continue;
            require(schema(item).rfind("Clip.", 0) == 0, "an item is no clip or gap", &t);
            const nlohmann::json& reference = item["media_reference"];
            require(schema(reference) == "ExternalReference.1", "a clip without its file", &t);
            t.rawUrl = reference.value("target_url", std::string());
            t.source = urlPath(t.rawUrl);
            clips.push_back(clip);
        }
        if (kind == "Video")
            t.video = clips;
        else if (kind == "Audio")
            t.audioClips = static_cast<int>(clips.size());
        else
            t.problems += "a track of kind '" + kind + "'; ";
    }
    t.hasAudio = t.audioClips >= 0;
    t.width = -1; // OTIO keeps no picture size
    return t;
}

ReadTimeline readFcpxml(const std::string& text) {
    ReadTimeline t;
    t.format = "fcpxml";
    const auto root = parseXml(text, &t.problems);
    const Element* fcpxml = root->child("fcpxml");
    require(fcpxml != nullptr && (*fcpxml)["version"] == "1.9", "no fcpxml 1.9", &t);
    const Element* resources = fcpxml ? fcpxml->child("resources") : nullptr;
    const Element* format = resources ? resources->child("format") : nullptr;
    const Element* asset = resources ? resources->child("asset") : nullptr;
    require(format && asset && asset->child("media-rep"), "no format, asset and media", &t);
    if (!t.problems.empty())
        return t;
    long long durationTop = 0, rateNum = 0;
    require(std::sscanf((*format)["frameDuration"].c_str(), "%lld/%llds", &durationTop, &rateNum) ==
                    2 &&
                durationTop > 0,
            "no frame duration", &t);
    t.rate = static_cast<double>(rateNum) / static_cast<double>(durationTop);
    t.width = std::atoi((*format)["width"].c_str());
    require((*asset)["format"] == (*format)["id"], "the asset names no format", &t);
    t.rawUrl = (*asset->child("media-rep"))["src"];
    t.source = urlPath(t.rawUrl);
    t.hasAudio = (*asset)["hasAudio"] == "1";
    const Element* node = fcpxml->child("library");
    for (const char* level : {"event", "project", "sequence", "spine"})
        node = node ? node->child(level) : nullptr;
    require(node != nullptr, "no library/event/project/sequence/spine", &t);
    if (node == nullptr)
        return t;
    for (const Element* clip : node->all("asset-clip")) {
        require((*clip)["ref"] == (*asset)["id"], "a clip of no asset", &t);
        ReadClip read{framesOf((*clip)["start"], rateNum, durationTop),
                      framesOf((*clip)["duration"], rateNum, durationTop),
                      framesOf((*clip)["offset"], rateNum, durationTop), (*clip)["name"]};
        require(read.in >= 0 && read.frames > 0 && read.record >= 0, "a time between frames", &t);
        t.video.push_back(read);
    }
    return t;
}

ReadTimeline readMlt(const std::string& text) {
    ReadTimeline t;
    t.format = "mlt";
    const auto root = parseXml(text, &t.problems);
    const Element* mlt = root->child("mlt");
    const Element* profile = mlt ? mlt->child("profile") : nullptr;
    require(profile != nullptr, "no mlt profile", &t);
    if (!t.problems.empty())
        return t;
    t.rate = std::atof((*profile)["frame_rate_num"].c_str()) /
             std::atof((*profile)["frame_rate_den"].c_str());
    t.width = std::atoi((*profile)["width"].c_str());
    std::map<std::string, const Element*> byId;
    for (const auto& c : mlt->children)
        byId[(*c)["id"]] = c.get();
    auto service = [&](const std::string& id) {
        return byId.count(id) ? byId[id]->property("mlt_service") : std::string();
    };
    require(byId.count("main_bin") && byId["main_bin"]->name == "playlist" &&
                !byId["main_bin"]->all("entry").empty(),
            "no main_bin holding the source", &t);
    if (t.problems.empty()) {
        const std::string held = (*byId["main_bin"]->all("entry")[0])["producer"];
        t.source = byId.count(held) ? byId[held]->property("resource") : std::string();
    }
    const std::vector<const Element*> tractors = mlt->all("tractor");
    require(!tractors.empty() && tractors.back()->property("shotcut") == "1",
            "no tractor of Shotcut's", &t);
    if (tractors.empty())
        return t;
    const std::vector<const Element*> tracks = tractors.back()->all("track");
    for (size_t i = 0; i < tracks.size(); ++i) {
        const Element* list =
            byId.count((*tracks[i])["producer"]) ? byId[(*tracks[i])["producer"]] : nullptr;
        require(list && list->name == "playlist", "a track of no playlist", &t);
        if (!list)
            continue;
        std::vector<ReadClip> clips;
        int64_t record = 0;
        for (const auto& e : list->children) {
            if (e->name == "blank")
                record += std::atoll((*e)["length"].c_str());
            if (e->name != "entry")
                continue;
            if (i == 0)
                require(service((*e)["producer"]) == "color", "a background not black", &t);
            const int64_t in = std::atoll((*e)["in"].c_str());
            const int64_t frames = std::atoll((*e)["out"].c_str()) - in + 1;
            clips.push_back({in, frames, record, e->property("shotcut:caption")});
            record += frames;
            if (i > 0 && byId.count((*e)["producer"]))
                require(byId[(*e)["producer"]]->property("resource") == t.source,
                        "a clip of another file", &t);
        }
        const std::string hidden = (*tracks[i])["hide"];
        if (list->property("shotcut:video") == "1") {
            require(i > 0 && !list->property("shotcut:name").empty(), "V1 misplaced", &t);
            require(hidden != "video" && hidden != "both", "the picture hidden", &t);
            t.video = clips;
        } else if (list->property("shotcut:audio") == "1") {
            require(hidden == "video", "the sound track shows pictures", &t);
            t.audioClips = static_cast<int>(clips.size());
        } else {
            require(i == 0, "a track without Shotcut's kind", &t);
        }
    }
    t.hasAudio = t.audioClips >= 0;
    // With a sound track of its own, the picture's track must not sound too.
    for (const Element* track : tracks)
        if (t.hasAudio && byId.count((*track)["producer"]) &&
            byId[(*track)["producer"]]->property("shotcut:video") == "1")
            require((*track)["hide"] == "audio", "the sound twice", &t);
    return t;
}

#include "DoneRecord.h"

#include "SegmentList.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// A text as the record holds it once read back: invalid UTF-8 replaced.
std::string asRecorded(const std::string& text) {
    return Json::parse(jsonString(text)).get<std::string>();
}

// The file was recorded, among outputs, at the size it has.
bool unchanged(const Json& outputs, const std::string& path) {
    const auto recorded = outputs.find(asRecorded(baseName(path)));
    struct stat info {};
    return recorded != outputs.end() && recorded->is_number_integer() &&
           stat(path.c_str(), &info) == 0 &&
           recorded->get<long long>() == static_cast<long long>(info.st_size);
}

double number(const Json& record, const char* name) {
    const auto value = record.find(name);
    return value != record.end() && value->is_number() ? value->get<double>() : -1.0;
}

bool holds(const Json& record, const char* name, const std::string& text) {
    const auto value = record.find(name);
    return value != record.end() && value->is_string() && *value == asRecorded(text);
}

// The shortest text that reads back as the same double.
std::string exact(double value) {
    char text[32];
    for (int digits = 15;; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (digits == 17 || std::strtod(text, nullptr) == value)
            return text;
    }
}

} // namespace

std::string settingsKey(const SummarySettings& settings) {
    std::string key;
    for (const SettingEntry& entry : settingEntries()) {
        const double value = settingValue(settings, entry.setting);
        if (entry.kind == SettingKind::Switch && value == 0.0 && !entry.recordedWhenOff)
            continue;
        key += (key.empty() ? "" : " ") + std::string(entry.recordKey) + "=" +
               (entry.kind == SettingKind::Fraction ? exact(value)
                                                    : std::to_string(static_cast<int>(value)));
    }
    return key;
}

Json recordFields(const std::string& contentKey, const SummarySettings& settings,
                  int audioTrack) {
    Json fields = Json::object();
    fields["content_key"] = contentKey;
    fields["settings_key"] = settingsKey(settings);
    if (audioTrack > 0)
        fields["audio_track"] = audioTrack;
    return fields;
}

DoneCheck checkDone(const std::string& path, const std::string& contentKey,
                    const SummarySettings& settings, const std::vector<std::string>& files,
                    const std::vector<std::string>& whenKept, int audioTrack) {
    DoneCheck check;
    std::ifstream in(path, std::ios::binary);
    // Any layout reads: only the members count.
    const Json record = Json::parse(in, nullptr, false);
    if (contentKey.empty() || !record.is_object() || !holds(record, "content_key", contentKey) ||
        !holds(record, "settings_key", settingsKey(settings)))
        return check;
    const auto track = record.find("audio_track");
    const int recordedTrack =
        track != record.end() && track->is_number_integer() ? track->get<int>() : 0;
    if (recordedTrack != audioTrack)
        return check;
    // The rest of a video partly read may be readable another time.
    if (const auto partly = record.find("partly_read"); partly != record.end() && *partly == true)
        return check;
    const auto outputs = record.find("outputs");
    if (outputs == record.end() || !outputs->is_object())
        return check;
    const auto segments = record.find("segments");
    const bool empty = segments != record.end() && segments->is_array() && segments->empty();
    for (const std::string& file : files)
        if (!unchanged(*outputs, file))
            return check;
    for (const std::string& file : whenKept)
        if (!empty && !unchanged(*outputs, file))
            return check;
    check.duration = number(record, "duration");
    check.kept = number(record, "summary_duration");
    check.done = true;
    return check;
}

#include "DoneRecord.h"

#include "SegmentList.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// The value of a "  \"name\": value" line of the record, its comma dropped.
std::string field(const std::string& text, const std::string& name) {
    const std::string start = "\n  " + jsonString(name) + ": ";
    const size_t at = text.find(start);
    if (at == std::string::npos)
        return {};
    const size_t from = at + start.size();
    std::string value = text.substr(from, text.find('\n', from) - from);
    if (!value.empty() && value.back() == ',')
        value.pop_back();
    return value;
}

double number(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' ? value : -1.0;
}

// The file was recorded at the size it has.
bool unchanged(const std::string& outputs, const std::string& path) {
    const std::string key = jsonString(baseName(path)) + ": ";
    const size_t at = outputs.find(key);
    struct stat info {};
    if (at == std::string::npos || stat(path.c_str(), &info) != 0)
        return false;
    char* end = nullptr;
    const long long recorded = std::strtoll(outputs.c_str() + at + key.size(), &end, 10);
    return (*end == ',' || *end == '}') && recorded == static_cast<long long>(info.st_size);
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

std::string settingsKey(const SummarySettings& s) {
    return "t=" + exact(s.target) + " lw=" + exact(s.lengthWeight) +
           " cw=" + exact(s.continuityWeight) + " rw=" + exact(s.redundancyWeight) +
           " aw=" + exact(s.activityWeight) + " d=" + std::to_string(s.depth) +
           " n=" + std::to_string(s.nodes) + " j=" + (s.junkFilter ? "1" : "0") +
           " s=" + (s.shotAware ? "1" : "0") + (s.wholeSpeech ? " w=1" : "");
}

std::vector<std::pair<std::string, std::string>> recordFields(const std::string& contentKey,
                                                              const SummarySettings& settings) {
    return {{"content_key", jsonString(contentKey)},
            {"settings_key", jsonString(settingsKey(settings))}};
}

DoneCheck checkDone(const std::string& record, const std::string& contentKey,
                    const SummarySettings& settings, const std::vector<std::string>& files,
                    const std::vector<std::string>& whenKept) {
    DoneCheck check;
    std::ifstream in(record, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    if (contentKey.empty() || field(text, "content_key") != jsonString(contentKey) ||
        field(text, "settings_key") != jsonString(settingsKey(settings)))
        return check;
    const std::string outputs = field(text, "outputs");
    const bool empty = field(text, "segments") == "[]";
    for (const std::string& file : files)
        if (!unchanged(outputs, file))
            return check;
    for (const std::string& file : whenKept)
        if (!empty && !unchanged(outputs, file))
            return check;
    check.duration = number(field(text, "duration"));
    check.kept = number(field(text, "summary_duration"));
    check.done = true;
    return check;
}

#include "ProgressLine.h"

#include <algorithm>
#include <cmath>

namespace {
std::string minutesText(double seconds) {
    const long long s = std::llround(std::max(0.0, seconds));
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}
} // namespace

ProgressLine::ProgressLine(std::FILE* out, bool on, double totalSeconds, Clock::time_point begin)
    : stream(out), enabled(on), total(totalSeconds), start(begin), lastDrawn(begin) {}

ProgressLine::~ProgressLine() {
    finish();
}

std::string ProgressLine::text(double position, double total, int64_t frames, double elapsed) {
    std::string line = "summarizing";
    char part[64];
    if (total > 0.0) {
        const double percent = std::clamp(100.0 * position / total, 0.0, 100.0);
        std::snprintf(part, sizeof part, " %3d%%", static_cast<int>(percent));
        line += part;
    } else {
        line += " " + minutesText(position);
    }
    if (elapsed > 0.0) {
        std::snprintf(part, sizeof part, "  %.0f fps", frames / elapsed);
        line += part;
    }
    if (total > 0.0 && position > 0.0 && elapsed > 0.0) {
        const double left = elapsed * std::max(0.0, total - position) / position;
        line += "  " + minutesText(left) + " left";
    }
    return line;
}

void ProgressLine::update(double position, int64_t frames, Clock::time_point now) {
    if (!enabled || now - lastDrawn < kInterval)
        return;
    lastDrawn = now;
    const double elapsed = std::chrono::duration<double>(now - start).count();
    const std::string line = text(position, total, frames, elapsed);
    // Pad over the end of a longer previous line.
    const size_t pad = width > line.size() ? width - line.size() : 0;
    std::fprintf(stream, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
    std::fflush(stream);
    width = line.size();
    drawn = true;
}

void ProgressLine::finish() {
    if (!drawn)
        return;
    std::fprintf(stream, "\r%*s\r", static_cast<int>(width), "");
    std::fflush(stream);
    drawn = false;
}

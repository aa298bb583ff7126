#include "ProgressLine.h"

#include "ReadableTime.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <filesystem>

namespace {

// UTF-8: every byte but a continuation byte starts a character of one column.
bool startsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

size_t columns(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), startsCharacter));
}

// The byte where character `n` begins (the size past the last).
size_t characterAt(const std::string& text, size_t n) {
    for (size_t i = 0; i < text.size(); ++i)
        if (startsCharacter(text[i]) && n-- == 0)
            return i;
    return text.size();
}

// The name in at most `room` columns: its beginning and its end (where
// the extension is) about an ellipsis.
std::string shortened(const std::string& name, size_t room) {
    const size_t length = columns(name);
    if (length <= room)
        return name;
    if (room < 2)
        return name.substr(0, characterAt(name, room));
    const size_t tail = (room - 1) / 2;
    const size_t head = room - 1 - tail;
    return name.substr(0, characterAt(name, head)) + "…" +
           name.substr(characterAt(name, length - tail));
}

// The names in at most `room` columns, ", " between them: as many as
// leave each at least a few columns, the rest counted. The room is shared
// out from the shortest name up, so that what a short one leaves goes to
// the longer ones.
std::string namesIn(const std::vector<std::string>& names, size_t room) {
    constexpr size_t kFewest = 8;
    const size_t n = names.size();
    for (size_t shown = n; shown > 0; --shown) {
        const std::string rest = shown < n ? ", +" + std::to_string(n - shown) : "";
        const size_t used = columns(rest) + 2 * (shown - 1);
        size_t left = room > used ? room - used : 0;
        if (left / shown < kFewest && shown > 1)
            continue;
        std::vector<size_t> order(shown);
        for (size_t i = 0; i < shown; ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return columns(names[a]) < columns(names[b]);
        });
        std::vector<size_t> share(shown);
        for (size_t k = 0; k < shown; ++k) {
            share[order[k]] = std::min(columns(names[order[k]]), left / (shown - k));
            left -= share[order[k]];
        }
        std::string text;
        for (size_t i = 0; i < shown; ++i)
            text += (i > 0 ? ", " : "") + shortened(names[i], share[i]);
        return text + rest;
    }
    return {};
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
        line += " " + readableTime(position);
    }
    if (elapsed > 0.0) {
        std::snprintf(part, sizeof part, "  %.0f fps", frames / elapsed);
        line += part;
    }
    if (total > 0.0 && position > 0.0 && elapsed > 0.0) {
        const double left = elapsed * std::max(0.0, total - position) / position;
        line += "  " + readableTime(left) + " left";
    }
    return line;
}

std::string ProgressLine::writingText(const char* what, const std::string& file, double done,
                                      double total) {
    std::string line = what + (" " + std::filesystem::path(file).filename().string());
    if (total > 0.0) {
        char part[16];
        const double percent = std::clamp(100.0 * done / total, 0.0, 100.0);
        std::snprintf(part, sizeof part, " %3d%%", static_cast<int>(percent));
        line += part;
    }
    return line;
}

std::string ProgressLine::batchText(size_t done, size_t all, double left,
                                    const std::vector<std::string>& current, size_t width) {
    std::string line = std::to_string(done) + " of " + std::to_string(all) + " done  " +
                       (left < 0.0 ? "—" : readableTime(left)) + " left";
    if (current.empty())
        return line;
    line += "  ";
    const size_t used = columns(line);
    return line + namesIn(current, width > used ? width - used : 0);
}

void ProgressLine::update(double position, int64_t frames, Clock::time_point now) {
    const double elapsed = std::chrono::duration<double>(now - start).count();
    show(text(position, total, frames, elapsed), now);
}

void ProgressLine::writing(const char* what, const std::string& file, double done, double total,
                           Clock::time_point now) {
    if (shown != what)
        lastDrawn = now - kInterval;
    shown = what;
    show(writingText(what, file, done, total), now);
}

void ProgressLine::show(const std::string& line, Clock::time_point now) {
    if (!enabled || now - lastDrawn < kInterval)
        return;
    lastDrawn = now;
    draw(line);
}

void ProgressLine::draw(const std::string& line) {
    // Pad over the end of a longer previous line.
    const size_t size = columns(line);
    const size_t pad = width > size ? width - size : 0;
    std::fprintf(stream, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
    std::fflush(stream);
    width = size;
    drawn = true;
}

void ProgressLine::finish() {
    if (!drawn)
        return;
    std::fprintf(stream, "\r%*s\r", static_cast<int>(width), "");
    std::fflush(stream);
    drawn = false;
    width = 0;
}

size_t terminalColumns(int descriptor) {
    winsize size{};
    if (ioctl(descriptor, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

#include "SubtitleText.h"
#include "SubtitleReader.h"

bool validUtf8(const uint8_t* data, size_t size) {
    size_t i = 0;
    while (i < size) {
        const uint8_t c = data[i];
        int more = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            more = 1, code = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            more = 2, code = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            more = 3, code = c & 0x07;
        } else {
            return false;
        }
        if (size - i <= static_cast<size_t>(more))
            return false;
        for (int k = 1; k <= more; ++k) {
            if ((data[i + k] & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (data[i + k] & 0x3f);
        }
        // Overlong forms, surrogates and codes past Unicode's end.
        static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (code < kLeast[more] || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
            return false;
        i += static_cast<size_t>(more) + 1;
    }
    return true;
}

bool validUtf8(const std::string& text) {
    return validUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string latin1ToUtf8(const uint8_t* data, size_t size) {
    std::string out;
    out.reserve(size + size / 8);
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = data[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

std::string latin1ToUtf8(const std::string& text) {
    return latin1ToUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string plainText(const std::string& event) {
    // The Text field is the ninth; its commas are its own.
    size_t at = 0;
    for (int field = 0; field < 8; ++field) {
        const size_t comma = event.find(',', at);
        if (comma == std::string::npos) {
            at = 0;
            break;
        }
        at = comma + 1;
    }
    std::string out;
    out.reserve(event.size() - at);
    for (size_t i = at; i < event.size(); ++i) {
        const char c = event[i];
        if (c == '{') {
            const size_t close = event.find('}', i);
            if (close != std::string::npos) {
                i = close;
                continue;
            }
        }
        if (c == '\\' && i + 1 < event.size()) {
            const char n = event[i + 1];
            if (n == 'N' || n == 'n') {
                out += '\n';
                ++i;
                continue;
            }
            if (n == 'h') {
                out += ' ';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

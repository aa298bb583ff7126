#include "JsonText.h"

#include <algorithm>
#include <cstdio>

namespace {

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

class Writer {
public:
    explicit Writer(const JsonLayout& layout) : layout(layout) {}

    std::string text(const Json& value, const std::string& member, int depth, bool open) const {
        switch (value.type()) {
        case Json::value_t::object:
        case Json::value_t::array:
            return container(value, depth, open);
        case Json::value_t::string:
            return jsonString(value.get_ref<const std::string&>());
        case Json::value_t::number_float:
            return fixed(value.get<double>(), member);
        case Json::value_t::boolean:
            return value.get<bool>() ? "true" : "false";
        case Json::value_t::null:
            return "null";
        default: // whole numbers
            return value.dump();
        }
    }

private:
    std::string container(const Json& value, int depth, bool open) const {
        const bool object = value.is_object();
        std::string out(1, object ? '{' : '[');
        const std::string indent(2 * (depth + 1), ' ');
        bool first = true;
        for (auto item = value.begin(); item != value.end(); ++item) {
            out += first ? "" : ",";
            out += open ? "\n" + indent : first ? "" : " ";
            first = false;
            const std::string member = object ? item.key() : std::string();
            if (object)
                out += jsonString(member) + ": ";
            out += text(*item, member, depth + 1, object && opens(member));
        }
        if (open && !value.empty())
            out += "\n" + std::string(2 * depth, ' ');
        return out + (object ? '}' : ']');
    }

    bool opens(const std::string& member) const {
        return std::find(layout.opened.begin(), layout.opened.end(), member) != layout.opened.end();
    }

    std::string fixed(double number, const std::string& member) const {
        int decimals = layout.decimals;
        for (const auto& [name, places] : layout.decimalsOf)
            if (name == member)
                decimals = places;
        char out[64];
        std::snprintf(out, sizeof out, "%.*f", decimals, number);
        return out;
    }

    const JsonLayout& layout;
};

} // namespace

std::string jsonText(const Json& value, const JsonLayout& layout) {
    return Writer(layout).text(value, std::string(), 0, layout.openTop);
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

#pragma once

// JSON as the lists, the batch's records and its report lines are laid out,
// from nlohmann's values: ", " and ": " between items, floating numbers with
// fixed decimals, objects and arrays on one line unless the layout opens
// them, one item a line. nlohmann's own dump writes neither that layout nor
// those numbers, so the bytes of what existing runs wrote stay the same.

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

// Objects keep their members in the order they were added.
using Json = nlohmann::ordered_json;

struct JsonLayout {
    bool openTop = false;            // the outermost object or array one item a line
    std::vector<std::string> opened; // and these members' values
    int decimals = 3;                // of a floating number
    std::vector<std::pair<std::string, int>> decimalsOf; // but for these members'
};

// The text, without a line end after it.
std::string jsonText(const Json& value, const JsonLayout& layout);

// Text a JSON parser reads back as the same string; invalid UTF-8 bytes
// become U+FFFD.
std::string jsonString(const std::string& text);

#pragma once

// The text of subtitle files: whether bytes are UTF-8, and Latin-1 made
// UTF-8 (the guess for a file that is not).

#include <cstddef>
#include <cstdint>
#include <string>

bool validUtf8(const uint8_t* data, size_t size);
bool validUtf8(const std::string& text);
std::string latin1ToUtf8(const uint8_t* data, size_t size);
std::string latin1ToUtf8(const std::string& text);

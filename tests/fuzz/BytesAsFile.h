#pragma once

// The readers open files by name: fuzzed bytes become a file that lives in
// memory, named for the call and gone after it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Calls use with the file's name; false when the bytes could not be written.
bool withBytesAsFile(const uint8_t* data, size_t size,
                     const std::function<void(const std::string& path)>& use);

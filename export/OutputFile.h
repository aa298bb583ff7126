#pragma once

// An output file written under a temporary name beside its final one and
// renamed into place only when complete, so that a reader never finds a
// partial file under the final name.

#include <string>

class OutputFile {
public:
    explicit OutputFile(std::string finalPath);
    ~OutputFile(); // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file; false with a reason in *error.
    bool create(std::string* error);
    const std::string& temporaryPath() const { return temporary; }
    // Flushes the file to disk and renames it over the final name.
    bool commit(std::string* error);
    // Removes the temporary file now.
    void discard();

private:
    std::string target;
    std::string temporary;
    bool committed = false;
};

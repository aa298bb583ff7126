#pragma once

// A failure the engine cannot go on from (memory exhausted, a summary tree
// found broken). The engine never ends the process: it throws this, and the
// program that uses it writes the message to standard output and ends with
// the status.

#include <stdexcept>

class EngineFailure : public std::runtime_error {
public:
    EngineFailure(const char* message, int exitStatus)
        : std::runtime_error(message), status(exitStatus) {}

    const int status;
};

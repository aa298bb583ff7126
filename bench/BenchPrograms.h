#pragma once

// Other programs run and timed by the benches.

#include "PlainDecode.h"

#include <string>
#include <vector>

// The tessaro-summarize to measure: TESSARO_SUMMARIZE, else the build tree's
// or the installed one beside tessaro-bench, else the one on PATH.
std::string summarizeProgram();

// Runs a command with its input and output on /dev/null and times it; not ok
// when it did not exit with status 0.
DecodeRun timeCommand(const std::vector<std::string>& command);

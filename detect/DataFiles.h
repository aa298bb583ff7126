#pragma once

// Where the files delivered with the program (cascades, logo) are looked for.

#include <string>
#include <vector>

// In order: the working directory, share/tessaro beside the running
// executable's bin/ (wherever it was installed), and the build tree's data/
// beside the executable's folder. An absolute name stands for itself in each.
std::vector<std::string> dataFileCandidates(const char* fileName);

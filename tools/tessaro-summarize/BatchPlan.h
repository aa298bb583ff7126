#pragma once

// The videos of a batch and where each one's files go: the list read from a
// file, each video's folder and name, and the share of one run of several
// (a shard). Names are settled over the whole list before it is shared out,
// so that the shards of a list agree on them.

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

struct BatchItem {
    std::string video;
    std::string folder; // where its files go
    std::string name;   // what their names begin with

    // The file named NAME.end in the folder.
    std::string file(const std::string& end) const { return folder + "/" + name + "." + end; }
};

// Every video with its files' folder (outDir, else the video's own) and
// name: its file name, except where two videos would share a folder and a
// name. There the first in the list keeps it, and each later one takes the
// first of stem-2.ext, stem-3.ext... that no video of the list has already.
std::vector<BatchItem> planBatch(const std::vector<std::string>& videos, const std::string& outDir);

// The positions in a list of count that shard I of N takes: I-1, I-1+N, ...
std::vector<size_t> shardOf(size_t count, int shard, int shards);

// One path a line; empty lines are passed over, a line's final CR dropped.
// False when the stream fails before its end.
bool readVideoList(std::istream& in, std::vector<std::string>* videos);

#pragma once

// The units of a stretch of a video's sound (see SoundAnalysis) as bytes, and
// back: their count, each unit's loudness as its difference from the one
// before (so that zstd finds the runs a steady sound makes), then the voice
// marks eight to a byte; compressed with zstd's checksum.

#include "DescriptorStore.h"
#include "FrameSound.h"
#include "SoundAnalysis.h"

#include <string>
#include <vector>

std::string encodeSound(const std::vector<SoundUnit>& units);
// Appends the units of a blob to *units; false (and *units unchanged) when
// it is damaged or of another format. An empty blob holds no units.
bool decodeSound(const std::string& blob, std::vector<SoundUnit>* units);

// The sound of a whole stored analysis, from its chunks in order, into
// *sounds (which it resets), each chunk's blob let go once read; *heard
// tells whether the analysis heard any. False when a blob is damaged.
bool soundOfChunks(std::vector<StoredChunk>& chunks, FrameSounds* sounds, bool* heard);

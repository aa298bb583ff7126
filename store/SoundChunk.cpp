#include "SoundChunk.h"

#include "Compressed.h"
#include "Varint.h"

namespace {

constexpr uint8_t kSoundFormat = 1;
constexpr int kSoundCompression = 6;
// No chunk of frames lasts anywhere near this long (about 46 hours).
constexpr uint64_t kMostUnits = uint64_t{1} << 24;

} // namespace

std::string encodeSound(const std::vector<SoundUnit>& units) {
    if (units.empty())
        return {};
    std::string bytes;
    bytes.reserve(units.size() + units.size() / 8 + 16);
    bytes.push_back(static_cast<char>(kSoundFormat));
    putVarint(bytes, units.size());
    uint8_t before = 0;
    for (const SoundUnit& u : units) {
        bytes.push_back(static_cast<char>(static_cast<uint8_t>(u.loudness - before)));
        before = u.loudness;
    }
    for (size_t i = 0; i < units.size(); i += 8) {
        uint8_t marks = 0;
        for (size_t k = 0; k < 8 && i + k < units.size(); ++k)
            marks |= static_cast<uint8_t>(units[i + k].voice ? 1u << k : 0u);
        bytes.push_back(static_cast<char>(marks));
    }
    return compressChecked(bytes, kSoundCompression);
}

bool decodeSound(const std::string& blob, std::vector<SoundUnit>* units) {
    if (blob.empty())
        return true;
    std::string raw;
    if (!decompressChecked(blob, 16 + kMostUnits + kMostUnits / 8, &raw) || raw.empty() ||
        static_cast<uint8_t>(raw[0]) != kSoundFormat)
        return false;
    const auto* at = reinterpret_cast<const uint8_t*>(raw.data()) + 1;
    const auto* end = reinterpret_cast<const uint8_t*>(raw.data()) + raw.size();
    uint64_t count = 0;
    if (!getVarint(&at, end, &count) || count == 0 || count > kMostUnits ||
        static_cast<uint64_t>(end - at) != count + (count + 7) / 8)
        return false;
    const size_t from = units->size();
    units->resize(from + count);
    uint8_t level = 0;
    for (uint64_t i = 0; i < count; ++i) {
        level = static_cast<uint8_t>(level + at[i]);
        (*units)[from + i].loudness = level;
        (*units)[from + i].voice = ((at[count + i / 8] >> (i % 8)) & 1u) != 0;
    }
    return true;
}

bool soundOfChunks(std::vector<StoredChunk>& chunks, FrameSounds* sounds, bool* heard) {
    // The sound is small (two bytes for every 10 ms): all of it at once.
    std::vector<SoundUnit> units;
    for (StoredChunk& chunk : chunks) {
        if (!decodeSound(chunk.sound, &units))
            return false;
        std::string().swap(chunk.sound);
    }
    sounds->reset(0);
    sounds->add(units.data(), units.size());
    *heard = !units.empty();
    return true;
}

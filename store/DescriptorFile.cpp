#include "DescriptorFile.h"

#include "Fnv.h"
#include "Varint.h"

#include <cstring>
#include <fstream>

namespace {

constexpr char kMagic[8] = {'\x89', 'T', 'S', 'R', '\r', '\n', '\x1a', '\n'};
constexpr uint32_t kVersion = 2;
constexpr size_t kHeaderBytes = sizeof kMagic + 4 + 8;
// An hour of 25 fps video takes about 20 MB: far larger is no analysis.
constexpr std::streamoff kLargestFile = std::streamoff{1} << 30;

void putFixed(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

uint64_t getFixed(const uint8_t* at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= uint64_t{at[i]} << (8 * i);
    return value;
}

void putText(std::string& out, const std::string& text) {
    putVarint(out, text.size());
    out += text;
}

// Reading the body: every step fails once the bytes run out.
struct Cursor {
    const uint8_t* at;
    const uint8_t* end;

    bool number(uint64_t* value) { return getVarint(&at, end, value); }
    bool text(std::string* value) {
        uint64_t size = 0;
        if (!number(&size) || size > static_cast<uint64_t>(end - at))
            return false;
        value->assign(reinterpret_cast<const char*>(at), size);
        at += size;
        return true;
    }
};

bool readFile(const std::string& path, std::string* bytes, bool* exists) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    *exists = in.is_open();
    if (!in)
        return false;
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kLargestFile)
        return false;
    bytes->resize(static_cast<size_t>(size));
    in.seekg(0);
    return static_cast<bool>(in.read(bytes->data(), size));
}

} // namespace

std::string encodeDescriptorFile(const PortableAnalysis& a) {
    std::string body;
    putText(body, a.content);
    putText(body, a.analysis);
    uint64_t rate = 0;
    std::memcpy(&rate, &a.frameRate, sizeof rate);
    putFixed(body, rate, 8);
    putVarint(body, static_cast<uint64_t>(a.frames));
    putVarint(body, a.chunks.size());
    for (const StoredChunk& chunk : a.chunks) {
        putVarint(body, static_cast<uint64_t>(chunk.firstFrame));
        putVarint(body, static_cast<uint64_t>(chunk.frames));
        putText(body, chunk.descriptors);
        putText(body, chunk.thumbnails);
        putText(body, chunk.sound);
    }
    std::string file(kMagic, sizeof kMagic);
    putFixed(file, kVersion, 4);
    putFixed(file, fnv1a(kFnvStart, body.data(), body.size()), 8);
    return file + body;
}

DescriptorFileCheck decodeDescriptorFile(const std::string& bytes, PortableAnalysis* a) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (bytes.size() < kHeaderBytes || std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return DescriptorFileCheck::Damaged;
    if (getFixed(data + sizeof kMagic, 4) != kVersion)
        return DescriptorFileCheck::OtherVersion;
    Cursor body{data + kHeaderBytes, data + bytes.size()};
    if (getFixed(data + sizeof kMagic + 4, 8) !=
        fnv1a(kFnvStart, body.at, static_cast<size_t>(body.end - body.at)))
        return DescriptorFileCheck::Damaged;

    uint64_t frames = 0, count = 0;
    if (!body.text(&a->content) || !body.text(&a->analysis) || body.end - body.at < 8)
        return DescriptorFileCheck::Damaged;
    const uint64_t rate = getFixed(body.at, 8);
    std::memcpy(&a->frameRate, &rate, sizeof rate);
    body.at += 8;
    if (!body.number(&frames) || !body.number(&count))
        return DescriptorFileCheck::Damaged;
    a->frames = static_cast<int64_t>(frames);
    a->chunks.clear();
    uint64_t next = 0;
    for (uint64_t i = 0; i < count; ++i) {
        StoredChunk chunk;
        uint64_t first = 0, size = 0;
        if (!body.number(&first) || !body.number(&size) || first != next ||
            size >
                uint64_t{DescriptorStore::fragmentsPerChunk} * FragmentSource::fragmentCapacity ||
            !body.text(&chunk.descriptors) || !body.text(&chunk.thumbnails) ||
            !body.text(&chunk.sound))
            return DescriptorFileCheck::Damaged;
        chunk.firstFrame = static_cast<int64_t>(first);
        chunk.frames = static_cast<int>(size);
        next += size;
        a->chunks.push_back(std::move(chunk));
    }
    return next == frames && body.at == body.end ? DescriptorFileCheck::Ok
                                                 : DescriptorFileCheck::Damaged;
}

std::unique_ptr<StoredFragments> findDescriptorFile(const std::vector<std::string>& candidates,
                                                    const VideoKey& key,
                                                    const std::string& portableKey,
                                                    std::string* notice, PortableAnalysis* found) {
    const auto passOver = [&](const std::string& path, const char* why) {
        if (notice->empty())
            *notice = "the descriptor file '" + path + "' " + why + "; it is ignored";
    };
    for (const std::string& path : candidates) {
        std::string bytes;
        bool exists = false;
        if (!readFile(path, &bytes, &exists)) {
            if (exists)
                passOver(path, "cannot be read");
            continue;
        }
        PortableAnalysis analysis;
        const DescriptorFileCheck check = decodeDescriptorFile(bytes, &analysis);
        if (check == DescriptorFileCheck::OtherVersion) {
            passOver(path, "was written by another version of Tessaro");
            continue;
        }
        if (check != DescriptorFileCheck::Ok) {
            passOver(path, "is damaged");
            continue;
        }
        if (analysis.content != key.content) {
            passOver(path, "belongs to other content than the video");
            continue;
        }
        if (analysis.analysis != portableKey) {
            passOver(path, "was made with other FFmpeg libraries");
            continue;
        }
        std::vector<StoredChunk> chunks =
            found != nullptr ? analysis.chunks : std::move(analysis.chunks);
        auto source = StoredFragments::fromChunks(std::move(chunks), analysis.frameRate);
        if (!source) {
            passOver(path, "is damaged");
            continue;
        }
        if (found != nullptr)
            *found = std::move(analysis);
        return source;
    }
    return nullptr;
}

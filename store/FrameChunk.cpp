#include "FrameChunk.h"

#include "Compressed.h"
#include "Varint.h"

#include <zstd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

// The layout of a chunk's bytes before compression; a reader refuses others.
constexpr uint8_t kChunkFormat = 1;
// Frame number, time, key-frame mark, then the descriptors' own whole numbers
// (width, height, 48 histogram bins, 192 block sums).
constexpr size_t kFrameFields = 3;
constexpr size_t kDescriptorNumbers = Descriptors::NUMBERS;
constexpr size_t kNumbers = kFrameFields + kDescriptorNumbers;
// Small enough to be quick, and most of what a higher level would save.
constexpr int kCompressionLevel = 6;

int64_t timeBits(double seconds) {
    int64_t bits = 0;
    std::memcpy(&bits, &seconds, sizeof bits);
    return bits;
}

double bitsTime(int64_t bits) {
    double seconds = 0.0;
    std::memcpy(&seconds, &bits, sizeof seconds);
    return seconds;
}

bool numbersOf(const Frame& frame, std::vector<int64_t>& numbers) {
    const double n = frame.frameNumber;
    if (!(n >= 0.0 && n <= 4294967295.0) || n != std::floor(n))
        return false;
    numbers.assign({static_cast<int64_t>(n), timeBits(frame.frameTime),
                    (frame.keyFrame ? 1 : 0) | (frame.slate ? 2 : 0)});
    std::string encoded;
    frame.descriptors.encode(encoded);
    const auto* at = reinterpret_cast<const uint8_t*>(encoded.data()) + 1; // past the version
    const auto* end = reinterpret_cast<const uint8_t*>(encoded.data()) + encoded.size();
    while (at < end) {
        uint64_t value = 0;
        if (!getVarint(&at, end, &value))
            return false;
        numbers.push_back(static_cast<int64_t>(value));
    }
    return numbers.size() == kNumbers;
}

// a + sign * b, modulo 2^64: the time's bits of a negative time against a
// positive one differ by more than a signed number holds, and damaged
// differences may add up to anything.
int64_t wrapped(int64_t a, int64_t b, int sign) {
    const auto ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
    return static_cast<int64_t>(sign > 0 ? ua + ub : ua - ub);
}

} // namespace

void FrameChunkReader::ContextFree::operator()(ZSTD_DCtx* context) const {
    ZSTD_freeDCtx(context);
}

bool FrameChunkWriter::add(const Frame& frame) {
    std::vector<int64_t> numbers;
    if (!numbersOf(frame, numbers))
        return false;
    if (previous.empty())
        previous.assign(kNumbers, 0);
    for (size_t i = 0; i < kNumbers; ++i)
        differences.push_back(zigzag(wrapped(numbers[i], previous[i], -1)));
    previous = std::move(numbers);
    ++count;
    return true;
}

std::string FrameChunkWriter::finish() {
    std::string bytes;
    bytes.push_back(static_cast<char>(kChunkFormat));
    bytes.push_back(static_cast<char>(Descriptors::ENCODING_VERSION));
    putVarint(bytes, static_cast<uint64_t>(count));
    for (size_t column = 0; column < kNumbers; ++column) {
        uint64_t largest = 0;
        for (int row = 0; row < count; ++row)
            largest = std::max(largest, differences[row * kNumbers + column]);
        int width = 0;
        while (width < 8 && (largest >> (8 * width)) != 0)
            ++width;
        bytes.push_back(static_cast<char>(width));
        for (int plane = 0; plane < width; ++plane)
            for (int row = 0; row < count; ++row)
                bytes.push_back(
                    static_cast<char>(differences[row * kNumbers + column] >> (8 * plane)));
    }
    std::string compressed = compressChecked(bytes, kCompressionLevel);
    differences.clear();
    previous.clear();
    count = 0;
    return compressed;
}

bool FrameChunkReader::open(const std::string& compressed, int expectedFrames) {
    raw.clear();
    frames = 0;
    nextFrame = 0;
    previous.assign(kNumbers, 0);
    const unsigned long long size = ZSTD_getFrameContentSize(compressed.data(), compressed.size());
    // No frame takes more than eight bytes a number: a larger claim is damage.
    if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN || expectedFrames < 0 ||
        size > 16 + kNumbers * (1 + 8 * static_cast<unsigned long long>(expectedFrames)))
        return false;
    raw.resize(size);
    // One context for every chunk: a new one would map its room afresh each
    // time.
    if (!context)
        context.reset(ZSTD_createDCtx());
    if (!context)
        return false;
    const size_t made = ZSTD_decompressDCtx(context.get(), raw.data(), raw.size(),
                                            compressed.data(), compressed.size());
    if (ZSTD_isError(made) || made != size || size < 2 ||
        static_cast<uint8_t>(raw[0]) != kChunkFormat ||
        static_cast<uint8_t>(raw[1]) != Descriptors::ENCODING_VERSION)
        return false;
    const auto* begin = reinterpret_cast<const uint8_t*>(raw.data());
    const uint8_t* at = begin + 2;
    const uint8_t* const end = begin + raw.size();
    uint64_t count = 0;
    if (!getVarint(&at, end, &count) || count != static_cast<uint64_t>(expectedFrames))
        return false;
    columnStart.assign(kNumbers, 0);
    columnWidth.assign(kNumbers, 0);
    for (size_t column = 0; column < kNumbers; ++column) {
        if (at == end || *at > 8)
            return false;
        columnWidth[column] = *at++;
        columnStart[column] = static_cast<size_t>(at - begin);
        const uint64_t planes = static_cast<uint64_t>(columnWidth[column]) * count;
        if (planes > static_cast<uint64_t>(end - at))
            return false;
        at += planes;
    }
    if (at != end)
        return false;
    frames = expectedFrames;
    // Every frame is checked once here, so that a chunk is taken whole or not
    // at all; what follows from a frame's numbers is left to next().
    Frame frame;
    for (int i = 0; i < frames; ++i)
        if (!nextNumbers(&frame, false))
            return false;
    nextFrame = 0;
    previous.assign(kNumbers, 0);
    return true;
}

bool FrameChunkReader::next(Frame* frame) {
    return nextNumbers(frame, true);
}

bool FrameChunkReader::nextNumbers(Frame* frame, bool derived) {
    if (nextFrame >= frames)
        return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(raw.data());
    int64_t numbers[kNumbers];
    for (size_t column = 0; column < kNumbers; ++column) {
        uint64_t value = 0;
        for (int plane = 0; plane < columnWidth[column]; ++plane)
            value |=
                uint64_t{
                    bytes[columnStart[column] + static_cast<size_t>(plane) * frames + nextFrame]}
                << (8 * plane);
        numbers[column] = wrapped(previous[column], unzigzag(value), 1);
    }
    uint64_t own[Descriptors::NUMBERS];
    for (size_t i = kFrameFields; i < kNumbers; ++i) {
        if (numbers[i] < 0)
            return false;
        own[i - kFrameFields] = static_cast<uint64_t>(numbers[i]);
    }
    if (numbers[0] < 0 || numbers[0] > UINT32_MAX || numbers[2] < 0 || numbers[2] > 3 ||
        !Descriptors::fromNumbers(own, &frame->descriptors, derived))
        return false;
    frame->frameNumber = static_cast<double>(numbers[0]);
    frame->frameTime = bitsTime(numbers[1]);
    frame->keyFrame = (numbers[2] & 1) != 0;
    frame->slate = (numbers[2] & 2) != 0;
    std::copy(numbers, numbers + kNumbers, previous.begin());
    ++nextFrame;
    return true;
}

#include "PacketBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/defs.h>
}

namespace {

// Queues a reference-counted packet like the demuxer's, holding `text`.
AVPacket* makePacket(const std::string& text, int64_t dts) {
    AVPacket* packet = av_packet_alloc();
    EXPECT_EQ(av_new_packet(packet, static_cast<int>(text.size())), 0);
    if (!text.empty())
        std::memcpy(packet->data, text.data(), text.size());
    packet->dts = dts;
    return packet;
}

void put(PacketBuffer& buffer, const std::string& text, int64_t dts) {
    AVPacket* packet = makePacket(text, dts);
    buffer.putPacket(*packet);
    // The producer's packet goes away at once: the queue must hold its own copy.
    std::memset(packet->data, 'x', packet->size);
    av_packet_free(&packet);
}

std::string take(PacketBuffer& buffer) {
    AVPacket packet{};
    EXPECT_EQ(buffer.getPacket(&packet), &packet);
    std::string text = std::to_string(packet.dts) + ":";
    text.append(reinterpret_cast<const char*>(packet.data), packet.size);
    PacketBuffer::releasePacket(&packet);
    return text;
}

TEST(PacketBuffer, KeepsOrderAndItsOwnCopiesThroughPutsTakesAndRefills) {
    PacketBuffer buffer;
    put(buffer, "one", 1);
    put(buffer, "two", 2);
    EXPECT_EQ(take(buffer), "1:one");
    put(buffer, "", 3); // an empty packet is a packet like any other
    EXPECT_EQ(take(buffer), "2:two");
    EXPECT_EQ(take(buffer), "3:");
    EXPECT_TRUE(buffer.isEmpty());
    // Taking from an empty queue leaves the caller's packet alone.
    AVPacket untouched{};
    untouched.dts = 99;
    EXPECT_EQ(buffer.getPacket(&untouched), &untouched);
    EXPECT_EQ(untouched.dts, 99);
    EXPECT_EQ(untouched.data, nullptr);
    put(buffer, "four", 4);
    put(buffer, "five", 5);
    EXPECT_EQ(take(buffer), "4:four");
    for (int i = 6; i < 10; ++i)
        put(buffer, "left", i);
    buffer.clear();
    EXPECT_TRUE(buffer.isEmpty());
    // What the destructor frees is checked by LeakSanitizer.
    put(buffer, "left behind", 11);
}

TEST(PacketBuffer, CopiesTheRecordSideDataAndZeroPadding) {
    PacketBuffer buffer;
    AVPacket* packet = makePacket("abc", 42);
    packet->pts = 40;
    packet->flags = AV_PKT_FLAG_KEY;
    packet->duration = 7;
    packet->stream_index = 1;
    uint8_t* palette = av_packet_new_side_data(packet, AV_PKT_DATA_PALETTE, 1024);
    ASSERT_NE(palette, nullptr);
    std::memset(palette, 0x5a, 1024);
    buffer.putPacket(*packet);
    av_packet_free(&packet);

    AVPacket out{};
    buffer.getPacket(&out);
    EXPECT_EQ(out.size, 3);
    EXPECT_EQ(out.dts, 42);
    EXPECT_EQ(out.pts, 40);
    EXPECT_EQ(out.flags, AV_PKT_FLAG_KEY);
    EXPECT_EQ(out.duration, 7);
    EXPECT_EQ(out.stream_index, 1);
    EXPECT_EQ(out.buf, nullptr);
    // Decoders may read past the end: the padding must be there and zero.
    for (int i = 0; i < AV_INPUT_BUFFER_PADDING_SIZE; ++i)
        ASSERT_EQ(out.data[3 + i], 0);
    size_t size = 0;
    const uint8_t* copied = av_packet_get_side_data(&out, AV_PKT_DATA_PALETTE, &size);
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(size, 1024u);
    EXPECT_EQ(copied[1023], 0x5a);
    PacketBuffer::releasePacket(&out);
    EXPECT_EQ(out.data, nullptr);
    EXPECT_EQ(out.side_data_elems, 0);
}

} // namespace

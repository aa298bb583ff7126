#include "PacketBuffer.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A reference-counted packet like the demuxer's, filled with `text`.
AVPacket* makePacket(const std::string& text, int64_t dts) {
    AVPacket* packet = av_packet_alloc();
    EXPECT_EQ(av_new_packet(packet, static_cast<int>(text.size())), 0);
    if (!text.empty())
        std::memcpy(packet->data, text.data(), text.size());
    packet->dts = dts;
    packet->pts = dts;
    packet->stream_index = 1;
    return packet;
}

void put(PacketBuffer& buffer, const std::string& text, int64_t dts) {
    AVPacket* packet = makePacket(text, dts);
    buffer.putPacket(*packet);
    // The producer's packet goes away at once: the queue must hold its own copy.
    std::memset(packet->data, 'x', packet->size);
    av_packet_free(&packet);
}

std::string take(PacketBuffer& buffer, int64_t* dts = nullptr) {
    AVPacket packet{};
    EXPECT_EQ(buffer.getPacket(&packet), &packet);
    std::string text(reinterpret_cast<const char*>(packet.data), packet.size);
    if (dts != nullptr)
        *dts = packet.dts;
    PacketBuffer::releasePacket(&packet);
    return text;
}

TEST(PacketBuffer, StartsEmptyWithItsName) {
    PacketBuffer buffer("VIDEO BUFFER");
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_STREQ(buffer.name, "VIDEO BUFFER");
    EXPECT_EQ(buffer.first, nullptr);
    EXPECT_EQ(buffer.packetCount, 0);
}

TEST(PacketBuffer, KeepsOrderWhenPutsAndTakesAlternate) {
    PacketBuffer buffer("AUDIO BUFFER");
    put(buffer, "one", 1);
    put(buffer, "two", 2);
    int64_t dts = 0;
    EXPECT_EQ(take(buffer, &dts), "one");
    EXPECT_EQ(dts, 1);
    put(buffer, "three", 3);
    EXPECT_EQ(take(buffer, &dts), "two");
    EXPECT_EQ(dts, 2);
    put(buffer, "four", 4);
    EXPECT_EQ(take(buffer), "three");
    EXPECT_EQ(take(buffer), "four");
    EXPECT_TRUE(buffer.isEmpty());
}

TEST(PacketBuffer, CopiesTheWholeRecordAndPadsTheData) {
    PacketBuffer buffer("VIDEO BUFFER");
    AVPacket* packet = makePacket("abc", 42);
    packet->pts = 40;
    packet->flags = AV_PKT_FLAG_KEY;
    packet->duration = 7;
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
    PacketBuffer::releasePacket(&out);
    EXPECT_EQ(out.data, nullptr);
}

TEST(PacketBuffer, CopiesSideData) {
    PacketBuffer buffer("VIDEO BUFFER");
    AVPacket* packet = makePacket("pal", 0);
    uint8_t* palette = av_packet_new_side_data(packet, AV_PKT_DATA_PALETTE, 1024);
    ASSERT_NE(palette, nullptr);
    std::memset(palette, 0x5a, 1024);
    buffer.putPacket(*packet);
    av_packet_free(&packet);

    AVPacket out{};
    buffer.getPacket(&out);
    size_t size = 0;
    const uint8_t* copied = av_packet_get_side_data(&out, AV_PKT_DATA_PALETTE, &size);
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(size, 1024u);
    EXPECT_EQ(copied[1023], 0x5a);
    PacketBuffer::releasePacket(&out);
    EXPECT_EQ(out.side_data_elems, 0);
}

TEST(PacketBuffer, QueuesAnEmptyPacket) {
    PacketBuffer buffer("VIDEO BUFFER");
    put(buffer, "", 5);
    EXPECT_FALSE(buffer.isEmpty());
    int64_t dts = 0;
    EXPECT_EQ(take(buffer, &dts), "");
    EXPECT_EQ(dts, 5);
    EXPECT_EQ(buffer.bytesIn, 0);
}

TEST(PacketBuffer, RefillsAfterTheLastPacketIsTaken) {
    PacketBuffer buffer("VIDEO BUFFER");
    put(buffer, "a", 1);
    take(buffer);
    EXPECT_TRUE(buffer.isEmpty());
    put(buffer, "b", 2);
    EXPECT_EQ(buffer.first, buffer.last);
    EXPECT_EQ(buffer.first->prev, nullptr);
    EXPECT_EQ(buffer.first->next, nullptr);
    EXPECT_EQ(take(buffer), "b");
}

TEST(PacketBuffer, CountsPacketsAndBytes) {
    PacketBuffer buffer("AUDIO BUFFER");
    put(buffer, "12345", 1);
    put(buffer, "123", 2);
    take(buffer);
    EXPECT_EQ(buffer.packetsIn, 2);
    EXPECT_EQ(buffer.packetsOut, 1);
    EXPECT_EQ(buffer.bytesIn, 8);
    EXPECT_EQ(buffer.bytesOut, 5);
    EXPECT_EQ(buffer.packetCount, 1);
}

TEST(PacketBuffer, TakingFromAnEmptyQueueReportsAndLeavesThePacket) {
    PacketBuffer buffer("VIDEO BUFFER");
    AVPacket out{};
    out.dts = 99;
    AVPacket* result = nullptr;
    const Console console = captureConsole([&] { result = buffer.getPacket(&out); });
    EXPECT_EQ(result, &out);
    EXPECT_EQ(out.dts, 99);
    EXPECT_EQ(out.data, nullptr);
    EXPECT_EQ(console.out, "\nPacketBuffer:getPacket ERROR, empty packet buffer");
    EXPECT_EQ(buffer.packetsOut, 0);
}

TEST(PacketBuffer, ClearReleasesEveryPacket) {
    PacketBuffer buffer("VIDEO BUFFER");
    for (int i = 0; i < 10; ++i)
        put(buffer, "packet " + std::to_string(i), i);
    buffer.clear();
    EXPECT_TRUE(buffer.isEmpty());
    EXPECT_EQ(buffer.packetCount, 0);
    // What the destructor frees is checked by LeakSanitizer.
    put(buffer, "left behind", 11);
}

} // namespace

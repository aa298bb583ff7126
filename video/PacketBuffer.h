#pragma once

// First-in, first-out queue of demultiplexed packets. The reader parks here
// the packets of one stream that it reads while looking for the other's.

#include <cstdint>

extern "C" {
#include <libavcodec/packet.h>
}

struct PacketNode {
    AVPacket packet;
    PacketNode* prev = nullptr;
    PacketNode* next = nullptr;
};

class PacketBuffer {
public:
    PacketBuffer() = default;
    ~PacketBuffer();
    PacketBuffer(const PacketBuffer&) = delete;
    PacketBuffer& operator=(const PacketBuffer&) = delete;

    // Appends a copy of the packet (data and side data). The caller keeps its
    // own packet and unrefs it afterwards.
    void putPacket(const AVPacket& packet);
    // Moves the oldest packet into *out and returns out. The caller then owns
    // the copied data and releases it with releasePacket.
    AVPacket* getPacket(AVPacket* out);
    bool isEmpty() const { return first == nullptr; }
    // Takes every queued packet out and releases it.
    void clear();

    // Frees a packet taken from a queue: its data block (general-purpose
    // heap) and its side data. Leaves the record empty.
    static void releasePacket(AVPacket* packet);

    PacketNode* last = nullptr;
    PacketNode* first = nullptr;
};

#include "PacketBuffer.h"

#include "Messages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/defs.h>
}

namespace {
constexpr const char* kNodeAllocError = "\nPacketBuffer::putPacket packet memory allocation error";
constexpr const char* kDataAllocError =
    "\nPacketBuffer::putPacket packet data memory allocation error";
constexpr const char* kEmptyError = "\nPacketBuffer:getPacket ERROR, empty packet buffer";
} // namespace

PacketBuffer::~PacketBuffer() {
    clear();
}

void PacketBuffer::putPacket(const AVPacket& packet) {
    auto* node = new (std::nothrow) PacketNode;
    if (node == nullptr) {
        engineMessage(MessageStream::Output, "%s", kNodeAllocError);
        return;
    }
    // Decoders read a few bytes past the end of the data, so the copy keeps
    // the zeroed padding libavcodec expects.
    const size_t size = packet.size > 0 ? static_cast<size_t>(packet.size) : 0;
    auto* data = static_cast<uint8_t*>(std::malloc(size + AV_INPUT_BUFFER_PADDING_SIZE));
    if (data == nullptr) {
        engineMessage(MessageStream::Output, "%s", kDataAllocError);
        delete node;
        return;
    }
    if (size > 0)
        std::memcpy(data, packet.data, size);
    std::memset(data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);

    node->packet = packet;
    // The record must not share the producer's reference-counted buffers.
    node->packet.buf = nullptr;
    node->packet.side_data = nullptr;
    node->packet.side_data_elems = 0;
    node->packet.opaque_ref = nullptr;
    if (av_packet_copy_props(&node->packet, &packet) < 0) {
        // Side data is advisory (palettes, skip counts): the payload still counts.
        av_packet_free_side_data(&node->packet);
    }
    node->packet.data = data;
    node->packet.size = static_cast<int>(size);

    if (first == nullptr) {
        node->prev = nullptr;
        node->next = nullptr;
        first = node;
    } else {
        last->next = node;
        node->prev = last;
        node->next = nullptr;
    }
    last = node;
}

AVPacket* PacketBuffer::getPacket(AVPacket* out) {
    if (first == nullptr) {
        engineMessage(MessageStream::Output, "%s", kEmptyError);
        return out;
    }
    PacketNode* node = first;
    *out = node->packet;
    first = node->next;
    if (first != nullptr)
        first->prev = nullptr;
    delete node;
    return out;
}

void PacketBuffer::clear() {
    AVPacket packet{};
    while (!isEmpty()) {
        getPacket(&packet);
        releasePacket(&packet);
    }
}

void PacketBuffer::releasePacket(AVPacket* packet) {
    std::free(packet->data);
    av_packet_free_side_data(packet);
    av_buffer_unref(&packet->opaque_ref);
    packet->data = nullptr;
    packet->size = 0;
}

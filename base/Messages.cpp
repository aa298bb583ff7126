#include "Messages.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace {

class StandardStreams final : public MessageSink {
public:
    void write(MessageStream stream, const char* text) override {
        std::fputs(text, stream == MessageStream::Error ? stderr : stdout);
    }
    void flush() override { std::fflush(stdout); }
};

StandardStreams standardStreams;
std::atomic<MessageSink*> currentSink{nullptr};

MessageSink& sink() {
    MessageSink* chosen = currentSink.load(std::memory_order_acquire);
    return chosen != nullptr ? *chosen : standardStreams;
}

} // namespace

MessageSink& standardStreamsSink() {
    return standardStreams;
}

void setMessageSink(MessageSink* chosen) {
    currentSink.store(chosen, std::memory_order_release);
}

void engineMessage(MessageStream stream, const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length < static_cast<int>(sizeof text)) {
        sink().write(stream, text);
        return;
    }
    // A path or name longer than the room: format again at full length.
    std::string whole(static_cast<size_t>(length) + 1, '\0');
    va_start(arguments, format);
    std::vsnprintf(whole.data(), whole.size(), format, arguments);
    va_end(arguments);
    sink().write(stream, whole.c_str());
}

void flushEngineMessages() {
    sink().flush();
}

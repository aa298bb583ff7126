#pragma once

// Where the engine's console messages go. The engine (reader, frames,
// fragments, tree) never writes to a stream itself: it hands each message to
// the sink in force, which the player points at its console and a headless
// caller at its own log. Until someone chooses, messages go to standard
// output and standard error, as the player wants them.

#include <cstdarg>

enum class MessageStream { Output, Error };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Called from whichever engine thread has something to say; must not
    // block for long. text is complete, with its own line breaks if any.
    virtual void write(MessageStream stream, const char* text) = 0;
    // Makes what was written so far visible (the console's flush).
    virtual void flush() {}
};

// Standard output and standard error, through stdio.
MessageSink& standardStreamsSink();

// The sink for every later message; null goes back to the standard streams.
// The sink must outlive its use.
void setMessageSink(MessageSink* sink);

// printf-style; the result goes to the sink in force.
void engineMessage(MessageStream stream, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void flushEngineMessages();

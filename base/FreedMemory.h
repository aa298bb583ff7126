#pragma once

// How a long-running process keeps what it frees from staying resident.
// The allocator keeps freed memory for later, and a large block freed in
// the middle of its heap keeps its pages for good: after an hour of opening
// videos and dropping summary trees, most of what is resident is memory
// freed long before.

// Every block of 128 KB or more (a decoded picture's plane, a large
// buffer) gets pages of its own, returned to the system when it is freed.
// The allocator's own rule raises that bound each time such a block is freed,
// and the pictures then end up in the heap. Call once, before threads start.
void keepLargeBlocksApart();

// Returns the free pages of every heap to the system. Takes some
// milliseconds with a large heap and holds each heap's lock meanwhile:
// call it from a worker thread that has just freed much.
void returnFreedMemory();

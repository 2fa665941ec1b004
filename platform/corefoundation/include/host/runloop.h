// Host controls of the main run loop, for the simulator's processes, tests and other stand-ins.
//
// Everything here works on the process's main run loop, the one CFRunLoopGetMain answers. Callbacks
// run only while that loop runs (CFRunLoopRun, CFRunLoopRunInMode, or the run* functions below), on
// the main thread, inside the autorelease pool of the loop's turn. The run* functions must be called
// on the main thread; they abort otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace host::runloop {

// Calls `onReadable` on the main run loop whenever `fd` is readable or at its end (the callback
// should remove the descriptor once it has read the end). Adding a descriptor that is already
// watched replaces its callback. A descriptor closed while still watched is dropped from the loop.
// Safe from any thread.
void addFileDescriptor(int fd, std::function<void()> onReadable);

// Stops watching `fd`; its callback is not called again, even later in the current turn.
void removeFileDescriptor(int fd);

// Handles everything that is ready, one source at a time, and returns when nothing is ready (without
// waiting). Returns the number of sources handled.
size_t runUntilIdle();

// Runs the main loop for `milliseconds`, handling sources as they become ready. Returns early when
// the loop is stopped (CFRunLoopStop) or has nothing it could wait for.
void runFor(int milliseconds);

// Runs the main loop until `done()` answers true (checked before waiting and after every source
// handled) or `timeoutMilliseconds` pass. Answers done()'s last answer.
bool runUntil(const std::function<bool()>& done, int timeoutMilliseconds);

// ---- for stand-ins that queue work of their own --------------------------------------------------

using SourceId = std::uint64_t;

// A source of the main loop: ready when `fd` (or -1 for none) is readable or `hasPending()` answers
// true; `perform()` then handles one piece of work and answers whether it handled anything (a turn
// that handled nothing does not count as a handled source). Both run on the main thread.
SourceId addSource(int fd, std::function<bool()> hasPending, std::function<bool()> perform);
void removeSource(SourceId source);

}  // namespace host::runloop

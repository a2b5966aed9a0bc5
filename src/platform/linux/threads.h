// A thread for work that may block for ever (a sound library waiting on a
// stalled server), so that the thread that started it can give up on it.
#pragma once

namespace platform::linux_system {

// Runs `work(argument)` on a detached thread that takes no signals but the
// processor faults; false when no thread could be started. Whatever the work
// uses must stay alive until it returns: a worker given up on runs on.
bool StartWorker(void (*work)(void*), void* argument);

// Once, where the process starts: every thread, the sound libraries' too,
// gets a stack of the workers' size, and all share one memory arena.
void SetThreadDefaults();

} // namespace platform::linux_system

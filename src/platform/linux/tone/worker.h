// A thread for work that may block for ever (a sound library waiting on a
// stalled server), so that the thread that started it can give up on it.
#pragma once

namespace platform::linux_system {

struct WorkerJob {
    void (*work)();
    int done; // set by StartWorker: readable once `work` has returned
};

// Starts `job.work` on a detached thread that takes no signals but the
// processor faults; false when no thread could be started. The job, and all
// that the work uses, must outlive the thread: a worker that was given up on
// runs on until the process ends.
bool StartWorker(WorkerJob& job);

} // namespace platform::linux_system

// Worker threads on Linux: pthreads, and an eventfd that says "done".
#include "platform/linux/tone/worker.h"

#include <csignal>
#include <cstdint>
#include <initializer_list>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {

void* Run(void* argument) {
    auto& job = *static_cast<WorkerJob*>(argument);
    job.work();
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(job.done, &one, sizeof one);
    return nullptr;
}

} // namespace

bool StartWorker(WorkerJob& job) {
    job.done = eventfd(0, EFD_CLOEXEC);
    if (job.done < 0) return false;
    // The thread inherits this mask: every signal blocked but the faults,
    // which must reach the fault handler wherever they happen.
    sigset_t blocked, previous;
    sigfillset(&blocked);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS})
        sigdelset(&blocked, fault);
    pthread_sigmask(SIG_SETMASK, &blocked, &previous);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    bool started = pthread_create(&thread, &attributes, Run, &job) == 0;
    pthread_attr_destroy(&attributes);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (!started) close(job.done);
    return started;
}

} // namespace platform::linux_system

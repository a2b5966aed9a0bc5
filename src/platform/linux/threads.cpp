// Worker threads on Linux: pthreads with every signal but the faults blocked,
// a stack of their own size and an alternate stack for the fault handler.
// The threads the sound libraries start get the same stack size, and every
// thread shares the one memory arena.
#include "platform/linux/threads.h"

#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <malloc.h>
#include <pthread.h>

#include "platform/linux/faults.h"

namespace platform::linux_system {
namespace {

// Not the process's stack limit, which threads otherwise follow: a user may
// have set it small for the main thread, or large, costing address space.
constexpr std::size_t kStackBytes = 1024 * 1024;

struct Start {
    void (*work)(void*);
    void* argument;
    FaultStack faultStack;
};

// A fault or an overflow on this thread reaches the fault handler, and ends
// with its report, as on the main thread.
void* Run(void* argument) {
    Start* start = static_cast<Start*>(argument);
    start->faultStack.Use();
    start->work(start->argument);
    start->faultStack.Leave();
    std::free(start);
    return nullptr;
}

} // namespace

bool StartWorker(void (*work)(void*), void* argument) {
    // The thread inherits this mask: every signal blocked but the faults,
    // which must reach the fault handler wherever they happen.
    sigset_t blocked, previous;
    sigfillset(&blocked);
    for (int fault : kFaultSignals)
        sigdelset(&blocked, fault);
    pthread_sigmask(SIG_SETMASK, &blocked, &previous);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kStackBytes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    auto* start = static_cast<Start*>(std::malloc(sizeof(Start)));
    pthread_t thread;
    bool started = false;
    if (start != nullptr) {
        start->work = work;
        start->argument = argument;
        started = pthread_create(&thread, &attributes, Run, start) == 0;
        if (!started) std::free(start);
    }
    pthread_attr_destroy(&attributes);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return started;
}

void SetThreadDefaults() {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kStackBytes);
    pthread_setattr_default_np(&attributes);
    pthread_attr_destroy(&attributes);
    // An arena a thread would reserve 64 MiB of address space, which under an
    // address-space limit a sound server's client cannot spare beside its
    // shared memory pools.
    mallopt(M_ARENA_MAX, 1);
}

} // namespace platform::linux_system

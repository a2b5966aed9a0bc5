// Worker threads on Linux: pthreads with every signal but the faults blocked.
#include "platform/linux/tone/worker.h"

#include <csignal>
#include <initializer_list>
#include <pthread.h>

namespace platform::linux_system {

bool StartWorker(void* (*work)(void*), void* argument) {
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
    bool started = pthread_create(&thread, &attributes, work, argument) == 0;
    pthread_attr_destroy(&attributes);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return started;
}

} // namespace platform::linux_system

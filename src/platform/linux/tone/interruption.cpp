// Signal handling while a tone sounds; everything in a handler is
// async-signal-safe, and reaches only the session the guard was given.
#include "platform/linux/tone/interruption.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {

void OnStopSignal(int signal);
void OnTerminalStop(int signal);

// What a handler needs, which only a file-scope variable can hand it.
struct Handled {
    int signal;
    void (*handler)(int);
    struct sigaction previous;
};
Handled handled[] = {
    {SIGINT, OnStopSignal, {}},  {SIGTERM, OnStopSignal, {}},   {SIGHUP, OnStopSignal, {}},
    {SIGQUIT, OnStopSignal, {}}, {SIGTSTP, OnTerminalStop, {}},
};
std::atomic<ToneSession*> guarded{nullptr};
sigset_t maskBefore; // the waiting thread's mask before the guard

static_assert(std::atomic<ToneSession*>::is_always_lock_free,
              "signal handlers need lock-free atomics");

struct sigaction ActionOf(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    return action;
}

void OnStopSignal(int signal) {
    if (ToneSession* session = guarded.load()) session->Stop(signal);
}

// Silences, stops the process as the default action would, and sounds again
// once it is continued.
void OnTerminalStop(int) {
    ToneSession* session = guarded.load();
    if (session != nullptr) session->Silence();
    struct sigaction fallback = ActionOf(SIG_DFL), mine;
    sigaction(SIGTSTP, &fallback, &mine);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, SIGTSTP);
    raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr); // the process stops here
    sigaction(SIGTSTP, &mine, nullptr);
    if (session != nullptr) session->Resume();
}

} // namespace

StopSignalGuard::StopSignalGuard(ToneSession& session) : session_(session) {
    guarded = &session;
    sigset_t stops;
    sigemptyset(&stops);
    for (Handled& entry : handled) {
        sigaction(entry.signal, nullptr, &entry.previous);
        // A signal the caller chose to ignore (a background job's Ctrl-C) stays ignored.
        if (entry.previous.sa_handler == SIG_IGN) continue;
        // No SA_RESTART: a signal also cuts short the wait.
        struct sigaction action = ActionOf(entry.handler);
        sigaction(entry.signal, &action, nullptr);
        sigaddset(&stops, entry.signal);
    }
    pthread_sigmask(SIG_BLOCK, &stops, &maskBefore);
}

StopSignalGuard::~StopSignalGuard() {
    for (Handled& entry : handled)
        sigaction(entry.signal, &entry.previous, nullptr);
    guarded = nullptr;
    pthread_sigmask(SIG_SETMASK, &maskBefore, nullptr);
}

bool StopSignalGuard::WaitFor(int fd, Nanoseconds deadline) const {
    pollfd ready{fd, POLLIN, 0};
    for (;;) {
        if (session_.StopRequested()) return false;
        Nanoseconds left = deadline - Now();
        if (left <= 0) return false;
        timespec timeout{static_cast<time_t>(left / kSecond), static_cast<long>(left % kSecond)};
        // The stop signals are let in only while waiting, so none can slip in
        // between the check above and the wait.
        int result = ppoll(&ready, 1, &timeout, &maskBefore);
        if (result > 0) return true;
        if (result < 0 && errno != EINTR) return false;
    }
}

void EndByStopSignal(int signal) {
    struct sigaction fallback = ActionOf(SIG_DFL);
    sigaction(signal, &fallback, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signal);
    _exit(128 + signal); // only if the default action did not end us
}

} // namespace platform::linux_system

// Signal handling while a tone sounds. A handler only records, in one file-
// scope record; everything else happens on the waiting thread.
// A continue after a stop is no handler's: it stays pending, blocked, until
// the waiting thread has counted the pause, so that the worker can tell a
// pause not yet counted (PauseUncounted) from none.
#include "platform/linux/tone/service/interruption.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {

// What the handlers record: only a file-scope variable can reach a handler.
// The handlers are installed only while a guard is, which clears it first.
struct Recorded {
    volatile sig_atomic_t stop = 0;         // the stop signal, 0 for none
    volatile sig_atomic_t terminalStop = 0; // Ctrl-Z
};
Recorded record;

void OnStopSignal(int signal) { record.stop = signal; }
void OnTerminalStop(int) { record.terminalStop = 1; }

struct Handled {
    int signal;
    void (*handler)(int);
    struct sigaction previous;
};
Handled handled[] = {
    {SIGINT, OnStopSignal, {}},  {SIGTERM, OnStopSignal, {}},   {SIGHUP, OnStopSignal, {}},
    {SIGQUIT, OnStopSignal, {}}, {SIGTSTP, OnTerminalStop, {}},
};
struct sigaction ActionOf(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    return action;
}

// Stops the program as Ctrl-Z's default action would; returns once it goes on.
void StopAsTheTerminalAsked() {
    struct sigaction fallback = ActionOf(SIG_DFL), mine;
    sigaction(SIGTSTP, &fallback, &mine);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, SIGTSTP);
    raise(SIGTSTP);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr); // the process stops here
    pthread_sigmask(SIG_BLOCK, &unblock, nullptr);
    sigaction(SIGTSTP, &mine, nullptr);
}

} // namespace

StopSignalGuard::StopSignalGuard(ToneSession& session) : session_(session) {
    record.stop = 0;
    record.terminalStop = 0;
    sigset_t taken;
    sigemptyset(&taken);
    sigaddset(&taken, SIGCONT);
    for (Handled& entry : handled) {
        sigaction(entry.signal, nullptr, &entry.previous);
        // A signal the caller chose to ignore (a background job's Ctrl-C) stays ignored.
        if (entry.previous.sa_handler == SIG_IGN) continue;
        // No SA_RESTART: a signal also cuts short the wait.
        struct sigaction action = ActionOf(entry.handler);
        sigaction(entry.signal, &action, nullptr);
        sigaddset(&taken, entry.signal);
    }
    pthread_sigmask(SIG_BLOCK, &taken, &maskBefore_);
    waitMask_ = maskBefore_;
    sigaddset(&waitMask_, SIGCONT);
    sigset_t continued;
    sigemptyset(&continued);
    sigaddset(&continued, SIGCONT);
    continued_ = signalfd(-1, &continued, SFD_NONBLOCK | SFD_CLOEXEC);
}

StopSignalGuard::~StopSignalGuard() {
    for (Handled& entry : handled)
        sigaction(entry.signal, &entry.previous, nullptr);
    if (continued_ >= 0) close(continued_);
    pthread_sigmask(SIG_SETMASK, &maskBefore_, nullptr);
}

StopSignalGuard::Woken StopSignalGuard::Wait(int fd, Nanoseconds deadline) {
    pollfd ready[] = {{fd, POLLIN, 0}, {continued_, POLLIN, 0}};
    for (;;) {
        // The stop signals are let in only while waiting, so none can slip in
        // between these checks and the wait.
        if (session_.PauseUncounted()) {
            // Counted before it is taken: the worker never sees neither.
            session_.Continued(Now());
            signalfd_siginfo taken;
            while (read(continued_, &taken, sizeof taken) == sizeof taken) {
            }
            return Woken::kContinued;
        }
        if (int stop = record.stop) {
            session_.Stop(stop);
            return Woken::kStopped;
        }
        Nanoseconds now = Now();
        if (record.terminalStop != 0) {
            record.terminalStop = 0;
            session_.Stopping(now);
            StopAsTheTerminalAsked();
            continue;
        }
        Nanoseconds left = deadline - now;
        if (left <= 0) return Woken::kDeadline;
        session_.Ran(now);
        timespec timeout{static_cast<time_t>(left / kSecond), static_cast<long>(left % kSecond)};
        int result = ppoll(ready, 2, &timeout, &waitMask_);
        if (result > 0 && (ready[0].revents & POLLIN) != 0) return Woken::kReady;
        if (result < 0 && errno != EINTR) return Woken::kDeadline;
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

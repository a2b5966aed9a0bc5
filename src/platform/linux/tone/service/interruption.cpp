// Signal handling while a tone sounds: no handler at all. The signals are
// blocked and read from a signalfd by the waiting thread, which acts on them
// through the call. A continue stays pending until that thread has counted
// the pause, so that the worker can tell a pause not yet counted
// (PauseUncounted) from none.
#include "platform/linux/tone/service/interruption.h"

#include <cerrno>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Stops the program as Ctrl-Z's default action would; returns once it goes
// on. The action is the default one: the guard installs none.
void StopAsTheTerminalAsked() {
    sigset_t terminalStop;
    sigemptyset(&terminalStop);
    sigaddset(&terminalStop, SIGTSTP);
    raise(SIGTSTP);
    pthread_sigmask(SIG_UNBLOCK, &terminalStop, nullptr); // the process stops here
    pthread_sigmask(SIG_BLOCK, &terminalStop, nullptr);
}

bool Ignored(int signal) {
    struct sigaction action {};
    return sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN;
}

} // namespace

StopSignalGuard::StopSignalGuard(ToneCall& call) : call_(call) {
    sigset_t taken;
    sigemptyset(&taken);
    sigaddset(&taken, SIGCONT);
    for (int signal : kStopSignals)
        if (!Ignored(signal)) sigaddset(&taken, signal);
    if (!Ignored(SIGTSTP)) sigaddset(&taken, SIGTSTP);
    // Without a descriptor for them the signals keep their default actions:
    // a stop still ends the program, if less gently.
    signals_ = signalfd(-1, &taken, SFD_NONBLOCK | SFD_CLOEXEC);
    pthread_sigmask(signals_ >= 0 ? SIG_BLOCK : SIG_SETMASK, signals_ >= 0 ? &taken : nullptr,
                    &maskBefore_);
}

StopSignalGuard::~StopSignalGuard() {
    if (signals_ >= 0) close(signals_);
    pthread_sigmask(SIG_SETMASK, &maskBefore_, nullptr);
}

StopSignalGuard::Woken StopSignalGuard::Wait(int fd, Nanoseconds deadline) {
    pollfd ready[] = {{fd, POLLIN, 0}, {signals_, POLLIN, 0}};
    for (;;) {
        // Counted before it is taken: the worker never sees neither.
        bool continued = call_.PauseUncounted();
        if (continued) call_.CountPauseUntil(Now());
        int stop = 0;
        bool terminalStop = false;
        signalfd_siginfo taken;
        while (read(signals_, &taken, sizeof taken) == sizeof taken) {
            int signal = static_cast<int>(taken.ssi_signo);
            if (signal == SIGCONT && !continued) call_.CountPauseUntil(Now()); // it came just now
            continued = continued || signal == SIGCONT;
            terminalStop = terminalStop || signal == SIGTSTP;
            if (signal != SIGCONT && signal != SIGTSTP) stop = signal;
        }
        if (stop != 0) call_.StopBySignal(stop);
        if (call_.StopRequested()) return Woken::kStopped;
        Nanoseconds now = Now();
        if (terminalStop) {
            call_.SilenceForTerminalStop(now);
            StopAsTheTerminalAsked();
            continue;
        }
        Nanoseconds left = deadline - now;
        if (left <= 0) return Woken::kDeadline;
        call_.lastRunning_ = now;
        timespec timeout{static_cast<time_t>(left / kSecond), static_cast<long>(left % kSecond)};
        int result = ppoll(ready, 2, &timeout, nullptr);
        if (result > 0 && (ready[0].revents & POLLIN) != 0) return Woken::kReady;
        if (result < 0 && errno != EINTR) return Woken::kDeadline;
    }
}

void EndByStopSignal(int signal) {
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    raise(signal);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    _exit(128 + signal); // only if the default action did not end us
}

} // namespace platform::linux_system

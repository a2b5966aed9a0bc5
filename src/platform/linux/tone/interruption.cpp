// Signal handling while a tone sounds; everything in a handler is
// async-signal-safe.
#include "platform/linux/tone/interruption.h"

#include <csignal>
#include <cstring>
#include <iterator>
#include <unistd.h>

namespace platform::linux_system {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

volatile sig_atomic_t stopSignal = 0;
SoundHooks soundHooks{nullptr, nullptr};
struct sigaction previous[std::size(kStopSignals) + 1];

void OnStopSignal(int signal) {
    if (soundHooks.silence != nullptr) soundHooks.silence();
    stopSignal = signal;
}

// Silences, stops the process as the default action would, and sounds again
// once it is continued.
void OnTerminalStop(int) {
    if (soundHooks.silence != nullptr) soundHooks.silence();
    struct sigaction fallback = {};
    struct sigaction mine = {};
    fallback.sa_handler = SIG_DFL;
    sigaction(SIGTSTP, &fallback, &mine);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, SIGTSTP);
    raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr); // the process stops here
    sigaction(SIGTSTP, &mine, nullptr);
    if (stopSignal == 0 && soundHooks.resume != nullptr) soundHooks.resume();
}

// A signal the caller chose to ignore (a background job's Ctrl-C) stays ignored.
void Install(int signal, void (*handler)(int), struct sigaction* old) {
    sigaction(signal, nullptr, old);
    if (old->sa_handler == SIG_IGN) return;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(signal, &action, nullptr);
}

} // namespace

StopSignalGuard::StopSignalGuard() {
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        Install(kStopSignals[i], OnStopSignal, &previous[i]);
    Install(SIGTSTP, OnTerminalStop, &previous[std::size(kStopSignals)]);
}

StopSignalGuard::~StopSignalGuard() {
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
    sigaction(SIGTSTP, &previous[std::size(kStopSignals)], nullptr);
    soundHooks = {nullptr, nullptr};
}

bool StopRequested() { return stopSignal != 0; }

void EndByStopSignal() {
    int signal = stopSignal;
    struct sigaction fallback;
    std::memset(&fallback, 0, sizeof fallback);
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signal);
    _exit(128 + signal); // only if the default action did not end us
}

void SetSoundHooks(SoundHooks hooks) { soundHooks = hooks; }

} // namespace platform::linux_system

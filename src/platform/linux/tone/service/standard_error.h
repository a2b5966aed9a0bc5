// The caller's standard error while a tone sounds. tonerix writes nothing
// there, but a sound library may (libpulse does, about folders and cookies it
// cannot use, in its own client and inside ALSA's pulse plugin alike). So
// standard error is /dev/null while the drivers run, and the caller's is set
// aside, for TONERIX_DEBUG's lines alone, and put back after. A user who asks
// a library for its messages (PIPEWIRE_DEBUG, PULSE_LOG) gets them.
#pragma once

namespace platform::linux_system {

// Whether the user asked for TONERIX_DEBUG's lines.
bool DebugAsked();

class StandardErrorSetAside {
  public:
    StandardErrorSetAside();
    ~StandardErrorSetAside();
    StandardErrorSetAside(const StandardErrorSetAside&) = delete;
    StandardErrorSetAside& operator=(const StandardErrorSetAside&) = delete;

    // False when no descriptor could be had for it: nothing was changed, and
    // no library may run, or its messages would reach the caller.
    bool Ready() const { return ready_; }
    // Where TONERIX_DEBUG's lines go, or -1 when the user did not ask.
    int Debug() const { return debug_ ? callers_ : -1; }
    // One line for TONERIX_DEBUG when there is no call to say it.
    void Say(const char* words) const;

  private:
    bool debug_ = false, hidden_ = false, ready_ = true;
    int callers_ = -1; // the caller's standard error, set aside
};

} // namespace platform::linux_system

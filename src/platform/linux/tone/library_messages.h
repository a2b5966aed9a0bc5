// The sound libraries' own messages. tonerix writes nothing to standard error,
// but a library may (libpulse does, about folders and cookies it cannot use,
// in its own client and inside ALSA's pulse plugin alike). While a tone is
// sounded, standard error is /dev/null, and the caller's is put back after.
// A user who asks a library for its messages (PIPEWIRE_DEBUG, PULSE_LOG) gets
// them.
#pragma once

namespace platform::linux_system {

class LibraryMessagesHidden {
  public:
    LibraryMessagesHidden();
    ~LibraryMessagesHidden();
    LibraryMessagesHidden(const LibraryMessagesHidden&) = delete;
    LibraryMessagesHidden& operator=(const LibraryMessagesHidden&) = delete;

  private:
    bool hidden_ = false;
    int callers_ = -1; // the caller's standard error, set aside; -1 if it was closed
};

} // namespace platform::linux_system

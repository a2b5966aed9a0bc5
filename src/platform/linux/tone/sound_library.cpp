// Opening the sound libraries, for the invoking user only.
#include "platform/linux/tone/sound_library.h"

#include <unistd.h>

namespace platform::linux_system {

void* OpenSoundLibrary(ToneSession& session, const char* name) {
    if (getuid() != geteuid() || getgid() != getegid()) {
        session.Say("set-user-ID or set-group-ID: no sound library is loaded");
        return nullptr;
    }
    // Never closed once open: a library may have started threads of its own.
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) session.Say("library not found");
    return library;
}

bool Bound(ToneSession& session, bool all) {
    if (!all) session.Say("the library lacks a function tonerix calls");
    return all;
}

} // namespace platform::linux_system

// Opening the sound libraries, for the invoking user only.
#include "platform/linux/tone/sound_library.h"

#include <unistd.h>

namespace platform::linux_system {

void* OpenSoundLibrary(ToneCall& call, const char* name) {
    // A second lock: the entry has dropped set-user-ID privileges, or ended
    // the run, before any driver runs, so no user meets this.
    if (getuid() != geteuid() || getgid() != getegid()) {
        call.Say(reason::kNotPermitted);
        return nullptr;
    }
    // Never closed once open: a library may have started threads of its own.
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        call.Say(reason::kLibraryNotFound);
    else
        call.TookStep(); // on a cold disk or a slow board, a long one
    return library;
}

bool Bound(ToneCall& call, bool all) {
    if (!all) call.Say(reason::kLibraryLacks);
    return all;
}

} // namespace platform::linux_system

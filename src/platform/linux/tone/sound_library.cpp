// Opening the sound libraries, for the invoking user only.
#include "platform/linux/tone/sound_library.h"

#include <unistd.h>

namespace platform::linux_system {

void* OpenSoundLibrary(const char* name) {
    if (getuid() != geteuid() || getgid() != getegid()) return nullptr;
    // Never closed once open: a library may have started threads of its own.
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

} // namespace platform::linux_system

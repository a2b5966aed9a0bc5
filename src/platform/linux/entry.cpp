// Where Linux hands control to tonerix: the process is made safe, the
// arguments are remembered for the command line, then the program runs.
#include <csignal>
#include <sys/auxv.h>
#include <unistd.h>

#include "platform/linux/command_line.h"
#include "platform/linux/standard_descriptors.h"
#include "platform/linux/threads.h"
#include "platform/platform.h"

namespace {

// A setuid or setgid start must not keep its privileges for a moment longer
// than needed: the audio library and its configuration run as the real user.
void DropPrivileges() {
    if (getauxval(AT_SECURE) == 0) return;
    if (setresgid(getgid(), getgid(), getgid()) != 0 ||
        setresuid(getuid(), getuid(), getuid()) != 0)
        _exit(1);
}

} // namespace

int main(int argc, char** argv) {
    DropPrivileges();
    platform::linux_system::ReserveClosedStandardDescriptors();
    platform::linux_system::SetThreadDefaults();
    // A vanished reader or a file-size limit must show as a failed write
    // (code 32 or 27), not kill us before the run can report it.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    platform::linux_system::RememberArguments(argc, argv);
    ProgramEntry();
}

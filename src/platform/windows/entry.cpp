// Where Windows hands control to tonerix. The fault handler's registration
// lives in this frame, which outlives the whole run: the program never
// returns from its entry.
#include <windows.h>

#include "platform/platform.h"
#include "platform/windows/faults.h"

int main() {
    platform::windows_system::FaultRegistration registration;
    platform::windows_system::RegisterFaultFrame(registration);
    ProgramEntry();
}

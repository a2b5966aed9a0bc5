// The fake platform's implementation of the seam.
#include "fake/fake_platform.h"

#include <csetjmp>
#include <cstdlib>

namespace fake {

Platform& State() {
    static Platform state;
    return state;
}

void Reset() {
    for (void* block : State().liveBlocks)
        std::free(block);
    State() = Platform{};
}

std::string Platform::Output() const {
    std::string all;
    for (const std::string& write : writes)
        all += write;
    return all;
}

} // namespace fake

namespace platform {

using fake::State;

Handle StandardOutput() {
    if (State().standardHandleError != 0) {
        State().lastError = State().standardHandleError;
        return kInvalidHandle;
    }
    return State().outputHandle;
}

FileKind KindOf(Handle) { return State().outputKind; }

bool Write(Handle, const void* bytes, std::uint32_t count) {
    auto& state = State();
    state.writes.emplace_back(static_cast<const char*>(bytes), count);
    if (static_cast<int>(state.writes.size()) == state.faultAtWrite && state.faultHandler)
        state.faultHandler(FaultKind::AccessViolation, 0xFA017);
    auto failure = state.writeFailures.find(static_cast<int>(state.writes.size()));
    if (failure == state.writeFailures.end()) return true;
    state.lastError = failure->second;
    return false;
}

std::uint32_t LastError() { return State().lastError; }
void CloseHandle(Handle handle) { State().closedHandles.push_back(handle); }
void ExitProcess(std::uint32_t status) {
    State().exitStatus = status;
    if (State().exitPoint == nullptr) std::abort(); // an exit outside RunUntilExit
    std::longjmp(*State().exitPoint, 1);
}

const char* CommandLine() {
    ++State().commandLineFetches;
    return State().commandLine.c_str();
}
const char* NextCharacter(const char* position) { return position + 1; }
std::uint32_t ModulePath(char* buffer, std::uint32_t size) {
    const std::string& path = State().modulePath;
    std::uint32_t length = path.size() < size ? static_cast<std::uint32_t>(path.size()) : size;
    path.copy(buffer, length);
    return length;
}

void* Allocate(std::size_t size) {
    auto& state = State();
    if (++state.allocations == state.failAllocationAt) return nullptr;
    void* block = std::malloc(size);
    state.liveBlocks.insert(block);
    return block;
}

bool Release(void* block) {
    auto& state = State();
    if (state.refuseRelease) return false;
    state.liveBlocks.erase(block);
    std::free(block);
    return true;
}

bool Beep(std::uint32_t frequency, std::uint32_t duration) {
    State().beeps.emplace_back(frequency, duration);
    return true;
}

void InstallFaultHandler(FaultHandler handler) { State().faultHandler = handler; }
std::uint32_t CodeLocation(const void* address) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(address));
}

} // namespace platform

// Owned byte strings and the runtime's memory routines (codes 203 and 204).
#include "runtime/text.h"

#include "platform/platform.h"
#include "runtime/error_codes.h"
#include "runtime/termination.h"

// noinline so that the return address names the caller's line in the report.
__attribute__((noinline)) void* AllocateOrFail(std::uint32_t size) {
    void* block = platform::Allocate(size);
    if (block == nullptr) FailHere(error_code::kOutOfMemory, __builtin_return_address(0));
    return block;
}

__attribute__((noinline)) void ReleaseOrFail(void* block) {
    if (block != nullptr && !platform::Release(block))
        FailHere(error_code::kReleaseRefused, __builtin_return_address(0));
}

void Text::DiscardAndResize(std::uint32_t length) {
    if (bytes_ != nullptr) {
        char* old = bytes_;
        bytes_ = nullptr;
        length_ = 0;
        ReleaseOrFail(old);
    }
    if (length == 0) return;
    bytes_ = static_cast<char*>(AllocateOrFail(length));
    length_ = length;
}

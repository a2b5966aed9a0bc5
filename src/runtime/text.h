// The runtime's owned byte string: an explicit length, no terminator, and
// nothing when empty. Memory comes from the platform; running out of it, or
// having a release refused, ends the program with its runtime error code.
#pragma once

#include <cstdint>
#include <string_view>

class Text {
  public:
    Text() = default;
    ~Text() { Clear(); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    // Throws the old content away and gives the text exactly `length` bytes
    // of unspecified content; 0 empties it.
    void DiscardAndResize(std::uint32_t length);
    void Clear() { DiscardAndResize(0); }

    char* Bytes() { return bytes_; }
    std::uint32_t Length() const { return length_; }
    bool Empty() const { return length_ == 0; }
    std::string_view View() const { return {bytes_, length_}; }
    bool operator==(std::string_view other) const { return View() == other; }

  private:
    char* bytes_ = nullptr;
    std::uint32_t length_ = 0;
};

// Memory for the runtime: never returns null, never returns after a refusal.
void* AllocateOrFail(std::uint32_t size);
void ReleaseOrFail(void* block);

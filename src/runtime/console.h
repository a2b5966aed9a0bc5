// Buffered text channels bound to the standard handles.
//
// Output gathers in a 128-byte buffer inside the channel. On a character
// device (a console) each line is handed to the system at its line end; on a
// file or a pipe only full buffers go out, and the rest when the channel is
// closed at shutdown. A failed step never stops the program by itself: it
// stores its code as the thread's pending I/O result, and CheckOutput turns
// that into a runtime failure.
#pragma once

#include <cstdint>
#include <string_view>

struct TextChannel;
// Each operation returns 0 on success, otherwise a failure code.
using ChannelOperation = std::uint32_t (*)(TextChannel&);

enum ChannelMode : std::uint16_t {
    kModeClosed = 0xD7B0,
    kModeInput = 0xD7B1,
    kModeOutput = 0xD7B2,
    kModeInOut = 0xD7B3,
};

inline constexpr std::uint16_t kFlagCrLf = 1;
inline constexpr std::uint32_t kChannelBufferSize = 128;
inline constexpr std::uint32_t kNotOpenForOutput = 105;
inline constexpr std::uint32_t kClosedNotOpen = 103;

struct TextChannel {
    std::uintptr_t handle;
    std::uint16_t mode;
    std::uint16_t flags;
    std::uint32_t bufferSize;
    std::uint32_t bufferPosition;
    std::uint32_t bufferEnd;
    char* bufferPointer;
    ChannelOperation open;
    ChannelOperation transfer;
    ChannelOperation flush;
    ChannelOperation close;
    char name[260];
    char buffer[kChannelBufferSize];
};

// The three standard text channels. Only the console output channel is ever
// written; the other two stay closed.
extern TextChannel StandardInput;
extern TextChannel ConsoleOutput;
extern TextChannel StandardError;

// Start-up: every standard channel closed and empty, no failure pending.
void ResetChannels();

// Appends `text`, preceded by blanks up to `width`; opens the channel on the fly.
TextChannel& WriteText(TextChannel& channel, std::string_view text, std::uint32_t width = 0);
// Appends the line end and runs the channel's flush step.
TextChannel& WriteLine(TextChannel& channel);
// Ends the program with a runtime failure when a channel step has failed.
void CheckOutput();
// Writes out what is buffered and closes the channel. Returns the code of a
// failed write-out or close, 0 otherwise (a channel that was not open too).
std::uint32_t CloseChannel(TextChannel& channel);

// The calling thread's pending I/O result: 0, or the code of the last failed step.
std::uint32_t PendingIoResult();

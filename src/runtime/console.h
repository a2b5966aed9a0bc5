// The console output channel: a buffered text channel bound to standard output.
//
// Output gathers in a 128-byte buffer inside the channel. On a character
// device (a console) each line is handed to the system at its line end; on a
// file or a pipe only full buffers go out, and the rest when the channel is
// closed at shutdown. A failed step never stops the program by itself: it
// stores its code as the thread's pending I/O result, for the caller to act on
// (CheckOutput, with the run's end, turns it into a runtime failure).
#pragma once

#include <cstdint>
#include <string_view>

struct TextChannel;
// Each operation returns 0 on success, otherwise a failure code.
using ChannelOperation = std::uint32_t (*)(TextChannel&);

enum class ChannelMode : std::uint16_t { Closed = 0xD7B0, Output = 0xD7B2 };

inline constexpr std::uint32_t kChannelBufferSize = 128;

// The channel's steps are held as fields, chosen when it opens: a console
// gets a flush that writes each line out, a file or a pipe one that does nothing.
struct TextChannel {
    std::uintptr_t handle;
    ChannelMode mode;
    std::uint32_t bufferPosition; // bytes waiting in the buffer
    ChannelOperation open;
    ChannelOperation transfer; // hands the buffered bytes to the system
    ChannelOperation flush;    // runs after every line end
    ChannelOperation close;
    char buffer[kChannelBufferSize];
};

extern TextChannel ConsoleOutput;

// Start-up: the channel closed and empty, no failure pending.
void ResetChannels();

// Appends `text`; opens the channel on the fly, and drops the text if it cannot.
TextChannel& WriteText(TextChannel& channel, std::string_view text);
// Appends CR LF and runs the channel's flush step.
TextChannel& WriteLine(TextChannel& channel);
// Hands over what is buffered now; returns the failure code, 0 on success.
std::uint32_t FlushChannel(TextChannel& channel);
// Writes out what is buffered and closes the channel. Returns the code of a
// failed write-out or close, 0 otherwise (a channel that was not open too).
std::uint32_t CloseChannel(TextChannel& channel);

// The calling thread's pending I/O result: 0, or the code of the last failed step.
std::uint32_t PendingIoResult();

// The buffered console output channel: which bytes reach standard output,
// when, and how a failed write is remembered.
#include "runtime/console.h"

#include <cstring>

#include "platform/platform.h"
#include "runtime/error_codes.h"

TextChannel ConsoleOutput;

namespace {

thread_local std::uint32_t pendingIoResult = 0;

void StorePending(std::uint32_t code) {
    if (code != 0) pendingIoResult = code;
}

std::uint32_t NoOperation(TextChannel&) { return 0; }

// Hands the buffered bytes to the system. Bytes that fail to go out are
// discarded all the same.
std::uint32_t WriteOut(TextChannel& channel) {
    if (channel.bufferPosition == 0) return 0;
    bool written = platform::Write(channel.handle, channel.buffer, channel.bufferPosition);
    channel.bufferPosition = 0;
    return written ? 0 : platform::LastError();
}

std::uint32_t StandardOpen(TextChannel& channel) {
    channel.bufferPosition = 0;
    channel.transfer = WriteOut;
    channel.close = NoOperation;
    channel.handle = platform::StandardOutput();
    if (channel.handle == platform::kInvalidHandle) {
        channel.mode = ChannelMode::Closed;
        return platform::LastError();
    }
    platform::FileKind kind = platform::KindOf(channel.handle);
    if (kind == platform::FileKind::Unknown) {
        platform::CloseHandle(channel.handle);
        channel.mode = ChannelMode::Closed;
        return error_code::kNotOpenForOutput;
    }
    // A console sees every line as it ends; a file or a pipe gets full buffers.
    channel.flush = kind == platform::FileKind::Character ? WriteOut : NoOperation;
    return 0;
}

// True when the channel is ready for output; otherwise the write is dropped,
// and the next one tries to open it again.
bool OpenOnTheFly(TextChannel& channel) {
    if (channel.mode == ChannelMode::Output) return true;
    channel.mode = ChannelMode::Output;
    if (channel.open == nullptr) channel.open = StandardOpen;
    StorePending(channel.open(channel));
    if (channel.mode == ChannelMode::Output) return true;
    pendingIoResult = error_code::kNotOpenForOutput;
    return false;
}

// Appends bytes, handing the buffer over each time it fills.
void Append(TextChannel& channel, const char* bytes, std::uint32_t count) {
    for (;;) {
        std::uint32_t room = kChannelBufferSize - channel.bufferPosition;
        if (room > count) {
            std::memcpy(channel.buffer + channel.bufferPosition, bytes, count);
            channel.bufferPosition += count;
            return;
        }
        std::memcpy(channel.buffer + channel.bufferPosition, bytes, room);
        channel.bufferPosition = kChannelBufferSize;
        std::uint32_t failure = channel.transfer(channel);
        if (failure != 0) return StorePending(failure); // the rest is dropped
        bytes += room;
        count -= room;
    }
}

} // namespace

void ResetChannels() {
    pendingIoResult = 0; // start-up is the main thread's start
    ConsoleOutput = TextChannel{};
    ConsoleOutput.mode = ChannelMode::Closed;
}

TextChannel& WriteText(TextChannel& channel, std::string_view text) {
    if (OpenOnTheFly(channel))
        Append(channel, text.data(), static_cast<std::uint32_t>(text.size()));
    return channel;
}

TextChannel& WriteLine(TextChannel& channel) {
    if (!OpenOnTheFly(channel)) return channel;
    Append(channel, "\r\n", 2);
    StorePending(channel.flush(channel));
    return channel;
}

std::uint32_t FlushChannel(TextChannel& channel) {
    return channel.mode == ChannelMode::Output ? channel.transfer(channel) : 0;
}

std::uint32_t CloseChannel(TextChannel& channel) {
    if (channel.mode != ChannelMode::Output) {
        pendingIoResult = error_code::kClosedNotOpen;
        return 0;
    }
    std::uint32_t failure = channel.transfer(channel);
    if (failure == 0) failure = channel.close(channel);
    StorePending(failure);
    channel.mode = ChannelMode::Closed;
    return failure;
}

std::uint32_t PendingIoResult() { return pendingIoResult; }

// The buffered console output channel: which bytes reach standard output,
// when, and how a failed write is remembered.
#include "runtime/console.h"

#include <cstring>
#include <initializer_list>

#include "platform/platform.h"
#include "runtime/termination.h"

TextChannel StandardInput;
TextChannel ConsoleOutput;
TextChannel StandardError;

namespace {

thread_local std::uint32_t pendingIoResult = 0;

// Lines end with CR LF; nothing in the program changes this.
constexpr std::uint8_t kDefaultLineBreakStyle = kFlagCrLf;

void StorePending(std::uint32_t code) {
    if (code != 0) pendingIoResult = code;
}

std::uint32_t NoOperation(TextChannel&) { return 0; }

// Hands the buffered bytes to the system. Bytes that fail to go out are
// discarded all the same, and a short write counts as success.
std::uint32_t WriteOut(TextChannel& channel) {
    if (channel.bufferPosition == 0) return 0;
    bool written = platform::Write(channel.handle, channel.bufferPointer, channel.bufferPosition);
    channel.bufferPosition = 0;
    return written ? 0 : platform::LastError();
}

std::uint32_t StandardOpen(TextChannel& channel) {
    channel.bufferPosition = 0;
    channel.bufferEnd = 0;
    channel.transfer = WriteOut;
    channel.flush = NoOperation;
    channel.bufferSize = kChannelBufferSize;
    channel.close = NoOperation;
    channel.bufferPointer = channel.buffer;

    platform::Handle handle =
        platform::StandardHandle(&channel == &StandardError ? platform::StandardStream::Error
                                                            : platform::StandardStream::Output);
    if (handle == platform::kInvalidHandle) {
        channel.mode = kModeClosed;
        return platform::LastError();
    }
    channel.handle = handle;
    switch (platform::KindOf(handle)) {
    case platform::FileKind::Unknown:
        platform::CloseHandle(handle);
        channel.mode = kModeClosed;
        return kNotOpenForOutput;
    case platform::FileKind::Character:
        channel.flush = WriteOut; // a console sees every line as it ends
        return 0;
    default:
        return 0;
    }
}

void OpenForOutput(TextChannel& channel) {
    if (channel.mode != kModeClosed) CloseChannel(channel);
    channel.mode = kModeOutput;
    if (channel.open == nullptr && channel.name[0] == '\0') channel.open = StandardOpen;
    StorePending(channel.open(channel));
}

// True when the channel is ready for output; otherwise the write is dropped.
bool OpenOnTheFly(TextChannel& channel) {
    if (channel.mode == kModeOutput) return true;
    if (&channel == &ConsoleOutput || &channel == &StandardError) {
        channel.flags = kDefaultLineBreakStyle;
        OpenForOutput(channel);
    }
    if (channel.mode == kModeOutput) return true;
    pendingIoResult = kNotOpenForOutput;
    return false;
}

// Appends bytes, handing the buffer over each time it fills.
void Append(TextChannel& channel, const char* bytes, std::uint32_t count) {
    for (;;) {
        std::uint32_t room = channel.bufferSize - channel.bufferPosition;
        if (room > count) {
            std::memcpy(channel.bufferPointer + channel.bufferPosition, bytes, count);
            channel.bufferPosition += count;
            return;
        }
        std::memcpy(channel.bufferPointer + channel.bufferPosition, bytes, room);
        channel.bufferPosition = channel.bufferSize;
        std::uint32_t failure = channel.transfer(channel);
        if (failure != 0) {
            StorePending(failure);
            return;
        }
        bytes += room;
        count -= room;
    }
}

} // namespace

void ResetChannels() {
    pendingIoResult = 0; // start-up is the main thread's start
    for (TextChannel* channel : {&StandardInput, &ConsoleOutput, &StandardError}) {
        *channel = TextChannel{};
        channel->mode = kModeClosed;
    }
}

TextChannel& WriteText(TextChannel& channel, std::string_view text, std::uint32_t width) {
    if (!OpenOnTheFly(channel)) return channel;
    static constexpr char kBlanks[] =
        "                                                                ";
    static_assert(sizeof kBlanks - 1 == 64);
    for (std::uint32_t missing = width > text.size() ? width - text.size() : 0; missing > 0;) {
        std::uint32_t piece = missing < 64 ? missing : 64;
        Append(channel, kBlanks, piece);
        missing -= piece;
        if (pendingIoResult != 0) break;
    }
    Append(channel, text.data(), static_cast<std::uint32_t>(text.size()));
    return channel;
}

TextChannel& WriteLine(TextChannel& channel) {
    if (!OpenOnTheFly(channel)) return channel;
    if (channel.flags & kFlagCrLf)
        Append(channel, "\r\n", 2);
    else
        Append(channel, "\n", 1);
    if (channel.mode == kModeOutput || channel.mode == kModeInOut)
        StorePending(channel.flush(channel));
    return channel;
}

// noinline so that the return address is the place just after the caller's call.
__attribute__((noinline)) void CheckOutput() {
    if (pendingIoResult == 0) return;
    RuntimeFailure(pendingIoResult, platform::CodeLocation(__builtin_return_address(0)));
}

std::uint32_t CloseChannel(TextChannel& channel) {
    std::uint32_t failure = 0;
    switch (channel.mode) {
    case kModeOutput:
    case kModeInOut:
        failure = channel.transfer(channel);
        if (failure == 0) failure = channel.close(channel);
        break;
    case kModeInput:
        failure = channel.close(channel);
        break;
    default:
        if (&channel != &StandardInput) pendingIoResult = kClosedNotOpen;
        return 0;
    }
    StorePending(failure);
    channel.mode = kModeClosed;
    return failure;
}

std::uint32_t PendingIoResult() { return pendingIoResult; }

// Round-trip bookkeeping for the sound-server drivers.
#include "platform/linux/tone/server_watch.h"

#include "platform/linux/tone/interruption.h"

namespace platform::linux_system {
namespace {
constexpr Nanoseconds kAskEvery = 50 * kMillisecond;
// A sink may take a second or two to wake (Bluetooth, some USB and HDMI
// sinks); past this, a live server whose sink never plays is given up too.
constexpr Nanoseconds kLongestWake = 4 * kSecond;
} // namespace

ServerWatch::ServerWatch(const ToneRequest& request)
    : lastAnswer_(Now()), latest_(request.end + kLongestWake) {}

bool ServerWatch::TimeToAsk() const { return !pending_ && Now() - lastAnswer_ >= kAskEvery; }

void ServerWatch::Answered() {
    lastAnswer_ = Now();
    pending_ = false;
    everAnswered_ = true;
    NoteServerAnswer();
}

bool ServerWatch::GiveUp() const {
    Nanoseconds now = Now();
    return StopRequested() || now - lastAnswer_ > kAnswerLimit || now > latest_;
}

} // namespace platform::linux_system

// The sound-server drivers' wait loop and its round-trip bookkeeping.
#include "platform/linux/tone/server_watch.h"

#include <algorithm>
#include <cstdio>

#include "platform/linux/tone/tone_service.h"

namespace platform::linux_system {
namespace {
constexpr Nanoseconds kAskEvery = 50 * kMillisecond;
// Short enough that the loop notices a stop or the tone's end promptly.
constexpr Nanoseconds kSlice = 10 * kMillisecond;
// A sink may take a second or two to wake (Bluetooth, some USB and HDMI
// sinks); past this, a live server whose sink never plays is given up too.
constexpr Nanoseconds kLongestWake = 4 * kSecond;
} // namespace

StreamName::StreamName(std::uint32_t frequency) {
    std::snprintf(text, sizeof text, "%u Hz tone", static_cast<unsigned>(frequency));
}

ServerWatch::ServerWatch(ToneSession& session)
    : session_(session), lastAnswer_(Now()), latest_(session.Request().end + kLongestWake) {}

ServerWatch::Step ServerWatch::Run(Conversation conversation) {
    for (;;) {
        Nanoseconds now = Now();
        Nanoseconds heardBy = heardBy_;
        if (heardBy != 0 && now >= heardBy) return Step::kPlayed;
        if (session_.StopRequested() || GiveUp(now)) return Step::kGivenUp;
        if (!pending_ && now - lastAnswer_ >= kAskEvery && conversation.ask(conversation.driver))
            pending_ = true;
        Nanoseconds slice = heardBy != 0 ? std::min(kSlice, heardBy - now + kMillisecond) : kSlice;
        Step step = conversation.step(conversation.driver, static_cast<int>(slice / kMillisecond));
        if (step != Step::kGoOn) return step;
    }
}

void ServerWatch::Answered() {
    lastAnswer_ = Now();
    pending_ = false;
    everAnswered_ = true;
    session_.NoteServerAnswer();
}

bool ServerWatch::GiveUp(Nanoseconds now) const {
    return now - lastAnswer_ > kAnswerLimit || now > latest_;
}

} // namespace platform::linux_system

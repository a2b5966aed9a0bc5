// The sound-server drivers' wait loop and its round-trip bookkeeping.
#include "platform/linux/tone/server_watch.h"

#include <algorithm>
#include <cstdio>

namespace platform::linux_system {
namespace {
constexpr Nanoseconds kAskEvery = 50 * kMillisecond;
// How long a nearby sound server may leave a round trip unanswered, past the
// tone's end, before it is taken for dead. Longer than a server's hiccup,
// short enough that a dead server costs the caller little; a server further
// away gets a few of its round trips.
constexpr Nanoseconds kAnswerLimit = 240 * kMillisecond;
// Short enough that the loop notices a stop or the tone's end promptly.
constexpr Nanoseconds kSlice = 10 * kMillisecond;
// A turn of the loop this much longer than its slice means tonerix itself
// was not running: stopped, descheduled, or the machine asleep.
constexpr Nanoseconds kOwnPause = 150 * kMillisecond;
// How long a session manager may take to link a new stream to a sink.
constexpr Nanoseconds kLinkWait = 250 * kMillisecond;
// A sink may take a second or two to wake (Bluetooth, some USB and HDMI
// sinks); past this, a live server whose sink never plays is given up too.
constexpr Nanoseconds kLongestWake = 4 * kSecond;
} // namespace

StreamName::StreamName(std::uint32_t frequency) {
    std::snprintf(text, sizeof text, "%u Hz tone", static_cast<unsigned>(frequency));
}

ServerWatch::ServerWatch(ToneSession& session)
    : session_(session), askedAt_(Now()), lastTurn_(askedAt_) {
    Expect();
}

ServerWatch::Step ServerWatch::Run(Conversation conversation) {
    for (;;) {
        Nanoseconds now = Now();
        if (now - lastTurn_ > kOwnPause) {
            // The server cannot be blamed for time tonerix was not running.
            askedAt_ = now;
            Expect();
        }
        lastTurn_ = now;
        Nanoseconds heardBy = heardBy_;
        if (heardBy != 0 && now >= heardBy) return Ended(Step::kPlayed, "sounded the tone");
        if (const char* why = GiveUp(now)) return Ended(Step::kGivenUp, why);
        if (!pending_ && now - askedAt_ >= kAskEvery && conversation.ask(conversation.driver))
            Asked();
        Nanoseconds slice = heardBy != 0 ? std::min(kSlice, heardBy - now + kMillisecond) : kSlice;
        Step step = conversation.step(conversation.driver, static_cast<int>(slice / kMillisecond));
        if (step == Step::kPlayed) return Ended(step, "sounded the tone");
        if (step != Step::kGoOn) return Ended(step, "the connection or the stream was lost");
    }
}

void ServerWatch::Answered() {
    if (!pending_) return; // nothing was asked
    Nanoseconds now = Now();
    // RFC 6298's smoothing, with the handshake as the first sample.
    Nanoseconds sample = now - askedAt_;
    if (srtt_ == 0) {
        srtt_ = std::max<Nanoseconds>(sample, 1);
        rttvar_ = sample / 2;
    } else {
        rttvar_ = (3 * rttvar_ + std::max(srtt_ - sample, sample - srtt_)) / 4;
        srtt_ = (7 * srtt_ + sample) / 8;
    }
    pending_ = false;
    everAnswered_ = true;
    askedAt_ = now; // the next question is due kAskEvery after this answer
    Expect();
}

void ServerWatch::Linked(bool linked) {
    if (!linked && unlinkedSince_ == 0) unlinkedSince_ = Now();
    if (linked) unlinkedSince_ = 0;
}

void ServerWatch::Asked() {
    pending_ = true;
    askedAt_ = Now();
}

void ServerWatch::Expect() { session_.ExpectAnswerBy(AnswerDue()); }

Nanoseconds ServerWatch::AnswerDue() const {
    // Before the first answer nothing is known of the path: the question's
    // clock starts at the tone's end at the earliest.
    Nanoseconds from = srtt_ == 0 ? std::max(askedAt_, session_.Request().end) : askedAt_;
    return from + (pending_ ? 0 : kAskEvery) + AnswerLimit();
}

Nanoseconds ServerWatch::AnswerLimit() const {
    return std::max(kAnswerLimit, srtt_ + std::max(srtt_, 4 * rttvar_));
}

const char* ServerWatch::GiveUp(Nanoseconds now) const {
    if (session_.StopRequested()) return "stopped by a signal";
    Nanoseconds end = session_.Request().end;
    if (now < end) return nullptr;
    Nanoseconds unlinkedSince = unlinkedSince_;
    if (unlinkedSince != 0 && now - unlinkedSince > kLinkWait)
        return "nothing plays the stream (no session manager, or no sink)";
    if (pending_ && now > AnswerDue()) return "the server stopped answering";
    if (now > end + kLongestWake) return "the sink never played the tone";
    return nullptr;
}

ServerWatch::Step ServerWatch::Ended(Step step, const char* outcome) {
    session_.Say(outcome);
    return step;
}

} // namespace platform::linux_system

// The sound-server drivers' wait loop: facts in, the verdict out.
#include "platform/linux/tone/servers/server_watch.h"

#include <cstdio>

namespace platform::linux_system {

StreamName::StreamName(std::uint32_t frequency) {
    std::snprintf(text, sizeof text, "%u Hz tone", static_cast<unsigned>(frequency));
}

// Both libraries open a local socket as they start to connect, and PulseAudio
// a TCP one in its loop: the first question's look finds the server's process
// then, or a later look does.
ServerWatch::ServerWatch(ToneCall& call, ServerPeer peer) : call_(call), peer_(peer) {
    facts_.toneEnd = call.Request().end;
    Asked();
}

void ServerWatch::LookAtPeer(bool asking) {
    // A library may open its TCP connection in its loop, after the first
    // look: a peer found late in the handshake is watched from then.
    bool late = facts_.answeredAt == 0 && !peer_.Found() && peer_.Find();
    facts_.peer = peer_.State();
    facts_.peerSeenAt = Now();
    if (asking || late) facts_.peerRanAtAsk = facts_.peer.known ? facts_.peer.ran : -1;
}

Verdict::Kind ServerWatch::Run(Conversation conversation) {
    for (;;) {
        call_.TookStep(); // the library returned: not stuck in a call
        facts_.notRunning = call_.NotRunning();
        facts_.resumedAt = call_.ResumedAt();
        facts_.stopRequested = call_.StopRequested();
        facts_.pauseUncounted = call_.PauseUncounted();
        facts_.heardBy = heardBy_;
        facts_.sounded = sounded_;
        if (facts_.askedAt != 0) LookAtPeer(false);
        if (facts_.sounded) call_.Sounding();
        Verdict verdict = Judge(facts_, Now());
        // Before giving up by the clock: an answer this thread had no
        // processor to read is an answer. The library reads it once, then
        // the verdict is asked again.
        if (verdict.kind == Verdict::kGiveUp && !facts_.stopRequested && !facts_.lost &&
            !readBeforeGivingUp_ && peer_.Spoke()) {
            readBeforeGivingUp_ = true;
            conversation.wait(conversation.driver, Now());
            continue;
        }
        readBeforeGivingUp_ = false;
        // The service waits for this worker until then.
        call_.GiveUpBy(GiveUpTime(facts_));
        if (verdict.kind != Verdict::kGoOn) {
            if (sounded_) call_.Sounding(); // a buffer taken since the facts were read
            bool lost = facts_.lost && !facts_.stopRequested && lostBecause_ != nullptr;
            if (verdict.why != nullptr) call_.Say(lost ? lostBecause_ : verdict.why);
            return verdict.kind;
        }
        if (verdict.ask && conversation.ask(conversation.driver)) {
            Asked();
            continue;
        }
        conversation.wait(conversation.driver, verdict.until);
    }
}

void ServerWatch::Answered() {
    if (facts_.askedAt == 0) return; // nothing was asked
    Nanoseconds now = Now();
    // A round trip that spans a stop of tonerix's own says nothing of the path.
    if (call_.ResumedAt() < facts_.askedAt) facts_.path.Sample(now - facts_.askedAt);
    facts_.askedAt = 0;
    facts_.answeredAt = now;
}

void ServerWatch::Asked() {
    facts_.askedAt = Now();
    facts_.notRunningAtAsk = call_.NotRunning();
    LookAtPeer(true);
}

void ServerWatch::Lost(const char* why) {
    if (!facts_.lost) lostBecause_ = why;
    facts_.lost = true;
}

} // namespace platform::linux_system

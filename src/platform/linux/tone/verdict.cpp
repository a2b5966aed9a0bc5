// The sound-server verdict (heard, go on, or give up), and the worker's.
#include "platform/linux/tone/verdict.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/linux/tone/reasons.h"
#include "platform/linux/tone/sine.h"

namespace platform::linux_system {
namespace {

// The tone's end, moved on by the time tonerix was not running.
Nanoseconds RunningEnd(const ServerFacts& facts) { return facts.toneEnd + facts.notRunning; }

// When the next question goes out: one is due to be answered by the end, so
// that a server dead by then is known by then; after the end, one at a time.
Nanoseconds NextAsk(const ServerFacts& facts) {
    return std::max(RunningEnd(facts) - facts.path.Limit(), facts.answeredAt + kAskEvery);
}

// A local server's process busy since the question went out: ready to run
// (a machine short of processors), or it ran (a relay to a far server).
bool PeerBusy(const ServerFacts& facts) {
    const PeerState& peer = facts.peer;
    bool ran = facts.peerRanAtAsk >= 0 && peer.ran != facts.peerRanAtAsk;
    return peer.known && !peer.stopped && (!peer.asleep || ran);
}

// When the question pending, or else the next one, should have been answered.
Nanoseconds AnswerDue(const ServerFacts& facts) {
    if (facts.askedAt == 0) return NextAsk(facts) + facts.path.Limit();
    // Time tonerix was not running is not held against the server, and before
    // the first answer nothing is known of the path: the clock starts at the
    // tone's end at the earliest.
    Nanoseconds from = std::max(facts.askedAt, facts.resumedAt);
    if (facts.answeredAt == 0) from = std::max(from, RunningEnd(facts));
    Nanoseconds due = from + facts.path.Limit();
    // A busy server's answer is late, not lost: it has until the next look.
    return PeerBusy(facts) ? std::max(due, facts.peerSeenAt + kAskEvery) : due;
}

Verdict GiveUp(const char* why) { return {Verdict::kGiveUp, why, 0, false}; }
Verdict NothingLinks() { return GiveUp(reason::kNothingLinks); }

// A local server's process is worth looking for, and at, while it has
// sounded nothing and left the handshake unanswered (a library may open a TCP
// connection after the first look).
bool WatchingPeer(const ServerFacts& facts) {
    return facts.answeredAt == 0 && facts.askedAt != 0 && !facts.sounded;
}

// When the handshake's question has waited the answer limit, counting only
// the time tonerix was running: a question still in our own send buffer, or
// an answer we had no processor to read, is not the server's delay.
Nanoseconds LookAtPeerBy(const ServerFacts& facts) {
    return facts.askedAt + (facts.notRunning - facts.notRunningAtAsk) + kAnswerLimit;
}

// A local server that has not answered the handshake within the answer
// limit, and meanwhile was stopped, or slept without running (nothing to do,
// so it never read the question), will not answer: the next driver gets the
// tone. One busy, or waiting for the disk, is late, not silent. Of a server
// elsewhere only its machine is seen: once that has the whole question, the
// answer is due within the limit of the round trip the kernel measured.
bool WillNotAnswer(const ServerFacts& facts, Nanoseconds now) {
    if (!WatchingPeer(facts) || facts.peer.spoke) return false;
    if (facts.peer.unseen) {
        RoundTrip path{facts.peer.rtt, facts.peer.rttvar};
        return facts.peer.acked && now >= LookAtPeerBy(facts) - kAnswerLimit + path.Limit();
    }
    if (now < LookAtPeerBy(facts)) return false;
    bool seenAtAsk = facts.peer.known && facts.peerRanAtAsk >= 0;
    return facts.peer.stopped || (seenAtAsk && !PeerBusy(facts));
}

} // namespace

void RoundTrip::Sample(Nanoseconds sample) {
    if (srtt == 0) {
        srtt = std::max<Nanoseconds>(sample, 1);
        rttvar = sample / 2;
        return;
    }
    rttvar = (3 * rttvar + std::max(srtt - sample, sample - srtt)) / 4;
    srtt = (7 * srtt + sample) / 8;
}

Nanoseconds RoundTrip::Limit() const {
    return std::max(kAnswerLimit, srtt + std::max(srtt, 4 * rttvar));
}

Nanoseconds GiveUpTime(const ServerFacts& facts) {
    // All of the tone is queued: the server took it, and it is heard by then.
    if (facts.heardBy != 0) return facts.heardBy;
    Nanoseconds end = RunningEnd(facts);
    if (facts.link == Link::kNothing) return end;
    return std::clamp(AnswerDue(facts), end, end + kLongestWake);
}

Verdict Judge(const ServerFacts& facts, Nanoseconds now) {
    if (facts.stopRequested) return GiveUp(reason::kStoppedBySignal);
    if (facts.lost) return GiveUp(reason::kLost);
    // Declined while there is still time for the next driver to sound it.
    if (facts.link == Link::kNothing && !facts.sounded) return NothingLinks();
    if (WillNotAnswer(facts, now))
        return GiveUp(facts.peer.stopped ? reason::kServerStopped : reason::kNoAnswer);
    if (facts.heardBy != 0 && now >= facts.heardBy)
        return {Verdict::kHeard, nullptr, 0, false}; // the driver said it was sounding
    if (facts.heardBy != 0) return {Verdict::kGoOn, nullptr, facts.heardBy, false};
    Nanoseconds end = RunningEnd(facts);
    Nanoseconds giveUp = GiveUpTime(facts);
    if (now >= giveUp && facts.pauseUncounted) // judged again once it is counted
        return {Verdict::kGoOn, nullptr, now + kMillisecond, false};
    if (now >= giveUp) { // never before the end
        if (facts.link == Link::kNothing) return NothingLinks();
        if (now >= end + kLongestWake) return GiveUp(reason::kSinkNeverPlayed);
        return GiveUp(reason::kStoppedAnswering);
    }
    // A question is worth asking only when its answer comes by the end or
    // after: only then does it tell a slow sink from a dead server.
    // None is, for a stream that nothing will link.
    bool asking = facts.askedAt == 0 && facts.link != Link::kNothing;
    bool ask = asking && now >= NextAsk(facts);
    Nanoseconds until = giveUp;
    if (asking && !ask) until = std::min(until, NextAsk(facts));
    // The handshake unanswered: look at the server's process again once the
    // answer limit has passed, and then as often as a question is asked.
    if (WatchingPeer(facts)) {
        Nanoseconds look = LookAtPeerBy(facts);
        until = std::min(until, now < look ? look : now + kAskEvery);
    }
    return {Verdict::kGoOn, nullptr, until, ask};
}

StreamBuffer PulseStreamBuffer(const RoundTrip& path, std::uint64_t toneFrames,
                               std::uint32_t rate) {
    auto framesFor = [rate](Nanoseconds time) {
        return SineGenerator::FramesFor(rate, static_cast<std::uint32_t>(time / kMillisecond));
    };
    Nanoseconds ahead = std::clamp(4 * path.srtt, kLeastAheadTime, kMostAheadTime);
    auto target = static_cast<std::uint32_t>(std::min(toneFrames, framesFor(ahead)) * 2);
    auto sinkAhead = static_cast<std::uint32_t>(framesFor(kSinkAheadTime) * 2);
    // The sink keeps the target less twice the request ahead of what plays.
    return {target, target > sinkAhead ? (target - sinkAhead) / 2 : kServerDefault};
}

bool PipeWireRecentEnough(const char* version) {
    unsigned major = 0, minor = 0, micro = 0;
    if (std::sscanf(version, "%u.%u.%u", &major, &minor, &micro) != 3) return false;
    return major > 0 || minor > 3 || (minor == 3 && micro >= 49);
}

Nanoseconds PulseHeardBy(Nanoseconds now, const PulseTiming& timing, std::uint32_t rate) {
    auto after = static_cast<std::uint64_t>(std::max<std::int64_t>(0, timing.sinceUnderrunBytes));
    Nanoseconds silence = timing.playing ? 0 : PlayingTime(after / sizeof(std::int16_t), rate);
    return now + std::max<Nanoseconds>(timing.sinkLatency - silence - timing.transport, 0);
}

Nanoseconds PipeWireHeardBy(Nanoseconds now, std::uint32_t lastFrames, std::uint32_t rate,
                            std::int64_t delay, Fraction tick) {
    Nanoseconds device = delay > 0 && tick.denom != 0 ? delay * kSecond * tick.num / tick.denom : 0;
    return now + PlayingTime(lastFrames, rate) + device;
}

Nanoseconds AlsaGiveUpBy(Nanoseconds now, Nanoseconds queued) {
    return now + queued + kAnswerLimit;
}

bool AlsaDrainNow(Nanoseconds queued, Nanoseconds before) {
    return queued <= kDrainTail || (before >= 0 && queued >= before);
}

std::uint64_t AlsaUnplayed(std::int64_t delay, std::int64_t inRing, std::uint64_t written) {
    std::int64_t unplayed = delay < 0 ? inRing : inRing < 0 ? delay : std::min(delay, inRing);
    return std::min<std::uint64_t>(std::max<std::int64_t>(unplayed, 0), written);
}

bool DebugWanted(const char* value) {
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

bool ToneTimeOver(Nanoseconds now, Nanoseconds began, std::uint32_t duration,
                  Nanoseconds notRunning) {
    return now >= began + Nanoseconds{duration} * kMillisecond + notRunning;
}

NextDriver AfterDriver(bool sounded, bool stopRequested, bool toneTimeOver) {
    if (sounded || stopRequested) return NextDriver::kNone;
    return toneTimeOver ? NextDriver::kLast : NextDriver::kNext;
}

Nanoseconds WorkerDue(const WorkerFacts& facts) {
    // The time it was stopped or had no processor is not held against it.
    return std::max(facts.toneEnd + facts.notRunning + kToneGrace,
                    facts.giveUpBy != 0 ? facts.giveUpBy + kVerdictGrace : 0);
}

WorkerVerdict JudgeWorker(const WorkerFacts& facts, WorkerLooks& looks, Nanoseconds now) {
    bool tookStep = facts.steps != looks.steps;
    looks.steps = facts.steps;
    Nanoseconds due = WorkerDue(facts);
    if (now < due) {
        looks.ranAtStep = looks.ranAtLook = -1;
        return {false, due};
    }
    bool ranSinceLook = looks.ranAtLook >= 0 && facts.use.ran > looks.ranAtLook;
    if (looks.ranAtStep < 0 || tookStep) looks.ranAtStep = facts.use.ran;
    looks.ranAtLook = facts.use.ran;
    Nanoseconds ranSinceStep = facts.use.ran - looks.ranAtStep;
    // A step since the last look: it is moving, however slowly.
    if (tookStep) return {false, now + kSpinAllowance};
    bool asleepInACall = !facts.use.ready && !facts.use.othersReady && !ranSinceLook;
    if (asleepInACall || ranSinceStep >= kSpinAllowance) return {true, 0};
    // Waiting for a processor or the disk: it cannot have used its allowance
    // before then.
    return {false, now + kSpinAllowance - ranSinceStep};
}

} // namespace platform::linux_system

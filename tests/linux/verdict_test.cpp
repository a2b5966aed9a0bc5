// The sound-server verdict, one row per situation a server can be in: what it
// decides, and the time that goes with it (when to judge again, or when it
// gives up).
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "platform/linux/tone/verdict.h"

namespace {

using namespace platform::linux_system;

constexpr Nanoseconds kMs = kMillisecond;
constexpr Nanoseconds kEnd = 100 * kSecond; // the tone's end, unless a row moves it
constexpr Nanoseconds kLongest = 4'294'967'295 * kMs;

// A near server (a 1 ms round trip) whose stream is linked, that answered its
// last question at `answered` (0: never); each row changes what it needs.
struct Facts : ServerFacts {
    explicit Facts(Nanoseconds answered) {
        toneEnd = kEnd;
        answeredAt = answered;
        path = {1 * kMs, 0};
        link = Link::kLinked;
    }
    Facts& Asked(Nanoseconds at) { return askedAt = at, *this; }
    Facts& Links(Link how) { return link = how, *this; }
    Facts& Away(Nanoseconds roundTrip) { return path = {roundTrip, 0}, *this; }
    Facts& Paused(Nanoseconds length, Nanoseconds resumed) {
        return notRunning = length, resumedAt = resumed, *this;
    }
    Facts& Heard(Nanoseconds by) { return heardBy = by, *this; }
    Facts& Ends(Nanoseconds at) { return toneEnd = at, *this; }
    Facts& Lost() { return lost = true, *this; }
    Facts& Stopped() { return stopRequested = true, *this; }
    Facts& Uncounted() { return pauseUncounted = true, *this; }
    Facts& Sounded() { return sounded = true, *this; }
    // The server's process, as /proc shows it (`state` as in its stat file)
    // at `seen`, and whether it ran since the question.
    Facts& Peer(char state, bool ranSinceAsked, Nanoseconds seen = 0) {
        peer = {true, false, state == 'T', state == 'S', 50 * kMs};
        peerRanAtAsk = ranSinceAsked ? 40 * kMs : 50 * kMs;
        peerSeenAt = seen;
        return *this;
    }
    // A TCP server elsewhere, as the kernel sees the connection.
    Facts& Elsewhere(bool acked, Nanoseconds roundTrip) {
        peer.unseen = true, peer.acked = acked, peer.rtt = roundTrip;
        return *this;
    }
};

struct Row {
    const char* situation;
    ServerFacts facts;
    Nanoseconds now;
    Verdict::Kind kind;
    const char* why;  // the start of the words said, for kGiveUp
    Nanoseconds time; // kGoOn: until; kGiveUp: GiveUpTime, unless 0
    bool ask = false;
};

TEST(VerdictTest, EachSituation) {
    using K = Verdict;
    const Nanoseconds limit = kAnswerLimit, e = kEnd;
    const Row rows[] = {
        {"near server, sink ready: heard when the last of the tone is",
         Facts(e - 200 * kMs).Heard(e + 21 * kMs), e + 21 * kMs, K::kHeard, nullptr, 0},
        {"all queued: waits to be heard, asking nothing", Facts(e - 200 * kMs).Heard(e + 21 * kMs),
         e, K::kGoOn, nullptr, e + 21 * kMs},
        {"before the end nothing is asked", Facts(e - 900 * kMs), e - 800 * kMs, K::kGoOn, nullptr,
         e - limit},
        {"then one question, due by the end", Facts(e - 900 * kMs), e - limit, K::kGoOn, nullptr, e,
         true},
        {"sink slow by 0.3 s, the server answering", Facts(e + 290 * kMs), e + 300 * kMs, K::kGoOn,
         nullptr, e + 340 * kMs},
        {"sink slow by 3.9 s", Facts(e + 3890 * kMs), e + 3900 * kMs, K::kGoOn, nullptr,
         e + 3940 * kMs},
        {"sink slow by 4.5 s: given up 4 s after the end", Facts(e + 3990 * kMs), e + kLongestWake,
         K::kGiveUp, "the sink never", e + kLongestWake},
        {"a crowd: no link yet, but a session manager", Facts(e + 990 * kMs).Links(Link::kAwaited),
         e + kSecond, K::kGoOn, nullptr, e + 1040 * kMs},
        {"nothing will link the stream: declined at once, the next driver has time",
         Facts(e - 900 * kMs).Links(Link::kNothing), e - 900 * kMs, K::kGiveUp, "nothing links", e},
        {"the link gone mid-tone: the rest of the tone is waited out",
         Facts(e - 100 * kMs).Links(Link::kNothing).Sounded(), e - 50 * kMs, K::kGoOn, nullptr, e},
        {"the link gone mid-tone: given up at the end",
         Facts(e - 100 * kMs).Links(Link::kNothing).Sounded(), e, K::kGiveUp, "nothing links", e},
        {"a failed stream (no memory for its buffers): declined at once",
         Facts(e - 900 * kMs).Lost(), e - 900 * kMs, K::kGiveUp, "the connection", 0},
        {"handshake never answered: the question's clock starts at the end",
         Facts(0).Asked(e - 250 * kMs), e + 239 * kMs, K::kGoOn, nullptr, e + limit},
        {"handshake never answered (a 1 ms tone too), past its limit", Facts(0).Asked(e - 1 * kMs),
         e + limit, K::kGiveUp, "the server stopped", e + limit},
        {"server paused mid-tone, back before the end: asked again", Facts(e - 20 * kMs),
         e + 30 * kMs, K::kGoOn, nullptr, e + 30 * kMs + limit, true},
        {"server gone at the end", Facts(e).Lost(), e, K::kGiveUp, "the connection", 0},
        {"server stalled at the end", Facts(e - 10 * kMs).Asked(e), e + limit, K::kGiveUp,
         "the server stopped", e + limit},
        {"stalled at the end, its process asleep and not run since: given up",
         Facts(e - 10 * kMs).Asked(e).Peer('S', false, e + limit), e + limit, K::kGiveUp,
         "the server stopped", e + limit},
        {"its process stopped: given up", Facts(e - 10 * kMs).Asked(e).Peer('T', false, e + limit),
         e + limit, K::kGiveUp, "the server stopped", e + limit},
        {"its process ready with no processor (a busy machine): late, looked at again",
         Facts(e - 10 * kMs).Asked(e).Peer('R', false, e + limit), e + limit, K::kGoOn, nullptr,
         e + limit + kAskEvery},
        {"its process ran since the question: late",
         Facts(e - 10 * kMs).Asked(e).Peer('S', true, e + 3 * kSecond), e + 3 * kSecond, K::kGoOn,
         nullptr, e + 3 * kSecond + kAskEvery},
        {"busy all along: given up 4 s after the end",
         Facts(e - 10 * kMs).Asked(e).Peer('R', false, e + kLongestWake), e + kLongestWake,
         K::kGiveUp, "the sink never", e + kLongestWake},
        {"the round trip jumping after the end, within the floor", Facts(e - 10 * kMs).Asked(e),
         e + 200 * kMs, K::kGoOn, nullptr, e + limit},
        {"a server 300 ms away gets a few of its round trips",
         Facts(e - 10 * kMs).Asked(e).Away(600 * kMs), e + 1100 * kMs, K::kGoOn, nullptr,
         e + 1200 * kMs},
        {"tonerix stopped 0.5 s: the end moves on, and the question due by it",
         Facts(e - 700 * kMs).Paused(500 * kMs, e - 100 * kMs), e + 400 * kMs, K::kGoOn, nullptr,
         e + 500 * kMs, true},
        {"tonerix stopped 5 s with a question out: its clock starts at the continue",
         Facts(e - 5500 * kMs).Asked(e - 5400 * kMs).Paused(5 * kSecond, e + 4900 * kMs),
         e + 5100 * kMs, K::kGoOn, nullptr, e + 4900 * kMs + limit},
        {"tonerix stopped 5 s: the 4 s cap counts running time",
         Facts(e + 8990 * kMs).Paused(5 * kSecond, e), e + 9 * kSecond, K::kGiveUp,
         "the sink never", e + 9 * kSecond},
        {"tonerix went on, its pause not counted yet: nothing is given up",
         Facts(e - 10 * kMs).Asked(e).Uncounted(), e + kSecond, K::kGoOn, nullptr,
         e + kSecond + kMs},
        {"the longest tone", Facts(e + kLongest + 3990 * kMs).Ends(e + kLongest),
         e + kLongest + kLongestWake, K::kGiveUp, "the sink never", e + kLongest + kLongestWake},
        {"a stop signal", Facts(e).Stopped(), e - kSecond, K::kGiveUp, "stopped by a signal", 0},
        {"handshake unanswered 240 ms, the server stopped: declined while the next has time",
         Facts(0).Asked(e - 2 * kSecond).Peer('T', false), e - 2 * kSecond + limit, K::kGiveUp,
         "the server is stopped", 0},
        {"handshake unanswered by a process asleep that never ran since: declined",
         Facts(0).Asked(e - 2 * kSecond).Peer('S', false), e - 2 * kSecond + limit, K::kGiveUp,
         "the server took the connection", 0},
        {"asleep but it ran since the question (a relay to a far server): looked at again",
         Facts(0).Asked(e - 2 * kSecond).Peer('S', true), e - 2 * kSecond + limit, K::kGoOn,
         nullptr, e - 2 * kSecond + limit + kAskEvery},
        {"a server elsewhere has the handshake, unanswered 240 ms on a near path: declined",
         Facts(0).Asked(e - 2 * kSecond).Elsewhere(true, kMs), e - 2 * kSecond + limit, K::kGiveUp,
         "the server took the connection", 0},
        {"one 300 ms away gets its round trips first",
         Facts(0).Asked(e - 2 * kSecond).Elsewhere(true, 300 * kMs), e - 2 * kSecond + limit,
         K::kGoOn, nullptr, e - 2 * kSecond + limit + kAskEvery},
        {"its machine not known to have the handshake: the answer is waited for",
         Facts(0).Asked(e - 2 * kSecond).Elsewhere(false, kMs), e - kSecond, K::kGoOn, nullptr,
         e - kSecond + kAskEvery},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        Verdict verdict = Judge(row.facts, row.now);
        ASSERT_EQ(verdict.kind, row.kind);
        if (row.kind == K::kGoOn) {
            EXPECT_EQ(verdict.until, row.time);
            EXPECT_EQ(verdict.ask, row.ask);
        }
        if (row.kind == K::kGiveUp) {
            EXPECT_EQ(std::strncmp(verdict.why, row.why, std::strlen(row.why)), 0) << verdict.why;
            if (row.time != 0) {
                EXPECT_EQ(GiveUpTime(row.facts), row.time);
            }
        }
    }
}

// The service's judgement of its worker, one look at a time. `looked` is its
// processor time at a look past due before this one (-1: none), its steps
// unchanged since.
TEST(VerdictTest, EachWorkerSituation) {
    struct WorkerRow {
        const char* situation;
        Nanoseconds giveUpBy, notRunning, looked;
        bool ready, tookStep;
        Nanoseconds ran, now;
        bool giveUp;
        Nanoseconds until = 0;
    };
    const Nanoseconds e = kEnd, due = kEnd + kToneGrace, spin = kSpinAllowance;
    const WorkerRow rows[] = {
        {"a device driver: judged at the end and its grace", 0, 0, -1, false, false, 0, e, false,
         due},
        {"asleep in a call past it: a stalled server", 0, 0, -1, false, false, 0, due, true},
        {"a server's verdict waits longer", e + kSecond, 0, -1, false, false, 0, due, false,
         e + kSecond + kVerdictGrace},
        {"starved 2 s by a busy machine", 0, 2 * kSecond, -1, false, false, 0, e + kSecond, false,
         due + 2 * kSecond},
        {"waiting for a processor now", 0, 0, 0, true, false, 5 * kMs, due, false,
         due + spin - 5 * kMs},
        {"spinning in a call with the processor", 0, 0, 0, true, false, spin, due, true},
        {"a step since the last look: slow, not stuck", 0, 0, 0, true, true, spin, due, false,
         due + spin},
        {"asleep just after a step", 0, 0, -1, false, true, 0, due, false, due + spin},
        {"asleep, but it ran since the last look: paging a library in", 0, 0, 0, false, false,
         5 * kMs, due, false, due + spin - 5 * kMs},
        {"paging in, and its allowance used", 0, 0, 0, false, false, spin, due, true},
    };
    for (const WorkerRow& row : rows) {
        SCOPED_TRACE(row.situation);
        WorkerLooks looks{1, row.looked < 0 ? -1 : 0, row.looked};
        WorkerFacts facts{kEnd, row.notRunning, row.giveUpBy, row.tookStep ? 2u : 1u,
                          ProcessorUse{row.ready, row.ran}};
        WorkerVerdict verdict = JudgeWorker(facts, looks, row.now);
        EXPECT_EQ(verdict.giveUp, row.giveUp);
        EXPECT_EQ(verdict.giveUp ? 0 : verdict.until, row.until);
    }
    // Stopped 5 s: judged that much later, and a look before due forgets the
    // looks past an earlier due.
    WorkerLooks looks{1, 0, 0};
    EXPECT_EQ(JudgeWorker({kEnd, 5 * kSecond, 0, 1, {}}, looks, due).until, due + 5 * kSecond);
    EXPECT_EQ(looks.ranAtLook, -1);
    // Asleep at two looks while a library's own thread, which it may wait
    // for, has no processor: late, not stuck.
    EXPECT_FALSE(JudgeWorker({kEnd, 0, 0, 1, {false, 0, true}}, looks = {1, 0, 0}, due).giveUp);
}

// PulseAudio's buffer: (round trip ms, tone frames, target bytes, request
// bytes): near, far (capped at 2 s), a tone shorter than the buffer, and one
// shorter than the sink's 20 ms; and the PipeWire versions passed by.
TEST(VerdictTest, EachStreamSize) {
    const std::uint32_t buffers[][4] = {{1, 48000, 48000, (48000 - 1920) / 2},
                                        {600, 480000, 192000, (192000 - 1920) / 2},
                                        {1, 4800, 9600, (9600 - 1920) / 2},
                                        {1, 480, 960, kServerDefault}};
    for (const auto& b : buffers) {
        StreamBuffer size =
            PulseStreamBuffer({static_cast<Nanoseconds>(b[0]) * kMs, 0}, b[1], 48000);
        EXPECT_EQ((std::pair{size.target, size.request}), (std::pair{b[2], b[3]}));
    }
    for (auto [version, recent] :
         {std::pair{"0.3.49", true}, {"0.3.48", false}, {"1.0.0", true}, {"x", false}})
        EXPECT_EQ(PipeWireRecentEnough(version), recent) << version;
}

// When the last sample is heard, and how long ALSA's drain may take: the
// servers' units (bytes of 16-bit mono, the device's ticks) turned to time.
TEST(VerdictTest, EachHeardByTime) {
    const Nanoseconds t = kEnd;
    struct Row {
        const char* situation;
        Nanoseconds heardBy, expected;
    };
    for (const Row& r : {
             Row{"PulseAudio: the sink holds 40 ms, 2 ms away",
                 PulseHeardBy(t, {40 * kMs, 2 * kMs, true, 9600}, 48000), t + 38 * kMs},
             Row{"PulseAudio: ran out 10 ms ago (960 bytes): silence played since",
                 PulseHeardBy(t, {40 * kMs, 0, false, 960}, 48000), t + 30 * kMs},
             Row{"PulseAudio: the sink has played it all by now",
                 PulseHeardBy(t, {5 * kMs, 0, false, 9600}, 48000), t},
             Row{"PulseAudio: no timing (the question failed)",
                 PulseHeardBy(t, {0, 0, true, 0}, 48000), t},
             Row{"PipeWire: a 1024-frame buffer and 512 ticks of 1/48000 s",
                 PipeWireHeardBy(t, 1024, 48000, 512, {1, 48000}),
                 t + PlayingTime(1024, 48000) + 512 * kSecond / 48000},
             Row{"PipeWire: no delay known", PipeWireHeardBy(t, 480, 48000, 512, {1, 0}),
                 t + 10 * kMs},
             Row{"ALSA: half a second queued", AlsaGiveUpBy(t, 500 * kMs),
                 t + 500 * kMs + kAnswerLimit},
         })
        EXPECT_EQ(r.heardBy, r.expected) << r.situation;
    // A question's answer limit: RFC 6298's smoothed round trip, never under
    // 240 ms, and widened at once by a jump in the path's delay.
    RoundTrip path;
    EXPECT_EQ(path.Limit(), kAnswerLimit);
    path.Sample(100 * kMs);
    EXPECT_EQ(path.Limit(), 300 * kMs);
    path.Sample(300 * kMs);
    EXPECT_EQ(path.Limit(), 125 * kMs + 350 * kMs);
    // The drivers' time: the tone's length from when they began (late, on a
    // busy machine), moved on by the time they were not running.
    EXPECT_FALSE(ToneTimeOver(t + 110 * kMs, t, 100, 20 * kMs));
    EXPECT_TRUE(ToneTimeOver(t + 120 * kMs, t, 100, 20 * kMs));
    // ALSA's queue, now and at the last look: the drain takes its tail, or
    // what is left once it stops shrinking (the device's own latency).
    for (auto [queued, before, now] : {std::tuple{400 * kMs, Nanoseconds{-1}, false},
                                       {15 * kMs, Nanoseconds{-1}, true},
                                       {40 * kMs, 60 * kMs, false},
                                       {40 * kMs, 40 * kMs, true},
                                       {41 * kMs, 40 * kMs, true}})
        EXPECT_EQ(AlsaDrainNow(queued, before), now) << queued << " after " << before;
    // Dropped for Ctrl-Z, with 24000 frames written: the device's delay and
    // what its ring holds (-1: not known) give what is written again.
    for (auto [delay, inRing, unplayed] : {std::tuple{4810, 4800, 4800}, // a card's own latency
                                           {9600, 4800, 4800}, // a server's graph behind it
                                           {4800, 6800, 4800}, // a plugin's late pointer
                                           {-1, 4800, 4800},
                                           {4800, -1, 4800},
                                           {-1, -1, 0},
                                           {30000, 30000, 24000}})
        EXPECT_EQ(AlsaUnplayed(delay, inRing, 24000), unplayed) << delay << ", " << inRing;
    for (auto [value, wanted] : {std::pair<const char*, bool>{nullptr, false},
                                 {"", false},
                                 {"0", false},
                                 {"1", true},
                                 {"yes", true}})
        EXPECT_EQ(DebugWanted(value), wanted) << (value ? value : "unset");
}

} // namespace

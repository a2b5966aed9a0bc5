// The sound-server verdict, one row per situation a server can be in: what it
// decides, and the time that goes with it (when to judge again, or when it
// gives up).
#include <gtest/gtest.h>

#include <cstring>

#include "platform/linux/tone/servers/verdict.h"

namespace {

using namespace platform::linux_system;

constexpr Nanoseconds kMs = kMillisecond;
constexpr Nanoseconds kEnd = 100 * kSecond; // the tone's end in every row
// A near server: the handshake measured a round trip of 1 ms.
constexpr RoundTrip kNear{1 * kMs, 0};

struct Row {
    const char* situation;
    ServerFacts facts;
    Nanoseconds now;
    Verdict::Kind kind;
    const char* why;  // the start of the words said, for kGiveUp
    Nanoseconds time; // kGoOn: until; kGiveUp: GiveUpTime; kHeard: unchecked
    bool ask = false;
};

// The facts of a near server that answered its last question at `answeredAt`.
ServerFacts Answered(Nanoseconds answeredAt, Link link = Link::kLinked) {
    ServerFacts facts;
    facts.toneEnd = kEnd;
    facts.answeredAt = answeredAt;
    facts.path = kNear;
    facts.link = link;
    return facts;
}
ServerFacts With(ServerFacts facts, void (*change)(ServerFacts&)) {
    change(facts);
    return facts;
}

TEST(VerdictTest, EachSituation) {
    using K = Verdict;
    const Row rows[] = {
        {"near server, sink ready: heard when the last of the tone is",
         With(Answered(kEnd - 200 * kMs), [](ServerFacts& f) { f.heardBy = kEnd + 21 * kMs; }),
         kEnd + 21 * kMs, K::kHeard, nullptr, 0},
        {"all queued: wait for it to be heard, asking nothing",
         With(Answered(kEnd - 200 * kMs), [](ServerFacts& f) { f.heardBy = kEnd + 21 * kMs; }),
         kEnd, K::kGoOn, nullptr, kEnd + 21 * kMs},
        {"before the end nothing is asked", Answered(kEnd - 900 * kMs), kEnd - 800 * kMs, K::kGoOn,
         nullptr, kEnd - kAnswerLimit},
        {"then one question, due by the end", Answered(kEnd - 900 * kMs), kEnd - kAnswerLimit,
         K::kGoOn, nullptr, kEnd, true},
        {"sink slow by 0.3 s, the server answering", Answered(kEnd + 290 * kMs), kEnd + 300 * kMs,
         K::kGoOn, nullptr, kEnd + 340 * kMs},
        {"sink slow by 1.5 s", Answered(kEnd + 1490 * kMs), kEnd + 1500 * kMs, K::kGoOn, nullptr,
         kEnd + 1540 * kMs},
        {"sink slow by 3.9 s", Answered(kEnd + 3890 * kMs), kEnd + 3900 * kMs, K::kGoOn, nullptr,
         kEnd + 3940 * kMs},
        {"sink slow by 4.5 s: given up 4 s after the end", Answered(kEnd + 3990 * kMs),
         kEnd + 4 * kSecond, K::kGiveUp, "the sink never", kEnd + kLongestWake},
        {"a crowd: no link yet, but a session manager", Answered(kEnd + 990 * kMs, Link::kAwaited),
         kEnd + kSecond, K::kGoOn, nullptr, kEnd + 1040 * kMs},
        {"nothing will link the stream: given up at the end",
         Answered(kEnd - 100 * kMs, Link::kNothing), kEnd, K::kGiveUp, "nothing links", kEnd},
        {"the link gone mid-tone: the rest of the tone is waited out",
         Answered(kEnd - 100 * kMs, Link::kNothing), kEnd - 50 * kMs, K::kGoOn, nullptr, kEnd},
        {"handshake never answered: the question's clock starts at the end",
         With(Answered(0), [](ServerFacts& f) { f.askedAt = kEnd - 250 * kMs; }), kEnd + 239 * kMs,
         K::kGoOn, nullptr, kEnd + kAnswerLimit},
        {"handshake never answered, past its limit",
         With(Answered(0), [](ServerFacts& f) { f.askedAt = kEnd - 250 * kMs; }),
         kEnd + kAnswerLimit, K::kGiveUp, "the server stopped", kEnd + kAnswerLimit},
        {"server paused mid-tone, back before the end: asked again at the end",
         Answered(kEnd - 20 * kMs), kEnd + 30 * kMs, K::kGoOn, nullptr,
         kEnd + 30 * kMs + kAnswerLimit, true},
        {"server gone at the end", With(Answered(kEnd), [](ServerFacts& f) { f.lost = true; }),
         kEnd, K::kGiveUp, "the connection", 0},
        {"server stalled at the end",
         With(Answered(kEnd - 10 * kMs), [](ServerFacts& f) { f.askedAt = kEnd; }),
         kEnd + kAnswerLimit, K::kGiveUp, "the server stopped", kEnd + kAnswerLimit},
        {"a server 300 ms away gets a few of its round trips",
         With(Answered(kEnd - 10 * kMs),
              [](ServerFacts& f) {
                  f.path = {600 * kMs, 0};
                  f.askedAt = kEnd;
              }),
         kEnd + 1100 * kMs, K::kGoOn, nullptr, kEnd + 1200 * kMs},
        {"the round trip jumping after the end, within the floor",
         With(Answered(kEnd - 10 * kMs), [](ServerFacts& f) { f.askedAt = kEnd; }),
         kEnd + 200 * kMs, K::kGoOn, nullptr, kEnd + kAnswerLimit},
        {"tonerix stopped 0.5 s: the end moves on, and the question due by it",
         With(Answered(kEnd - 700 * kMs),
              [](ServerFacts& f) {
                  f.notRunning = 500 * kMs;
                  f.resumedAt = kEnd - 100 * kMs;
              }),
         kEnd + 400 * kMs, K::kGoOn, nullptr, kEnd + 500 * kMs, true},
        {"tonerix stopped 5 s with a question out: its clock starts at the continue",
         With(Answered(kEnd - 5500 * kMs),
              [](ServerFacts& f) {
                  f.askedAt = kEnd - 5400 * kMs;
                  f.notRunning = 5 * kSecond;
                  f.resumedAt = kEnd + 4900 * kMs;
              }),
         kEnd + 5100 * kMs, K::kGoOn, nullptr, kEnd + 4900 * kMs + kAnswerLimit},
        {"tonerix stopped 5 s: the 4 s cap counts running time",
         With(Answered(kEnd + 8990 * kMs), [](ServerFacts& f) { f.notRunning = 5 * kSecond; }),
         kEnd + 9 * kSecond, K::kGiveUp, "the sink never", kEnd + 9 * kSecond},
        {"a 1 ms tone on a dead server",
         With(Answered(0), [](ServerFacts& f) { f.askedAt = kEnd - kMs; }), kEnd + kAnswerLimit,
         K::kGiveUp, "the server stopped", kEnd + kAnswerLimit},
        {"the longest tone",
         With(Answered(0),
              [](ServerFacts& f) {
                  f.toneEnd = kEnd + 4'294'967'295 * kMs;
                  f.answeredAt = f.toneEnd + 3990 * kMs;
              }),
         kEnd + 4'294'967'295 * kMs + kLongestWake, K::kGiveUp, "the sink never",
         kEnd + 4'294'967'295 * kMs + kLongestWake},
        {"a stop signal", With(Answered(kEnd), [](ServerFacts& f) { f.stopRequested = true; }),
         kEnd - kSecond, K::kGiveUp, "stopped by a signal", 0},
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

} // namespace

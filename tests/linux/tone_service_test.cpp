// The tone service over fake drivers: the range it accepts, the order in
// which drivers are tried, that it never returns before the tone is over, and
// that each call's drivers see their own tone.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <unistd.h>

#include "platform/linux/tone/tone_call.h"
#include "platform/linux/tone/verdict.h"

namespace {

using namespace platform::linux_system;

std::mutex logLock; // the drivers run on the service's worker thread
std::string calls;  // one entry per driver call, in order

void Log(const std::string& entry) {
    std::lock_guard<std::mutex> hold(logLock);
    calls += entry;
}

template <char kLetter, bool kSounds, int kTakesMs = 0> void Driver(ToneCall& call) {
    Log(std::string(1, kLetter));
    usleep(kTakesMs * 1000);
    if (kSounds) call.Sounding();
}
constexpr ToneDriver kTwoDeclineThenOneSounds[] = {{"a", Driver<'a', false>},
                                                   {"b", Driver<'b', false>},
                                                   {"c", Driver<'c', true>},
                                                   {"d", Driver<'d', true>}};
// The first declines once the tone's time is over: only the last is left.
constexpr ToneDriver kOneDeclinesLate[] = {
    {"a", Driver<'a', false, 80>}, {"b", Driver<'b', true>}, {"c", Driver<'c', true>}};

TEST(ToneServiceTest, AcceptsTheRangeTriesDriversInOrderAndNeverEndsEarly) {
    struct Case {
        std::uint32_t frequency, duration;
        bool accepted;
        std::string calls;
        std::span<const ToneDriver> drivers = kTwoDeclineThenOneSounds;
    };
    for (const Case& c : {Case{36, 50, false, ""}, Case{37, 50, true, "abc"},
                          Case{32767, 50, true, "abc"}, Case{32768, 50, false, ""},
                          Case{440, 0, true, ""}, Case{440, 50, true, "ac", kOneDeclinesLate}}) {
        SCOPED_TRACE(testing::Message() << c.frequency << " Hz " << c.duration << " ms");
        calls.clear();
        Nanoseconds began = Now();
        EXPECT_EQ(SoundTone(c.drivers, c.frequency, c.duration), c.accepted);
        Nanoseconds took = Now() - began;
        std::lock_guard<std::mutex> hold(logLock);
        EXPECT_EQ(calls, c.calls);
        // The drivers return at once: the service itself waits out the tone,
        // and returns at once when it sounds nothing.
        if (c.calls.empty()) {
            EXPECT_LT(took, 20 * kMillisecond);
        } else {
            EXPECT_GE(took, c.duration * kMillisecond);
        }
    }
}

// How long the stuck drivers below take: far past the point where a worker
// is given up on, even on a loaded machine, where a spinning one gets its
// processor allowance only slowly.
constexpr Nanoseconds kStuckFor = 1000 * kMillisecond;

// Logs its tone, hangs well past the call that was given up on, then logs the
// tone it sees once more.
void Hangs(ToneCall& session) {
    Log(std::to_string(session.Request().frequency) + " ");
    usleep(kStuckFor / kMicrosecond);
    Log(std::to_string(session.Request().frequency) + " ");
}
// Holds the processor, as a library spinning in a call would; or, taking a
// step every 30 ms, as a slow machine sets a library up.
template <bool kTakesSteps> void Spins(ToneCall& session) {
    Log(std::to_string(session.Request().frequency) + " ");
    for (Nanoseconds until = Now() + kStuckFor, step = Now(); Now() < until;) {
        if (kTakesSteps && Now() >= step) {
            session.TookStep();
            step += 30 * kMillisecond;
        }
    }
    Log(std::to_string(session.Request().frequency) + " ");
}
void Sounds(ToneCall& session) {
    Log(std::to_string(session.Request().frequency) + " ");
    session.Sounding();
}

TEST(ToneServiceTest, ACallGivenUpOnLeavesTheNextCallItsOwnTone) {
    // Asleep in a call, or spinning with the processor: either is given up
    // on after the tone's end, once a look finds it took no step, and the
    // call returns before the driver does. One that keeps taking steps is
    // waited for. (How soon each is given up is the verdict's table.)
    struct Case {
        ToneDriver driver;
        bool givenUp;
    };
    for (const Case& c : {Case{{"hangs", Hangs}, true}, Case{{"spins", Spins<false>}, true},
                          Case{{"crawls", Spins<true>}, false}}) {
        SCOPED_TRACE(c.driver.name);
        calls.clear();
        const ToneDriver drivers[] = {c.driver}, sounds[] = {{"sounds", Sounds}};
        Nanoseconds began = Now();
        EXPECT_TRUE(SoundTone(drivers, 440, 20));
        EXPECT_EQ(Now() - began < kStuckFor, c.givenUp);
        // As long as the stuck driver: it has logged again by the end.
        EXPECT_TRUE(SoundTone(sounds, 880, kStuckFor / kMillisecond));
        std::lock_guard<std::mutex> hold(logLock);
        EXPECT_EQ(calls, c.givenUp ? "440 880 440 " : "440 440 880 ");
    }
}

} // namespace

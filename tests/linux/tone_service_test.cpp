// The tone service over fake drivers: the range it accepts, the order in
// which drivers are tried, and that it never returns before the tone is over.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "platform/linux/tone/tone.h"

namespace {

using namespace platform::linux_system;

std::mutex logLock; // the drivers run on the service's worker thread
std::string calls;  // one letter per driver call, in order

template <char kLetter, bool kSounds> bool Driver(const ToneRequest&) {
    std::lock_guard<std::mutex> hold(logLock);
    calls += kLetter;
    return kSounds;
}
constexpr ToneDriver kTwoDeclineThenOneSounds[] = {{"a", Driver<'a', false>},
                                                   {"b", Driver<'b', false>},
                                                   {"c", Driver<'c', true>},
                                                   {"d", Driver<'d', true>}};

TEST(ToneServiceTest, AcceptsTheRangeTriesDriversInOrderAndNeverEndsEarly) {
    struct Case {
        std::uint32_t frequency, duration;
        bool accepted;
        std::string calls;
    };
    for (const Case& c :
         {Case{36, 50, false, ""}, Case{37, 50, true, "abc"}, Case{32767, 50, true, "abc"},
          Case{32768, 50, false, ""}, Case{440, 0, true, ""}}) {
        SCOPED_TRACE(testing::Message() << c.frequency << " Hz " << c.duration << " ms");
        calls.clear();
        Nanoseconds began = Now();
        EXPECT_EQ(SoundTone(kTwoDeclineThenOneSounds, c.frequency, c.duration), c.accepted);
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

} // namespace

// The tone's samples: length, level, ramps, pitch and a buffer that does not grow.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/linux/tone/clock.h"
#include "platform/linux/tone/sine.h"

namespace {

using platform::linux_system::SineGenerator;

std::vector<std::int16_t> Generate(std::uint32_t rate, std::uint32_t frequency, std::uint32_t ms) {
    SineGenerator tone(rate, frequency, SineGenerator::FramesFor(rate, ms));
    std::vector<std::int16_t> samples;
    std::int16_t period[960];
    while (std::uint32_t count = tone.Fill(period, 960))
        samples.insert(samples.end(), period, period + count);
    return samples;
}

// Pitch from the first and last upward zero crossings, interpolated between samples.
double MeasuredPitch(const std::vector<std::int16_t>& samples, double rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            double at = i - 1 + double(-samples[i - 1]) / (samples[i] - samples[i - 1]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0 : (crossings - 1) * rate / (last - first);
}

TEST(SineTest, FrameCountIsRoundedRateTimesDuration) {
    struct Case {
        std::uint32_t rate, ms;
        std::uint64_t frames;
    };
    const Case cases[] = {{48000, 250, 12000}, {44100, 1, 44},
                          {44100, 10, 441},    {22050, 1, 22},
                          {48000, 0, 0},       {48000, 4294967295u, 206158430160ull},
                          {11025, 3, 33}};
    for (const Case& c : cases)
        EXPECT_EQ(SineGenerator::FramesFor(c.rate, c.ms), c.frames) << c.rate << "/" << c.ms;
    EXPECT_EQ(Generate(48000, 440, 250).size(), 12000u);
}

TEST(SineTest, PlayingTimeStaysExactForTheLongestTone) {
    using platform::linux_system::PlayingTime;
    struct Case {
        std::uint64_t frames;
        std::uint32_t rate;
        std::int64_t nanoseconds;
    };
    const Case cases[] = {
        {48000, 48000, 1'000'000'000},
        {12000, 48000, 250'000'000},
        {441, 44100, 10'000'000},
        {1, 48000, 20833},
        // 4294967295 ms at 48 kHz: frames times 10^9 would not fit in 64 bits.
        {206158430160ull, 48000, 4294967295'000'000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlayingTime(c.frames, c.rate), c.nanoseconds) << c.frames;
}

TEST(SineTest, PeakIsHalfScaleAndRampsStartAndEndQuietly) {
    struct Case {
        std::uint32_t ms;
        std::size_t rampFrames;
    };
    const Case cases[] = {{250, 240}, {100, 240}, {20, 240}, {12, 144}, {4, 48}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ms);
        auto samples = Generate(48000, 1000, c.ms);
        int peak = 0;
        for (std::int16_t s : samples)
            peak = std::max(peak, std::abs(int(s)));
        EXPECT_NEAR(peak, SineGenerator::kPeak, SineGenerator::kPeak * 0.02);
        EXPECT_EQ(samples.front(), 0);
        EXPECT_LE(std::abs(int(samples.back())), 200);
        // Inside the ramp the envelope stays below full level; past it, it reaches it.
        auto envelopeMax = [&](std::size_t from, std::size_t to) {
            int m = 0;
            for (std::size_t i = from; i < to; ++i)
                m = std::max(m, std::abs(int(samples[i])));
            return m;
        };
        EXPECT_LT(envelopeMax(0, c.rampFrames / 4), SineGenerator::kPeak * 0.2);
        EXPECT_LT(envelopeMax(samples.size() - c.rampFrames / 4, samples.size()),
                  SineGenerator::kPeak * 0.2);
        if (samples.size() > 2 * c.rampFrames + 48) {
            EXPECT_GT(envelopeMax(c.rampFrames, c.rampFrames + 48), SineGenerator::kPeak * 0.95);
        }
    }
}

TEST(SineTest, PitchIsTheRequestedOne) {
    for (std::uint32_t frequency : {37u, 440u, 1000u, 8000u, 15000u}) {
        SCOPED_TRACE(frequency);
        auto samples = Generate(48000, frequency, 500);
        EXPECT_NEAR(MeasuredPitch(samples, 48000), frequency, frequency * 0.002);
    }
}

TEST(SineTest, PitchAtOrAboveHalfTheRateIsSilence) {
    for (std::uint32_t frequency : {24000u, 32767u}) {
        auto samples = Generate(48000, frequency, 50);
        EXPECT_EQ(samples.size(), 2400u);
        for (std::int16_t s : samples)
            ASSERT_EQ(s, 0);
    }
}

TEST(SineTest, RewoundTheSamplesComeAgain) {
    // What a device dropped unplayed (Ctrl-Z) is filled again, ramps and all;
    // a rewind past the start stops there.
    auto whole = Generate(48000, 440, 100);
    for (std::uint32_t played : {0u, 1000u, 4800u}) {
        for (std::uint32_t dropped : {0u, 700u, 5000u}) {
            SineGenerator tone(48000, 440, whole.size());
            std::vector<std::int16_t> samples(whole.size() + 5000);
            tone.Fill(samples.data(), played);
            tone.Rewind(dropped);
            std::uint32_t from = played > dropped ? played - dropped : 0;
            ASSERT_EQ(tone.Remaining(), whole.size() - from);
            tone.Fill(samples.data() + from, static_cast<std::uint32_t>(whole.size()));
            for (std::size_t i = 0; i < whole.size(); ++i)
                ASSERT_NEAR(samples[i], whole[i], 1) << played << " " << dropped << " " << i;
        }
    }
}

TEST(SineTest, LongestToneStreamsFromAFixedState) {
    // 4294967295 ms: the generator keeps counters only, whatever the length.
    SineGenerator tone(48000, 440, SineGenerator::FramesFor(48000, 4294967295u));
    std::int16_t period[960];
    std::uint64_t before = tone.Remaining();
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(tone.Fill(period, 960), 960u);
    EXPECT_EQ(before - tone.Remaining(), 960000u);
    static_assert(sizeof(SineGenerator) <= 64);
}

} // namespace

// Sine synthesis for the Linux tone drivers.
#include "platform/linux/tone/sine.h"

namespace platform::linux_system {
namespace {
constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2 * kPi;
constexpr std::uint32_t kRampMs = 5;
// Tones shorter than four ramps get ramps of a quarter of their length.
constexpr std::uint64_t kRampShare = 4;
// sin(x) for x in [0, 2pi). Written out so that the program needs no maths
// library at start-up; the series' error is below 1e-9, far under one sample step.
double Sine(double x) {
    if (x > kPi) return -Sine(x - kPi);
    if (x > kPi / 2) x = kPi - x;
    double square = x * x, term = x, sum = x;
    for (int n = 2; n <= 14; n += 2) {
        term *= -square / (n * (n + 1));
        sum += term;
    }
    return sum;
}

std::int16_t Round(double value) {
    return static_cast<std::int16_t>(value < 0 ? value - 0.5 : value + 0.5);
}

} // namespace

std::uint64_t SineGenerator::FramesFor(std::uint32_t rate, std::uint32_t durationMs) {
    return (std::uint64_t{rate} * durationMs + 500) / 1000;
}

SineGenerator::SineGenerator(std::uint32_t rate, std::uint32_t frequency, std::uint64_t frames)
    : frames_(frames) {
    std::uint64_t ramp = std::uint64_t{rate} * kRampMs / 1000;
    rampFrames_ = frames / kRampShare < ramp ? frames / kRampShare : ramp;
    // A pitch the rate cannot carry would alias into another one: play silence.
    silent_ = 2 * std::uint64_t{frequency} >= rate;
    double step = kTwoPi * frequency / rate;
    stepImaginary_ = Sine(step);
    stepReal_ = step > kPi / 2 ? -Sine(step - kPi / 2) : Sine(kPi / 2 - step);
}

double SineGenerator::Gain(std::uint64_t frame) const {
    std::uint64_t fromEdge = frame < frames_ - 1 - frame ? frame : frames_ - 1 - frame;
    if (fromEdge >= rampFrames_) return 1.0;
    // Raised cosine: 0.5 - 0.5 cos(pi t) = sin(pi t / 2) squared.
    double s = Sine(kPi / 2 * static_cast<double>(fromEdge) / rampFrames_);
    return s * s;
}

std::uint32_t SineGenerator::Fill(std::int16_t* out, std::uint32_t capacity) {
    std::uint32_t count =
        Remaining() < capacity ? static_cast<std::uint32_t>(Remaining()) : capacity;
    for (std::uint32_t i = 0; i < count; ++i, ++position_) {
        out[i] = silent_ ? 0 : Round(kPeak * Gain(position_) * imaginary_);
        double real = real_ * stepReal_ - imaginary_ * stepImaginary_;
        imaginary_ = imaginary_ * stepReal_ + real_ * stepImaginary_;
        real_ = real;
    }
    Normalize();
    return count;
}

void SineGenerator::Rewind(std::uint64_t frames) {
    frames = frames < position_ ? frames : position_;
    position_ -= frames;
    for (std::uint64_t i = 0; i < frames; ++i) {
        double real = real_ * stepReal_ + imaginary_ * stepImaginary_;
        imaginary_ = imaginary_ * stepReal_ - real_ * stepImaginary_;
        real_ = real;
    }
    Normalize();
}

// Rounding would slowly change the vector's length over a long tone: set it
// back to 1 after each run of steps (1/sqrt by one Newton step, as it is
// near 1).
void SineGenerator::Normalize() {
    double length = real_ * real_ + imaginary_ * imaginary_;
    double correction = 1.5 - 0.5 * length;
    real_ *= correction;
    imaginary_ *= correction;
}

} // namespace platform::linux_system

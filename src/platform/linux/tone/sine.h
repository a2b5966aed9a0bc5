// The tone's samples: a sine at about half of full scale, 16-bit mono, with
// raised-cosine ramps at both ends so that it starts and stops without a click.
// It keeps no buffer of its own: the caller streams it out period by period.
#pragma once

#include <cstdint>

namespace platform::linux_system {

class SineGenerator {
  public:
    static constexpr std::int16_t kPeak = 16384;

    // Exactly round(rate x duration / 1000) frames.
    static std::uint64_t FramesFor(std::uint32_t rate, std::uint32_t durationMs);

    SineGenerator(std::uint32_t rate, std::uint32_t frequency, std::uint64_t frames);

    // Fills up to `capacity` frames and returns how many; 0 once the tone is over.
    std::uint32_t Fill(std::int16_t* out, std::uint32_t capacity);
    std::uint64_t Remaining() const { return frames_ - position_; }

  private:
    double Gain(std::uint64_t frame) const;

    std::uint64_t frames_;
    std::uint64_t position_ = 0;
    std::uint64_t rampFrames_;
    double phase_ = 0;
    double step_; // radians per frame; 0 makes the tone silent
};

} // namespace platform::linux_system

// The tone's samples: a sine at about half of full scale, 16-bit mono, with
// raised-cosine ramps at both ends so that it starts and stops without a click.
// It keeps no buffer of its own: the caller streams it out chunk by chunk.
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
    // Steps back `frames` (at most to the start), so that what a device
    // dropped unplayed is filled again.
    void Rewind(std::uint64_t frames);

  private:
    double Gain(std::uint64_t frame) const;
    void Normalize();

    std::uint64_t frames_;
    std::uint64_t position_ = 0;
    std::uint64_t rampFrames_;
    // The tone is a unit vector turned by one step each frame: two
    // multiplications a sample instead of a sine. (cos, sin) of the phase:
    double real_ = 1, imaginary_ = 0;
    double stepReal_ = 1, stepImaginary_ = 0; // (cos, sin) of the step
    bool silent_;
};

} // namespace platform::linux_system

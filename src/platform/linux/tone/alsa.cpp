// The sound-card driver: ALSA's "default" PCM, which sound servers also serve.
//
// Any missing symbol or failed step before the first sample means "try the
// next driver".
#include <cerrno>

#include "platform/linux/tone/interruption.h"
#include "platform/linux/tone/sine.h"
#include "platform/linux/tone/sound_library.h"
#include "platform/linux/tone/tone.h"

namespace platform::linux_system {
namespace {

// The few ALSA functions used, declared here against the library's stable ABI.
struct Pcm;
using Frames = unsigned long;
using SignedFrames = long;
using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);

constexpr int kStreamPlayback = 0;
constexpr int kOpenNonBlocking = 1;
constexpr int kFormatS16LittleEndian = 2;
constexpr int kAccessReadWriteInterleaved = 3;

struct Alsa {
    int (*setErrorHandler)(ErrorHandler);
    int (*open)(Pcm**, const char*, int, int);
    int (*setNonBlocking)(Pcm*, int);
    int (*setParams)(Pcm*, int, int, unsigned, unsigned, int, unsigned);
    int (*getParams)(Pcm*, Frames*, Frames*);
    SignedFrames (*writeInterleaved)(Pcm*, const void*, Frames);
    int (*recover)(Pcm*, int, int);
    int (*drain)(Pcm*);
    int (*drop)(Pcm*);
    int (*close)(Pcm*);
};

constexpr unsigned kRates[] = {48000, 44100};
// A buffer of half a second, as general-purpose players ask for. A short tone
// then goes out in one write and starts at the drain, and a long one starts as
// soon as the buffer is full, which is at once: through a sound server both
// start sooner than a small buffer trickled out. The periods (a quarter of the
// buffer) are longer than a sound server's cycle, so each cycle the server runs
// gets a whole cycle of sound, the last one padded with silence, and nothing is
// left behind in the server when the stream is drained and closed.
constexpr unsigned kLatencyUs = 500'000;
// The most written in one call: one period at 48 kHz.
constexpr std::uint32_t kMaxChunkFrames = 6000;

extern "C" void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

bool Load(Alsa& alsa) {
    void* library = OpenSoundLibrary("libasound.so.2");
    return library != nullptr && Bind(library, "snd_lib_error_set_handler", alsa.setErrorHandler) &&
           Bind(library, "snd_pcm_open", alsa.open) &&
           Bind(library, "snd_pcm_nonblock", alsa.setNonBlocking) &&
           Bind(library, "snd_pcm_set_params", alsa.setParams) &&
           Bind(library, "snd_pcm_get_params", alsa.getParams) &&
           Bind(library, "snd_pcm_writei", alsa.writeInterleaved) &&
           Bind(library, "snd_pcm_recover", alsa.recover) &&
           Bind(library, "snd_pcm_drain", alsa.drain) && Bind(library, "snd_pcm_drop", alsa.drop) &&
           Bind(library, "snd_pcm_close", alsa.close);
}

Pcm* OpenDefault(const Alsa& alsa, unsigned& rate) {
    alsa.setErrorHandler(IgnoreAlsaMessage); // tonerix writes nothing to stderr
    Pcm* pcm = nullptr;
    // Non-blocking, so that a busy device cannot hang the program.
    if (alsa.open(&pcm, "default", kStreamPlayback, kOpenNonBlocking) < 0) return nullptr;
    if (alsa.setNonBlocking(pcm, 0) == 0) {
        for (unsigned candidate : kRates) {
            if (alsa.setParams(pcm, kFormatS16LittleEndian, kAccessReadWriteInterleaved, 1,
                               candidate, 1, kLatencyUs) == 0) {
                rate = candidate;
                return pcm;
            }
        }
    }
    alsa.close(pcm);
    return nullptr;
}

// Writes go out a period at a time, and the buffer is how far the writer may
// run ahead of the clock.
struct Geometry {
    std::uint32_t chunkFrames;
    Nanoseconds mostAhead;
};

Geometry GeometryOf(const Alsa& alsa, Pcm* pcm, unsigned rate) {
    Frames buffer = 0, period = 0;
    alsa.getParams(pcm, &buffer, &period);
    if (period == 0 || period > kMaxChunkFrames) period = kMaxChunkFrames;
    if (buffer < period) buffer = period;
    return {static_cast<std::uint32_t>(period), PlayingTime(buffer, rate)};
}

// Writes all `count` frames; false when the stream is lost or a stop signal came.
bool WriteAll(const Alsa& alsa, Pcm* pcm, const std::int16_t* samples, std::uint32_t count) {
    while (count > 0) {
        if (StopRequested()) return false;
        SignedFrames written = alsa.writeInterleaved(pcm, samples, count);
        if (written >= 0) {
            samples += written;
            count -= static_cast<std::uint32_t>(written);
        } else if (written != -EINTR && alsa.recover(pcm, static_cast<int>(written), 1) < 0) {
            return false;
        }
    }
    return true;
}

} // namespace

bool SoundThroughAlsa(const ToneRequest& request) {
    // One tone a run: the library is looked for once, when it is first needed.
    Alsa alsa;
    if (!Load(alsa)) return false;
    unsigned rate = 0;
    Pcm* pcm = OpenDefault(alsa, rate);
    if (pcm == nullptr) return false;

    SineGenerator tone(rate, request.frequency, SineGenerator::FramesFor(rate, request.duration));
    Geometry geometry = GeometryOf(alsa, pcm, rate);
    std::int16_t samples[kMaxChunkFrames];
    Nanoseconds start = Now();
    std::uint64_t written = 0;
    bool streaming = true;
    while (streaming && tone.Remaining() > 0) {
        // A device that does not pace (a file, the null device) must not be
        // filled faster than the tone plays.
        streaming = SleepUntil(start + PlayingTime(written, rate) - geometry.mostAhead);
        std::uint32_t count = tone.Fill(samples, geometry.chunkFrames);
        streaming = streaming && WriteAll(alsa, pcm, samples, count);
        written += count;
    }
    if (streaming && alsa.drain(pcm) < 0 && StopRequested()) streaming = false;
    if (!streaming) alsa.drop(pcm); // stop the sound at once
    alsa.close(pcm);
    return true;
}

} // namespace platform::linux_system

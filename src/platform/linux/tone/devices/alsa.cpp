// The sound-card driver: ALSA's "default" PCM, which sound servers also serve.
//
// Any missing symbol or failed step before the first sample, the first write
// included, means "try the next driver".
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/linux/tone/server_address.h"
#include "platform/linux/tone/server_peer.h"
#include "platform/linux/tone/sine.h"
#include "platform/linux/tone/sound_library.h"
#include "platform/linux/tone/tone_driver.h"
#include "platform/linux/tone/verdict.h"

// The few ALSA functions used, declared here against the library's stable ABI,
// so that building needs none of its headers.
extern "C" {
struct AlsaPcm;
using AlsaErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
int snd_lib_error_set_handler(AlsaErrorHandler handler);
int snd_pcm_open(AlsaPcm** pcm, const char* name, int stream, int mode);
int snd_pcm_nonblock(AlsaPcm* pcm, int nonblock);
int snd_pcm_set_params(AlsaPcm* pcm, int format, int access, unsigned channels, unsigned rate,
                       int resample, unsigned latencyUs);
int snd_pcm_get_params(AlsaPcm* pcm, unsigned long* buffer, unsigned long* period);
long snd_pcm_writei(AlsaPcm* pcm, const void* samples, unsigned long frames);
int snd_pcm_recover(AlsaPcm* pcm, int error, int silent);
int snd_pcm_drain(AlsaPcm* pcm);
int snd_pcm_drop(AlsaPcm* pcm);
int snd_pcm_prepare(AlsaPcm* pcm);
int snd_pcm_start(AlsaPcm* pcm);
int snd_pcm_delay(AlsaPcm* pcm, long* frames);
long snd_pcm_avail(AlsaPcm* pcm);
int snd_pcm_close(AlsaPcm* pcm);
const char* snd_strerror(int error);
}

namespace platform::linux_system {
namespace {

using Pcm = AlsaPcm;
using Frames = unsigned long;
using SignedFrames = long;

constexpr int kStreamPlayback = 0;
constexpr int kOpenNonBlocking = 1;
constexpr int kFormatS16LittleEndian = 2;
constexpr int kAccessReadWriteInterleaved = 3;

// clang-format off
#define ALSA_SYMBOLS(X) \
    X(snd_lib_error_set_handler) X(snd_pcm_open) X(snd_pcm_nonblock) X(snd_pcm_set_params) \
    X(snd_pcm_get_params) X(snd_pcm_writei) X(snd_pcm_recover) X(snd_pcm_drain) X(snd_pcm_drop) \
    X(snd_pcm_prepare) X(snd_pcm_start) X(snd_pcm_delay) X(snd_pcm_avail) X(snd_pcm_close) \
    X(snd_strerror)
// clang-format on
struct Alsa {
    ALSA_SYMBOLS(TONERIX_SYMBOL_FIELD)
};

constexpr unsigned kRates[] = {48000, 44100};
// A buffer of half a second, as general-purpose players ask for. A short tone
// then goes out in one write and starts with it, and a long one starts as
// soon as the buffer is full, which is at once: through a sound server both
// start sooner than a small buffer trickled out. The periods (a quarter of the
// buffer) are longer than a sound server's cycle, so each cycle the server runs
// gets a whole cycle of sound, the last one padded with silence, and nothing is
// left behind in the server when the stream is drained and closed.
constexpr unsigned kLatencyUs = 500'000;
// The most written in one call: one period at 48 kHz.
constexpr std::uint32_t kMaxChunkFrames = 6000;

extern "C" void IgnoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

bool Load(ToneCall& call, Alsa& symbols) {
    void* library = OpenSoundLibrary(call, "libasound.so.2");
    return library != nullptr && Bound(call, true ALSA_SYMBOLS(TONERIX_BIND_SYMBOL));
}

// In the user's terms where they are plain, else in the library's own words
// ("No such file or directory" when no default device is configured).
const char* WhyNotOpened(const Alsa& alsa, int error) {
    switch (error) {
    case -EBUSY:
        return reason::kDeviceBusy;
    case -EACCES:
    case -EPERM:
        return reason::kNotPermitted;
    default:
        return alsa.snd_strerror(error);
    }
}

Pcm* OpenDefault(ToneCall& call, const Alsa& alsa, unsigned& rate) {
    alsa.snd_lib_error_set_handler(IgnoreAlsaMessage); // tonerix writes nothing to stderr
    // ALSA's PulseAudio plugin reads PULSE_SERVER too, and its library aborts
    // on an address it cannot take, which reaches no server anyway.
    const char* servers = std::getenv("PULSE_SERVER");
    if (servers != nullptr && !PulseServerUsable(servers)) unsetenv("PULSE_SERVER");
    Pcm* pcm = nullptr;
    ServerPeer server; // before the device opens, to tell its connection from what was open
    // Non-blocking, so that a busy device cannot hang the program.
    if (int error = alsa.snd_pcm_open(&pcm, "default", kStreamPlayback, kOpenNonBlocking);
        error < 0) {
        call.Say(WhyNotOpened(alsa, error));
        return nullptr;
    }
    // A sound server's plugin takes the tone into its own buffer, whether or
    // not its server will ever play it.
    if (server.Find() && server.State().stopped) {
        call.Say(reason::kPluginServerStopped);
        alsa.snd_pcm_close(pcm);
        return nullptr;
    }
    for (unsigned candidate : kRates) {
        if (alsa.snd_pcm_set_params(pcm, kFormatS16LittleEndian, kAccessReadWriteInterleaved, 1,
                                    candidate, 1, kLatencyUs) == 0) {
            rate = candidate;
            return pcm;
        }
    }
    call.Say(reason::kNoFormat);
    alsa.snd_pcm_close(pcm);
    return nullptr;
}

// Writes go out a period at a time, and the buffer is how far the writer may
// run ahead of the clock.
struct Geometry {
    std::uint32_t chunkFrames;
    Frames bufferFrames;
    Nanoseconds mostAhead;
    Nanoseconds roomWait; // a quarter period: how long a full device is left
};

Geometry GeometryOf(const Alsa& alsa, Pcm* pcm, unsigned rate) {
    Frames buffer = 0, period = 0;
    alsa.snd_pcm_get_params(pcm, &buffer, &period);
    if (period == 0 || period > kMaxChunkFrames) period = kMaxChunkFrames;
    if (buffer < period) buffer = period;
    return {static_cast<std::uint32_t>(period), buffer, PlayingTime(buffer, rate),
            PlayingTime(period, rate) / 4};
}

// One tone on the device. Ctrl-Z: what the device has queued would play on
// while tonerix is stopped, so the service wakes the worker, which drops the
// queue, steps the tone back by what went unplayed and says it is held; on
// the continue it prepares the device and writes the rest.
struct Playback {
    const Alsa& alsa;
    Pcm* pcm;
    ToneCall& call;
    SineGenerator tone;
    unsigned rate;
    Geometry geometry;
    int wake; // written to by the service, for a hold
    std::atomic<bool> holdWanted{false};
    Nanoseconds start = Now(); // the paced writer's origin
    std::uint64_t written = 0; // frames the device took, less those dropped
};

bool HoldFor(void* data, bool quiet) {
    auto& p = *static_cast<Playback*>(data);
    p.holdWanted = quiet;
    eventfd_write(p.wake, 1);
    return false;
}

// Waits until `deadline` or a wake; false once a stop came.
bool Wait(Playback& p, Nanoseconds deadline) {
    pollfd woken{p.wake, POLLIN, 0};
    if (!p.call.StopRequested()) poll(&woken, 1, TimeoutUntil(deadline, kMillisecond));
    eventfd_t ignored;
    eventfd_read(p.wake, &ignored);
    return !p.call.StopRequested();
}

// False when the device cannot be sounded again, or a stop came.
bool HoldWhileWanted(Playback& p) {
    if (!p.holdWanted) return true;
    SignedFrames delay = -1, room = p.alsa.snd_pcm_avail(p.pcm);
    if (p.alsa.snd_pcm_delay(p.pcm, &delay) < 0) delay = -1;
    SignedFrames inRing =
        room >= 0 ? static_cast<SignedFrames>(p.geometry.bufferFrames) - room : -1;
    p.alsa.snd_pcm_drop(p.pcm); // silent at once
    std::uint64_t unplayed = AlsaUnplayed(delay, inRing, p.written);
    p.tone.Rewind(unplayed);
    p.written -= unplayed;
    p.call.Held(true);
    while (p.holdWanted && Wait(p, Now() + kSecond)) {
    }
    p.call.Held(false);
    p.start = Now() - PlayingTime(p.written, p.rate);
    return !p.call.StopRequested() && p.alsa.snd_pcm_prepare(p.pcm) == 0;
}

// Writes the tone, paced, and waits while the queue plays; false when the
// device failed or a stop came.
bool Play(Playback& p, bool& sounded) {
    std::int16_t samples[kMaxChunkFrames];
    Nanoseconds queuedBefore = -1;
    for (;;) {
        if (!HoldWhileWanted(p)) return false;
        Nanoseconds until = 0;
        if (p.tone.Remaining() > 0) {
            queuedBefore = -1; // written again after a hold
            // A device that does not pace (a file, the null device) must not
            // be filled faster than the tone plays.
            until = p.start + PlayingTime(p.written, p.rate) - p.geometry.mostAhead;
            if (Now() >= until) {
                // Without blocking, so that a hold is heard at once: what the
                // device has no room for yet goes again after a short wait.
                std::uint32_t count = p.tone.Fill(samples, p.geometry.chunkFrames);
                SignedFrames taken = p.alsa.snd_pcm_writei(p.pcm, samples, count);
                if (taken < 0 && taken != -EAGAIN && taken != -EINTR &&
                    p.alsa.snd_pcm_recover(p.pcm, static_cast<int>(taken), 1) < 0)
                    return false;
                taken = std::max<SignedFrames>(taken, 0);
                p.tone.Rewind(count - static_cast<std::uint64_t>(taken));
                p.written += static_cast<std::uint64_t>(taken);
                if (taken > 0) {
                    sounded = true;
                    p.call.Sounding();
                    p.call.TookStep();
                } else if (!Wait(p, Now() + p.geometry.roomWait)) {
                    return false;
                }
                // The device is done once the queue has played, which a tone
                // shorter than the buffer only starts now.
                if (p.tone.Remaining() == 0) {
                    p.alsa.snd_pcm_start(p.pcm);
                    p.call.GiveUpBy(AlsaGiveUpBy(
                        Now(), std::min(PlayingTime(p.written, p.rate), p.geometry.mostAhead)));
                }
                continue;
            }
        } else {
            SignedFrames frames = 0;
            bool known = p.alsa.snd_pcm_delay(p.pcm, &frames) == 0;
            Nanoseconds queued = PlayingTime(std::max<SignedFrames>(frames, 0), p.rate);
            if (!known || AlsaDrainNow(queued, queuedBefore))
                return (p.alsa.snd_pcm_nonblock(p.pcm, 0) == 0 &&
                        p.alsa.snd_pcm_drain(p.pcm) >= 0) ||
                       !p.call.StopRequested();
            until = Now() + queued - kDrainTail;
            queuedBefore = queued;
            p.call.TookStep();
        }
        if (!Wait(p, until)) return false;
    }
}

} // namespace

void SoundThroughAlsa(ToneCall& call) {
    const ToneRequest& request = call.Request();
    Alsa alsa;
    if (!Load(call, alsa)) return;
    unsigned rate = 0;
    Pcm* pcm = OpenDefault(call, alsa, rate);
    if (pcm == nullptr) return;
    call.TookStep(); // behind the device may be a server's plugin, slow to start

    Playback playback{
        alsa,
        pcm,
        call,
        SineGenerator(rate, request.frequency, SineGenerator::FramesFor(rate, request.duration)),
        rate,
        GeometryOf(alsa, pcm, rate),
        eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
    if (playback.wake >= 0) call.HushBy({HoldFor, &playback});
    bool sounded = false;
    bool played = Play(playback, sounded);
    call.Unhush();
    if (playback.wake >= 0) close(playback.wake);
    if (!played) alsa.snd_pcm_drop(pcm); // stop the sound at once
    if (!played && !call.StopRequested())
        call.Say(sounded ? reason::kFailedDuring : reason::kFailedFirstWrite);
    alsa.snd_pcm_close(pcm);
}

} // namespace platform::linux_system

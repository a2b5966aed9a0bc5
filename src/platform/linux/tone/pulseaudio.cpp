// The PulseAudio driver: a native playback stream on the user's PulseAudio
// server (or a PipeWire server's PulseAudio side, or WSL's, through
// PULSE_SERVER), for systems where ALSA's default device does not lead there.
#include <algorithm>

#include <pulse/pulseaudio.h>

#include "platform/linux/tone/server_watch.h"
#include "platform/linux/tone/sine.h"
#include "platform/linux/tone/sound_library.h"
#include "platform/linux/tone/tone_driver.h"

namespace platform::linux_system {
namespace {

constexpr std::uint32_t kChunkFrames = 4096;
constexpr std::uint64_t kMostAhead = 2 * kServerRate; // frames
constexpr std::uint32_t kDefault = static_cast<std::uint32_t>(-1);

// clang-format off
#define PULSEAUDIO_SYMBOLS(X) \
    X(pa_mainloop_new) X(pa_mainloop_get_api) X(pa_mainloop_prepare) X(pa_mainloop_poll) \
    X(pa_mainloop_dispatch) X(pa_mainloop_free) X(pa_proplist_new) X(pa_proplist_sets) \
    X(pa_proplist_free) X(pa_context_new_with_proplist) X(pa_context_connect) \
    X(pa_context_get_state) X(pa_context_get_server_info) X(pa_context_disconnect) \
    X(pa_context_unref) X(pa_operation_unref) X(pa_stream_new_with_proplist) \
    X(pa_stream_connect_playback) X(pa_stream_get_state) X(pa_stream_writable_size) \
    X(pa_stream_write) X(pa_stream_drain) X(pa_stream_disconnect) X(pa_stream_unref)
// clang-format on
struct PulseAudio {
    PULSEAUDIO_SYMBOLS(TONERIX_SYMBOL_FIELD)
};

bool Load(ToneSession& session, PulseAudio& symbols) {
    void* library = OpenSoundLibrary(session, "libpulse.so.0");
    return library != nullptr && Bound(session, true PULSEAUDIO_SYMBOLS(TONERIX_BIND_SYMBOL));
}

struct Playback {
    const PulseAudio& pa;
    ServerWatch watch;
    SineGenerator tone;
    std::uint32_t frequency;
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_context_state_t state = PA_CONTEXT_UNCONNECTED;
    bool draining = false, drained = false;
};

void OnServerInfo(pa_context*, const pa_server_info*, void* data) {
    static_cast<Playback*>(data)->watch.Answered();
}

void OnDrained(pa_stream*, int, void* data) { static_cast<Playback*>(data)->drained = true; }

// Asks for a round trip once connected; the answer comes to OnServerInfo.
bool Ask(void* data) {
    auto& playback = *static_cast<Playback*>(data);
    if (playback.stream == nullptr) return false;
    pa_operation* question =
        playback.pa.pa_context_get_server_info(playback.context, OnServerInfo, &playback);
    if (question == nullptr) return false;
    playback.pa.pa_operation_unref(question); // the answer still comes
    return true;
}

bool OpenStream(Playback& playback) {
    const PulseAudio& pa = playback.pa;
    StreamName name(playback.frequency);
    pa_proplist* properties = pa.pa_proplist_new();
    pa.pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, name.text);
    // As desktop event sounds say it, so that a desktop's event volume applies.
    pa.pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "event");
    const pa_sample_spec format{PA_SAMPLE_S16LE, kServerRate, 1};
    playback.stream =
        pa.pa_stream_new_with_proplist(playback.context, name.text, &format, nullptr, properties);
    pa.pa_proplist_free(properties);
    // Room for the whole tone, up to a few seconds: the server's default
    // target of a quarter second needs a round trip per quarter second, and a
    // server far away then plays the tone in pieces.
    std::uint64_t bytes = std::min(playback.tone.Remaining(), kMostAhead) * sizeof(std::int16_t);
    const pa_buffer_attr buffer{kDefault, static_cast<std::uint32_t>(bytes), kDefault, kDefault,
                                kDefault};
    return playback.stream != nullptr &&
           pa.pa_stream_connect_playback(playback.stream, nullptr, &buffer, PA_STREAM_NOFLAGS,
                                         nullptr, nullptr) == 0;
}

// Writes what the stream has room for; drains once the tone is all written.
// False when the stream failed.
bool Feed(Playback& playback) {
    const PulseAudio& pa = playback.pa;
    std::int16_t samples[kChunkFrames];
    for (;;) {
        std::size_t bytes = pa.pa_stream_writable_size(playback.stream);
        if (bytes == static_cast<std::size_t>(-1)) return false;
        std::size_t room = bytes / sizeof samples[0];
        if (room == 0 || playback.tone.Remaining() == 0) break;
        std::uint32_t frames =
            playback.tone.Fill(samples, room < kChunkFrames ? room : kChunkFrames);
        pa.pa_stream_write(playback.stream, samples, frames * sizeof samples[0], nullptr, 0,
                           PA_SEEK_RELATIVE);
    }
    if (playback.tone.Remaining() == 0 && !playback.draining) {
        pa_operation* drain = pa.pa_stream_drain(playback.stream, OnDrained, &playback);
        if (drain != nullptr) pa.pa_operation_unref(drain);
        playback.draining = true;
    }
    return true;
}

// Opens the stream once connected, feeds it, and runs the loop for a slice.
ServerWatch::Step Step(void* data, int sliceMs) {
    using Step = ServerWatch::Step;
    auto& playback = *static_cast<Playback*>(data);
    const PulseAudio& pa = playback.pa;
    pa_context_state_t state = pa.pa_context_get_state(playback.context);
    if (!PA_CONTEXT_IS_GOOD(state)) return Step::kLost;
    // Each step of the handshake is a round trip the server answered.
    if (state != playback.state &&
        (state == PA_CONTEXT_SETTING_NAME || state == PA_CONTEXT_READY)) {
        playback.watch.Answered();
        if (state != PA_CONTEXT_READY) playback.watch.Asked();
    }
    playback.state = state;
    if (state == PA_CONTEXT_READY) {
        if (playback.stream == nullptr && !OpenStream(playback)) return Step::kLost;
        pa_stream_state_t streamState = pa.pa_stream_get_state(playback.stream);
        if (!PA_STREAM_IS_GOOD(streamState)) return Step::kLost;
        if (streamState == PA_STREAM_READY && !Feed(playback)) return Step::kLost;
    }
    if (pa.pa_mainloop_prepare(playback.loop, sliceMs * 1000) < 0 ||
        pa.pa_mainloop_poll(playback.loop) < 0 || pa.pa_mainloop_dispatch(playback.loop) < 0)
        return Step::kLost;
    return playback.drained ? Step::kPlayed : Step::kGoOn;
}

} // namespace

bool SoundThroughPulseAudio(ToneSession& session) {
    PulseAudio pa;
    if (!Load(session, pa)) return false;
    pa_mainloop* loop = pa.pa_mainloop_new();
    if (loop == nullptr) return false;
    pa_proplist* properties = pa.pa_proplist_new();
    pa.pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "tonerix");
    pa_context* context =
        pa.pa_context_new_with_proplist(pa.pa_mainloop_get_api(loop), "tonerix", properties);
    pa.pa_proplist_free(properties);
    bool sounded = false;
    session.Say("connection refused");
    // Never start a server: the one the user runs, or none.
    if (context != nullptr &&
        pa.pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0) {
        const ToneRequest& request = session.Request();
        Playback playback{pa, ServerWatch(session),
                          SineGenerator(kServerRate, request.frequency,
                                        SineGenerator::FramesFor(kServerRate, request.duration)),
                          request.frequency};
        playback.loop = loop;
        playback.context = context;
        // A server that never answered was never reached: the next driver is tried.
        sounded = playback.watch.Run({Ask, Step, &playback}) != ServerWatch::Step::kLost ||
                  playback.watch.EverAnswered();
        if (!sounded) session.Say("connection refused");
        if (playback.stream != nullptr) {
            pa.pa_stream_disconnect(playback.stream);
            pa.pa_stream_unref(playback.stream);
        }
        pa.pa_context_disconnect(context);
    }
    if (context != nullptr) pa.pa_context_unref(context);
    pa.pa_mainloop_free(loop);
    return sounded;
}

} // namespace platform::linux_system

// The PulseAudio driver: a native playback stream on the user's PulseAudio
// server (or a PipeWire server's PulseAudio side, or WSL's, through
// PULSE_SERVER), tried after PipeWire's own protocol and before ALSA.
// Everything happens in the library's callbacks: the handshake's steps, the
// stream's requests for more of the tone, the server's answers.
#include <algorithm>
#include <cstdlib>

#include <pulse/pulseaudio.h>

#include "platform/linux/tone/server_address.h"
#include "platform/linux/tone/servers/server_watch.h"
#include "platform/linux/tone/sine.h"
#include "platform/linux/tone/sound_library.h"
#include "platform/linux/tone/tone_driver.h"

namespace platform::linux_system {
namespace {

constexpr std::uint32_t kChunkFrames = 4096;
constexpr const char* kDefaultSink = "@DEFAULT_SINK@"; // the server's, whatever the library's

// clang-format off
#define PULSEAUDIO_SYMBOLS(X) \
    X(pa_mainloop_new) X(pa_mainloop_get_api) X(pa_mainloop_prepare) X(pa_mainloop_poll) \
    X(pa_mainloop_dispatch) X(pa_mainloop_wakeup) X(pa_mainloop_free) X(pa_proplist_new) \
    X(pa_proplist_sets) X(pa_proplist_free) X(pa_context_new_with_proplist) X(pa_context_connect) \
    X(pa_context_set_state_callback) X(pa_context_get_state) X(pa_context_errno) \
    X(pa_context_get_server_info) X(pa_context_disconnect) X(pa_context_unref) \
    X(pa_operation_unref) X(pa_stream_new_with_proplist) X(pa_stream_set_state_callback) \
    X(pa_stream_set_write_callback) X(pa_stream_set_started_callback) \
    X(pa_stream_connect_playback) X(pa_stream_get_state) X(pa_stream_writable_size) \
    X(pa_stream_write) X(pa_stream_drain) X(pa_stream_cork) X(pa_stream_update_timing_info) \
    X(pa_stream_get_timing_info) X(pa_stream_disconnect) X(pa_stream_unref)
// clang-format on
struct PulseAudio {
    PULSEAUDIO_SYMBOLS(TONERIX_SYMBOL_FIELD)
};

bool Load(ToneCall& call, PulseAudio& symbols) {
    void* library = OpenSoundLibrary(call, "libpulse.so.0");
    return library != nullptr && Bound(call, true PULSEAUDIO_SYMBOLS(TONERIX_BIND_SYMBOL));
}

struct Playback {
    const PulseAudio& pa;
    ToneCall& call;
    ServerWatch watch;
    SineGenerator tone;
    pa_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    bool draining = false;
    std::atomic<bool> holdWanted{false}; // by the service, for Ctrl-Z
    bool holding = false;                // the stream corked, or asked to be
    // PULSE_SINK, while the server has not refused it; then the default sink
    // is asked for, once.
    const char* namedSink = std::getenv("PULSE_SINK");
    bool toDefaultSink = false;
    Nanoseconds sinkLatency = -1; // as the server said once the tone started playing
};

// Why the connection failed, in the server's own terms.
const char* WhyNotConnected(int error) {
    switch (error) {
    case PA_ERR_ACCESS:
        return reason::kCookieRefused;
    case PA_ERR_CONNECTIONREFUSED:
        return reason::kConnectionRefused;
    case PA_ERR_CONNECTIONTERMINATED:
        return reason::kTooManyClients;
    case PA_ERR_INVALIDSERVER:
        return reason::kNoSuchServer;
    default:
        return reason::kLost;
    }
}

void OnServerInfo(pa_context*, const pa_server_info*, void* data) {
    static_cast<Playback*>(data)->watch.Answered();
}

// The stream's timing as the server answered it: the sink's latency (where a
// sink with a delay of its own, Bluetooth or a tunnel to another server,
// counts it), and the silence the sink was handed since the stream ran out.
const pa_timing_info* TimingOf(Playback& playback, pa_stream* stream, int success) {
    return success ? playback.pa.pa_stream_get_timing_info(stream) : nullptr;
}

void OnLatency(pa_stream* stream, int success, void* data) {
    auto& playback = *static_cast<Playback*>(data);
    if (const pa_timing_info* info = TimingOf(playback, stream, success))
        playback.sinkLatency = static_cast<Nanoseconds>(info->sink_usec) * kMicrosecond;
}

void OnStarted(pa_stream* stream, void* data) {
    auto& playback = *static_cast<Playback*>(data);
    playback.watch.Sounded();
    pa_operation* timing = playback.pa.pa_stream_update_timing_info(stream, OnLatency, &playback);
    if (timing != nullptr) playback.pa.pa_operation_unref(timing);
}

// The drain is answered once the sink has taken the last of the tone; it
// plays it after what the sink holds, less the silence it was handed after
// the tone ran out, less the answer's way back.
void OnRemainder(pa_stream* stream, int success, void* data) {
    auto& playback = *static_cast<Playback*>(data);
    PulseTiming timing{0, 0, true, 0};
    if (const pa_timing_info* info = TimingOf(playback, stream, success))
        timing = {static_cast<Nanoseconds>(info->sink_usec) * kMicrosecond,
                  static_cast<Nanoseconds>(info->transport_usec) * kMicrosecond, info->playing != 0,
                  info->since_underrun};
    playback.watch.HeardBy(PulseHeardBy(Now(), timing, kServerRate));
}

// Drained means played: sounded, even if the start was never reported. What
// the sink still holds is worth asking only if it may hold the tone longer
// than the question takes (a far server's sink has played it by then).
void OnDrained(pa_stream* stream, int, void* data) {
    auto& playback = *static_cast<Playback*>(data);
    playback.watch.Sounded();
    pa_operation* remainder =
        playback.sinkLatency > playback.watch.Path().srtt
            ? playback.pa.pa_stream_update_timing_info(stream, OnRemainder, &playback)
            : nullptr;
    if (remainder == nullptr) return playback.watch.HeardBy(Now());
    playback.pa.pa_operation_unref(remainder);
}

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

// Writes what the stream has room for; drains once the tone is all written.
void OnWritable(pa_stream* stream, std::size_t, void* data) {
    auto& playback = *static_cast<Playback*>(data);
    const PulseAudio& pa = playback.pa;
    std::int16_t samples[kChunkFrames];
    for (;;) {
        std::size_t bytes = pa.pa_stream_writable_size(stream);
        if (bytes == static_cast<std::size_t>(-1)) return playback.watch.Lost();
        std::size_t room = bytes / sizeof samples[0];
        if (room == 0 || playback.tone.Remaining() == 0) break;
        std::uint32_t frames =
            playback.tone.Fill(samples, std::min<std::size_t>(room, kChunkFrames));
        pa.pa_stream_write(stream, samples, frames * sizeof samples[0], nullptr, 0,
                           PA_SEEK_RELATIVE);
    }
    if (playback.tone.Remaining() == 0 && !playback.draining) {
        pa_operation* drain = pa.pa_stream_drain(stream, OnDrained, &playback);
        if (drain != nullptr) pa.pa_operation_unref(drain);
        playback.draining = true;
    }
}

void OnStreamState(pa_stream* stream, void* data) {
    auto& playback = *static_cast<Playback*>(data);
    if (PA_STREAM_IS_GOOD(playback.pa.pa_stream_get_state(stream))) return;
    int error = playback.pa.pa_context_errno(playback.context);
    // A sink the user named that the server lacks (a headset unplugged since
    // the variable was set): the default sink plays the tone, as the server
    // does for a stream whose sink goes away. The loop opens the new stream.
    if (error == PA_ERR_NOENTITY && playback.namedSink != nullptr) {
        playback.toDefaultSink = true;
        return;
    }
    playback.watch.Lost(WhyNotConnected(error));
}

void CloseStream(Playback& playback) {
    if (playback.stream == nullptr) return;
    playback.pa.pa_stream_set_state_callback(playback.stream, nullptr, nullptr);
    playback.pa.pa_stream_disconnect(playback.stream);
    playback.pa.pa_stream_unref(playback.stream);
    playback.stream = nullptr;
}

// On `sink`, or the one the library chooses (PULSE_SINK's) for nullptr.
bool OpenStream(Playback& playback, const char* sink) {
    const PulseAudio& pa = playback.pa;
    StreamName name(playback.call.Request().frequency);
    pa_proplist* properties = pa.pa_proplist_new();
    pa.pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, name.text);
    // As desktop event sounds say it, so that a desktop's event volume applies.
    pa.pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "event");
    const pa_sample_spec format{PA_SAMPLE_S16LE, kServerRate, 1};
    playback.stream =
        pa.pa_stream_new_with_proplist(playback.context, name.text, &format, nullptr, properties);
    pa.pa_proplist_free(properties);
    if (playback.stream == nullptr) return false;
    pa.pa_stream_set_state_callback(playback.stream, OnStreamState, &playback);
    pa.pa_stream_set_write_callback(playback.stream, OnWritable, &playback);
    pa.pa_stream_set_started_callback(playback.stream, OnStarted, &playback);
    // Room for a few round trips, the handshake's measure: the server's
    // default target of a quarter second needs a round trip per quarter
    // second, and a far server then plays the tone in pieces; more is no
    // better, for a server that stalls with a long tone queued drops part of
    // it as it catches up. The request leaves the sink a little ahead of
    // what plays: left to fall out of the buffer, a long tone's halves would
    // leave it none (a wakeup every half millisecond) and a short tone its
    // most, which a sink that cannot take back what it wrote plays as silence
    // before the next tone.
    StreamBuffer size =
        PulseStreamBuffer(playback.watch.Path(), playback.tone.Remaining(), kServerRate);
    const pa_buffer_attr buffer{kServerDefault, size.target, kServerDefault, size.request,
                                kServerDefault};
    return pa.pa_stream_connect_playback(playback.stream, sink, &buffer, PA_STREAM_NOFLAGS, nullptr,
                                         nullptr) == 0;
}

// Each step of the handshake is a round trip the server answered.
void OnContextState(pa_context* context, void* data) {
    auto& playback = *static_cast<Playback*>(data);
    pa_context_state_t state = playback.pa.pa_context_get_state(context);
    if (state == PA_CONTEXT_SETTING_NAME || state == PA_CONTEXT_READY) playback.watch.Answered();
    if (state == PA_CONTEXT_SETTING_NAME) playback.watch.Asked();
    if (state == PA_CONTEXT_READY && playback.stream == nullptr && !OpenStream(playback, nullptr)) {
        playback.watch.Lost(reason::kStreamRefused);
    }
    if (!PA_CONTEXT_IS_GOOD(state)) {
        playback.watch.Lost(WhyNotConnected(playback.pa.pa_context_errno(context)));
    }
}

// The server plays what it holds of the stream while tonerix is stopped:
// Ctrl-Z corks it, and the continue uncorks it, the rest of the tone intact.
void OnCorked(pa_stream*, int success, void* data) {
    auto& playback = *static_cast<Playback*>(data);
    if (success) playback.call.Held(playback.holding);
}

void Hold(Playback& playback, bool held) {
    playback.holding = held;
    pa_operation* cork =
        playback.stream != nullptr &&
                playback.pa.pa_stream_get_state(playback.stream) == PA_STREAM_READY
            ? playback.pa.pa_stream_cork(playback.stream, held, OnCorked, &playback)
            : nullptr;
    // No stream yet, or no request sent: there is nothing to wait for.
    if (cork == nullptr) return playback.call.Held(held);
    playback.pa.pa_operation_unref(cork);
}

bool HoldFor(void* data, bool quiet) {
    auto& playback = *static_cast<Playback*>(data);
    playback.holdWanted = quiet;
    playback.pa.pa_mainloop_wakeup(playback.loop);
    return false;
}

void Wait(void* data, Nanoseconds until) {
    auto& playback = *static_cast<Playback*>(data);
    const PulseAudio& pa = playback.pa;
    if (playback.holdWanted != playback.holding) Hold(playback, !playback.holding);
    if (playback.toDefaultSink) {
        playback.toDefaultSink = false;
        CloseStream(playback);
        if (!OpenStream(playback, kDefaultSink)) playback.watch.Lost(reason::kStreamRefused);
        playback.call.SayNamed(reason::kSinkMissing, "PULSE_SINK", playback.namedSink);
        playback.namedSink = nullptr;
    }
    if (pa.pa_mainloop_prepare(playback.loop, TimeoutUntil(until, kMicrosecond)) < 0 ||
        pa.pa_mainloop_poll(playback.loop) < 0 || pa.pa_mainloop_dispatch(playback.loop) < 0)
        playback.watch.Lost();
}

} // namespace

void SoundThroughPulseAudio(ToneCall& call) {
    const char* servers = std::getenv("PULSE_SERVER");
    if (servers != nullptr && !PulseServerUsable(servers)) {
        call.Say(reason::kBadPulseServer);
        return;
    }
    PulseAudio pa;
    if (!Load(call, pa)) return;
    pa_mainloop* loop = pa.pa_mainloop_new();
    if (loop == nullptr) {
        call.Say(reason::kNoDescriptor);
        return;
    }
    pa_proplist* properties = pa.pa_proplist_new();
    pa.pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, "tonerix");
    pa_context* context =
        pa.pa_context_new_with_proplist(pa.pa_mainloop_get_api(loop), "tonerix", properties);
    pa.pa_proplist_free(properties);
    ServerPeer peer; // before the connection, to tell it from what was open
    // Never start a server: the one the user runs, or none.
    if (context != nullptr &&
        pa.pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0) {
        const ToneRequest& request = call.Request();
        Playback playback{pa, call, ServerWatch(call, peer),
                          SineGenerator(kServerRate, request.frequency,
                                        SineGenerator::FramesFor(kServerRate, request.duration))};
        playback.loop = loop;
        playback.context = context;
        pa.pa_context_set_state_callback(context, OnContextState, &playback);
        call.HushBy({HoldFor, &playback});
        playback.watch.Run({Ask, Wait, &playback});
        call.Unhush();
        CloseStream(playback);
        pa.pa_context_set_state_callback(context, nullptr, nullptr);
        pa.pa_context_disconnect(context);
    } else {
        call.Say(context != nullptr ? WhyNotConnected(pa.pa_context_errno(context))
                                    : reason::kCouldNotConnect);
    }
    if (context != nullptr) pa.pa_context_unref(context);
    pa.pa_mainloop_free(loop);
}

} // namespace platform::linux_system

// The PulseAudio driver: a native playback stream on the user's PulseAudio
// server (or a PipeWire server's PulseAudio side, or WSL's, through
// PULSE_SERVER), for systems where ALSA's default device does not lead there.
//
// It asks the server for its information every so often while it waits, so
// a suspended sink is waited for and a server that has stopped is given up.
#include <cstdio>

#include <pulse/pulseaudio.h>

#include "platform/linux/tone/server_watch.h"
#include "platform/linux/tone/sine.h"
#include "platform/linux/tone/sound_library.h"
#include "platform/linux/tone/tone.h"

namespace platform::linux_system {
namespace {

constexpr std::uint32_t kRate = 48000;
constexpr int kWaitSliceUs = 10'000;
constexpr std::uint32_t kChunkFrames = 4096;

struct PulseAudio {
    decltype(&pa_mainloop_new) newMainLoop;
    decltype(&pa_mainloop_get_api) apiOf;
    decltype(&pa_mainloop_prepare) prepare;
    decltype(&pa_mainloop_poll) poll;
    decltype(&pa_mainloop_dispatch) dispatch;
    decltype(&pa_mainloop_free) freeMainLoop;
    decltype(&pa_proplist_new) newProperties;
    decltype(&pa_proplist_sets) setProperty;
    decltype(&pa_proplist_free) freeProperties;
    decltype(&pa_context_new_with_proplist) newContext;
    decltype(&pa_context_connect) connect;
    decltype(&pa_context_get_state) contextState;
    decltype(&pa_context_get_server_info) askServerInfo;
    decltype(&pa_context_disconnect) disconnect;
    decltype(&pa_context_unref) releaseContext;
    decltype(&pa_operation_unref) releaseOperation;
    decltype(&pa_stream_new_with_proplist) newStream;
    decltype(&pa_stream_connect_playback) connectPlayback;
    decltype(&pa_stream_get_state) streamState;
    decltype(&pa_stream_writable_size) writableSize;
    decltype(&pa_stream_write) write;
    decltype(&pa_stream_drain) drain;
    decltype(&pa_stream_disconnect) disconnectStream;
    decltype(&pa_stream_unref) releaseStream;
};

bool Load(PulseAudio& pa) {
    void* library = OpenSoundLibrary("libpulse.so.0");
    return library != nullptr && Bind(library, "pa_mainloop_new", pa.newMainLoop) &&
           Bind(library, "pa_mainloop_get_api", pa.apiOf) &&
           Bind(library, "pa_mainloop_prepare", pa.prepare) &&
           Bind(library, "pa_mainloop_poll", pa.poll) &&
           Bind(library, "pa_mainloop_dispatch", pa.dispatch) &&
           Bind(library, "pa_mainloop_free", pa.freeMainLoop) &&
           Bind(library, "pa_proplist_new", pa.newProperties) &&
           Bind(library, "pa_proplist_sets", pa.setProperty) &&
           Bind(library, "pa_proplist_free", pa.freeProperties) &&
           Bind(library, "pa_context_new_with_proplist", pa.newContext) &&
           Bind(library, "pa_context_connect", pa.connect) &&
           Bind(library, "pa_context_get_state", pa.contextState) &&
           Bind(library, "pa_context_get_server_info", pa.askServerInfo) &&
           Bind(library, "pa_context_disconnect", pa.disconnect) &&
           Bind(library, "pa_context_unref", pa.releaseContext) &&
           Bind(library, "pa_operation_unref", pa.releaseOperation) &&
           Bind(library, "pa_stream_new_with_proplist", pa.newStream) &&
           Bind(library, "pa_stream_connect_playback", pa.connectPlayback) &&
           Bind(library, "pa_stream_get_state", pa.streamState) &&
           Bind(library, "pa_stream_writable_size", pa.writableSize) &&
           Bind(library, "pa_stream_write", pa.write) &&
           Bind(library, "pa_stream_drain", pa.drain) &&
           Bind(library, "pa_stream_disconnect", pa.disconnectStream) &&
           Bind(library, "pa_stream_unref", pa.releaseStream);
}

struct Playback {
    const PulseAudio& pa;
    ServerWatch watch;
    SineGenerator tone;
    std::uint32_t frequency;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    bool draining = false, drained = false;
};

void OnServerInfo(pa_context*, const pa_server_info*, void* data) {
    static_cast<Playback*>(data)->watch.Answered();
}

void OnDrained(pa_stream*, int, void* data) { static_cast<Playback*>(data)->drained = true; }

// Asks for a round trip; the answer comes to OnServerInfo.
void Ask(Playback& playback) {
    pa_operation* question = playback.pa.askServerInfo(playback.context, OnServerInfo, &playback);
    if (question == nullptr) return;
    playback.pa.releaseOperation(question); // the answer still comes
    playback.watch.Asked();
}

bool OpenStream(Playback& playback) {
    const PulseAudio& pa = playback.pa;
    char name[32];
    std::snprintf(name, sizeof name, "%u Hz tone", static_cast<unsigned>(playback.frequency));
    pa_proplist* properties = pa.newProperties();
    pa.setProperty(properties, PA_PROP_MEDIA_NAME, name);
    // As desktop event sounds say it, so that a desktop's event volume applies.
    pa.setProperty(properties, PA_PROP_MEDIA_ROLE, "event");
    const pa_sample_spec format{PA_SAMPLE_S16LE, kRate, 1};
    playback.stream = pa.newStream(playback.context, name, &format, nullptr, properties);
    pa.freeProperties(properties);
    return playback.stream != nullptr &&
           pa.connectPlayback(playback.stream, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr,
                              nullptr) == 0;
}

// Writes what the stream has room for; drains once the tone is all written.
void Feed(Playback& playback) {
    const PulseAudio& pa = playback.pa;
    std::int16_t samples[kChunkFrames];
    for (;;) {
        std::size_t bytes = pa.writableSize(playback.stream);
        if (bytes == static_cast<std::size_t>(-1)) return; // the stream failed
        std::size_t room = bytes / sizeof samples[0];
        if (room == 0 || playback.tone.Remaining() == 0) break;
        std::uint32_t frames =
            playback.tone.Fill(samples, room < kChunkFrames ? room : kChunkFrames);
        pa.write(playback.stream, samples, frames * sizeof samples[0], nullptr, 0,
                 PA_SEEK_RELATIVE);
    }
    if (playback.tone.Remaining() == 0 && !playback.draining) {
        pa_operation* drain = pa.drain(playback.stream, OnDrained, &playback);
        if (drain != nullptr) pa.releaseOperation(drain);
        playback.draining = true;
    }
}

// Runs the loop until the tone is drained or the driver gives up; false when
// the server could not be reached at all.
bool Play(Playback& playback, pa_mainloop* loop) {
    const PulseAudio& pa = playback.pa;
    while (!playback.drained && !playback.watch.GiveUp()) {
        pa_context_state_t state = pa.contextState(playback.context);
        if (!PA_CONTEXT_IS_GOOD(state)) return playback.watch.EverAnswered();
        if (state == PA_CONTEXT_READY) {
            if (playback.stream == nullptr) {
                playback.watch.Answered();
                if (!OpenStream(playback)) break;
            }
            pa_stream_state_t streamState = pa.streamState(playback.stream);
            if (!PA_STREAM_IS_GOOD(streamState)) break;
            if (streamState == PA_STREAM_READY) Feed(playback);
            if (playback.watch.TimeToAsk()) Ask(playback);
        }
        if (pa.prepare(loop, kWaitSliceUs) < 0 || pa.poll(loop) < 0 || pa.dispatch(loop) < 0) break;
    }
    return true;
}

} // namespace

bool SoundThroughPulseAudio(const ToneRequest& request) {
    PulseAudio pa;
    if (!Load(pa)) return false;
    pa_mainloop* loop = pa.newMainLoop();
    if (loop == nullptr) return false;
    pa_proplist* properties = pa.newProperties();
    pa.setProperty(properties, PA_PROP_APPLICATION_NAME, "tonerix");
    pa_context* context = pa.newContext(pa.apiOf(loop), "tonerix", properties);
    pa.freeProperties(properties);
    bool sounded = false;
    // Never start a server: the one the user runs, or none.
    if (context != nullptr && pa.connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0) {
        Playback playback{pa, ServerWatch(request),
                          SineGenerator(kRate, request.frequency,
                                        SineGenerator::FramesFor(kRate, request.duration)),
                          request.frequency};
        playback.context = context;
        sounded = Play(playback, loop);
        if (playback.stream != nullptr) {
            pa.disconnectStream(playback.stream);
            pa.releaseStream(playback.stream);
        }
        pa.disconnect(context);
    }
    if (context != nullptr) pa.releaseContext(context);
    pa.freeMainLoop(loop);
    return sounded;
}

} // namespace platform::linux_system

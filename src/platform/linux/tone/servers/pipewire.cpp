// The PipeWire driver: a native playback stream on the user's PipeWire server.
//
// Every buffer is filled to the frames the stream asks for, the last one
// padded with silence: a stream drops a last buffer shorter than that.
// Buffers are filled within the server's cycle, on the library's data thread:
// a cycle sooner than from the main loop, at the start and at the end.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include "platform/linux/tone/server_address.h"
#include "platform/linux/tone/servers/server_watch.h"
#include "platform/linux/tone/sine.h"
#include "platform/linux/tone/sound_library.h"
#include "platform/linux/tone/tone_driver.h"

namespace platform::linux_system {
namespace {

constexpr std::uint32_t kFrameBytes = sizeof(std::int16_t);

// The library's functions the driver calls; the rest of the API it uses is
// inline in the headers.
// clang-format off
#define PIPEWIRE_SYMBOLS(X) \
    X(pw_init) X(pw_get_library_version) X(pw_log_set_level) X(pw_main_loop_new) \
    X(pw_main_loop_get_loop) X(pw_main_loop_destroy) X(pw_context_new) X(pw_context_destroy) \
    X(pw_context_connect) X(pw_core_disconnect) X(pw_properties_new) X(pw_properties_set) \
    X(pw_stream_new) \
    X(pw_stream_add_listener) X(pw_stream_connect) X(pw_stream_dequeue_buffer) \
    X(pw_stream_queue_buffer) X(pw_stream_flush) X(pw_stream_get_time_n) X(pw_stream_get_node_id) \
    X(pw_stream_destroy)
// clang-format on
struct PipeWire {
    PIPEWIRE_SYMBOLS(TONERIX_SYMBOL_FIELD)
};

bool Load(ToneCall& call, PipeWire& symbols) {
    void* library = OpenSoundLibrary(call, "libpipewire-0.3.so.0");
    if (library == nullptr || !Bound(call, true PIPEWIRE_SYMBOLS(TONERIX_BIND_SYMBOL)))
        return false;
    if (PipeWireRecentEnough(symbols.pw_get_library_version())) return true;
    call.Say(reason::kPipeWireTooOld);
    return false;
}

// Whether a server socket is where the library will look for it: its
// PIPEWIRE_REMOTE, else "pipewire-0", in PIPEWIRE_RUNTIME_DIR, XDG_RUNTIME_DIR
// or /run/pipewire. The library loads its modules before it looks, which on a
// machine without PipeWire would delay every other driver for nothing. A path
// too long for a socket address is no socket.
bool ServerSocketThere() {
    const char* name = std::getenv("PIPEWIRE_REMOTE");
    if (name == nullptr || *name == '\0') name = "pipewire-0";
    if (*name == '/') return FitsSocketAddress(name) && access(name, F_OK) == 0;
    const char* folders[] = {std::getenv("PIPEWIRE_RUNTIME_DIR"), std::getenv("XDG_RUNTIME_DIR"),
                             "/run/pipewire"};
    for (const char* folder : folders) {
        char path[4096];
        int length = folder != nullptr && *folder != '\0'
                         ? std::snprintf(path, sizeof path, "%s/%s", folder, name)
                         : -1;
        if (length > 0 && length < int{sizeof path} && FitsSocketAddress(path) &&
            access(path, F_OK) == 0)
            return true;
    }
    return false;
}

// What the callbacks share with the waiting loop, by the thread that writes
// it. The watch takes facts from both threads.
struct Playback {
    const PipeWire& pw;
    ServerWatch watch;
    // OnProcess alone, on the library's data thread.
    struct {
        SineGenerator tone;
        bool flushed = false;
    } data;
    // Set up before the loop runs.
    pw_loop* loop = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_source* wake = nullptr; // wakes the loop from the data thread
    spa_hook coreListener{}, streamListener{}, registryListener{}, linkListener{};
    // The other callbacks, on the loop's thread: the question pending, and
    // what the registry says (the session manager's "default" metadata, the
    // link from this stream's node), known once the first sync is answered.
    struct {
        int pendingSync = -1;
        bool registryKnown = false;
        pw_registry* registry = nullptr;
        std::uint32_t buffers = 0; // the stream's, once the link has given it some
        int bufferCheck = -1;
        std::uint32_t sessionManager = SPA_ID_INVALID, link = SPA_ID_INVALID;
        const char* target = nullptr; // PIPEWIRE_NODE, until a node answers to it
    } onLoop{};
};

// Whether anything will link the stream to a sink: a link that exists (a sink
// still starting keeps it negotiating), or a session manager that will make
// one (it may be busy with a crowd of streams). With neither, nothing will.
void ReportLink(Playback& playback) {
    Link link = Link::kNotKnown;
    if (playback.onLoop.link != SPA_ID_INVALID)
        link = Link::kLinked;
    else if (playback.onLoop.sessionManager != SPA_ID_INVALID)
        link = Link::kAwaited;
    else if (playback.onLoop.registryKnown)
        link = Link::kNothing;
    playback.watch.LinkIs(link);
}

void OnCoreDone(void* data, std::uint32_t id, int seq) {
    auto& playback = *static_cast<Playback*>(data);
    if (id == PW_ID_CORE && seq == playback.onLoop.bufferCheck && playback.onLoop.buffers == 0)
        playback.watch.Lost(reason::kStreamFailed);
    if (id != PW_ID_CORE || seq != playback.onLoop.pendingSync) return;
    playback.watch.Answered();
    // The registry's first globals all came before the first answer.
    playback.onLoop.registryKnown = true;
    ReportLink(playback);
}

void OnCoreError(void* data, std::uint32_t id, int, int result, const char*) {
    // The connection itself is gone (the server died, or refused us), or the
    // stream failed (no memory for its buffers, a format refused): either
    // way nothing more will play.
    if (result >= 0) return;
    static_cast<Playback*>(data)->watch.Lost(id == PW_ID_CORE ? nullptr : reason::kStreamFailed);
}

// A link that failed plays nothing, ever; nor does one that is active while
// the stream took none of its buffers (no memory to map them). The server
// hands those over as it makes the link active: a question asked once it is
// and answered with no buffer taken says the stream failed.
void OnLinkInfo(void* data, const pw_link_info* info) {
    auto& playback = *static_cast<Playback*>(data);
    if (info->state == PW_LINK_STATE_ERROR) playback.watch.Lost(reason::kStreamFailed);
    if (info->state == PW_LINK_STATE_ACTIVE && playback.onLoop.buffers == 0)
        playback.onLoop.bufferCheck = pw_core_sync(playback.core, PW_ID_CORE, 0);
}

pw_link_events LinkEvents() {
    pw_link_events events{};
    events.version = PW_VERSION_LINK_EVENTS;
    events.info = OnLinkInfo;
    return events;
}
const pw_link_events kLinkEvents = LinkEvents();

// The session manager may link the stream anew (a sink unplugged, another
// chosen): the listener leaves the old link's proxy before it joins the new.
void WatchLink(Playback& playback, std::uint32_t id) {
    if (playback.onLoop.link != SPA_ID_INVALID) return;
    playback.onLoop.link = id;
    spa_hook_remove(&playback.linkListener);
    playback.linkListener = {};
    void* link =
        pw_registry_bind(playback.onLoop.registry, id, PW_TYPE_INTERFACE_Link, PW_VERSION_LINK, 0);
    if (link != nullptr)
        pw_link_add_listener(static_cast<pw_link*>(link), &playback.linkListener, &kLinkEvents,
                             &playback);
}

void OnGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
              const spa_dict* props) {
    auto& playback = *static_cast<Playback*>(data);
    if (props == nullptr) return;
    if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
        const char* name = spa_dict_lookup(props, PW_KEY_METADATA_NAME);
        if (name != nullptr && std::strcmp(name, "default") == 0)
            playback.onLoop.sessionManager = id;
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0 &&
               playback.onLoop.target != nullptr) {
        // The target is a node's name, its serial number or its id.
        char number[16];
        std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(id));
        const char* names[] = {spa_dict_lookup(props, PW_KEY_NODE_NAME),
                               spa_dict_lookup(props, PW_KEY_OBJECT_SERIAL), number};
        for (const char* value : names)
            if (value != nullptr && playback.onLoop.target != nullptr &&
                std::strcmp(value, playback.onLoop.target) == 0)
                playback.onLoop.target = nullptr;
    } else if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0 && playback.stream != nullptr) {
        const char* output = spa_dict_lookup(props, PW_KEY_LINK_OUTPUT_NODE);
        std::uint32_t node = playback.pw.pw_stream_get_node_id(playback.stream);
        if (output != nullptr && node != SPA_ID_INVALID &&
            std::strtoul(output, nullptr, 10) == node)
            WatchLink(playback, id);
    }
    ReportLink(playback);
}

void OnGlobalRemoved(void* data, std::uint32_t id) {
    auto& playback = *static_cast<Playback*>(data);
    if (id == playback.onLoop.sessionManager) playback.onLoop.sessionManager = SPA_ID_INVALID;
    if (id == playback.onLoop.link) playback.onLoop.link = SPA_ID_INVALID;
    ReportLink(playback);
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
    if (state == PW_STREAM_STATE_ERROR) static_cast<Playback*>(data)->watch.Lost();
}

void OnAddBuffer(void* data, pw_buffer*) { ++static_cast<Playback*>(data)->onLoop.buffers; }

void OnProcess(void* data) {
    auto& playback = *static_cast<Playback*>(data);
    if (playback.data.flushed) return;
    pw_buffer* buffer = playback.pw.pw_stream_dequeue_buffer(playback.stream);
    if (buffer == nullptr) return;
    spa_data& block = buffer->buffer->datas[0];
    if (block.data == nullptr) return;
    std::uint32_t frames = block.maxsize / kFrameBytes;
    if (buffer->requested != 0 && buffer->requested < frames)
        frames = static_cast<std::uint32_t>(buffer->requested);
    auto* samples = static_cast<std::int16_t*>(block.data);
    std::uint32_t filled = playback.data.tone.Fill(samples, frames);
    std::memset(samples + filled, 0, (frames - filled) * kFrameBytes);
    block.chunk->offset = 0;
    block.chunk->stride = kFrameBytes;
    block.chunk->size = frames * kFrameBytes;
    playback.pw.pw_stream_queue_buffer(playback.stream, buffer);
    // The loop hears of the first buffer at once, to say the tone sounds.
    bool first = !playback.watch.HasSounded();
    playback.watch.Sounded();
    if (first) pw_loop_signal_event(playback.loop, playback.wake);
    if (playback.data.tone.Remaining() == 0) {
        playback.pw.pw_stream_flush(playback.stream, true);
        playback.data.flushed = true;
        // This cycle takes the buffer just queued: the tone is over at the
        // device once the cycle is, and heard after the device's own delay.
        pw_time time{};
        if (playback.pw.pw_stream_get_time_n(playback.stream, &time, sizeof time) != 0) time = {};
        playback.watch.HeardBy(PipeWireHeardBy(Now(), filled, kServerRate, time.delay,
                                               {time.rate.num, time.rate.denom}));
        pw_loop_signal_event(playback.loop, playback.wake);
    }
}

// No "drained" event: it comes a cycle or two after the tone was heard, and
// the loop has returned by then, at the time the tone is heard by.
pw_core_events CoreEvents() {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.done = OnCoreDone;
    events.error = OnCoreError;
    return events;
}

pw_registry_events RegistryEvents() {
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global = OnGlobal;
    events.global_remove = OnGlobalRemoved;
    return events;
}

pw_stream_events StreamEvents() {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = OnStateChanged;
    events.process = OnProcess;
    events.add_buffer = OnAddBuffer;
    return events;
}
const pw_core_events kCoreEvents = CoreEvents();
const pw_registry_events kRegistryEvents = RegistryEvents();
const pw_stream_events kStreamEvents = StreamEvents();

bool ConnectStream(Playback& playback, std::uint32_t frequency) {
    const PipeWire& pw = playback.pw;
    StreamName name(frequency);
    pw_properties* properties = pw.pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE,
        "Notification", PW_KEY_APP_NAME, "tonerix", PW_KEY_MEDIA_NAME, name.text, nullptr);
    // The sink the user chose, by name or serial number, as the server's own
    // players take it.
    if (const char* target = std::getenv("PIPEWIRE_NODE"); target != nullptr && *target != '\0')
        pw.pw_properties_set(properties, PW_KEY_TARGET_OBJECT, target);
    playback.stream = pw.pw_stream_new(playback.core, name.text, properties);
    if (playback.stream == nullptr) return false;
    pw.pw_stream_add_listener(playback.stream, &playback.streamListener, &kStreamEvents, &playback);

    std::uint8_t space[256];
    spa_pod_builder builder;
    spa_pod_builder_init(&builder, space, sizeof space);
    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_S16;
    format.rate = kServerRate;
    format.channels = 1;
    format.position[0] = SPA_AUDIO_CHANNEL_MONO;
    const spa_pod* parameters[] = {
        spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
    auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    return pw.pw_stream_connect(playback.stream, SPA_DIRECTION_OUTPUT, PW_ID_ANY, flags, parameters,
                                1) == 0;
}

bool Ask(void* data) {
    auto& playback = *static_cast<Playback*>(data);
    playback.onLoop.pendingSync = pw_core_sync(playback.core, PW_ID_CORE, 0);
    return true;
}

void Wait(void* data, Nanoseconds until) {
    pw_loop_iterate(static_cast<Playback*>(data)->loop, TimeoutUntil(until, kMillisecond));
}

void OnWake(void*, std::uint64_t) {}

// Why the library could not start or connect, from the errno it left.
const char* WhyNotConnected(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return reason::kAccessDenied;
    case ECONNREFUSED:
        return reason::kConnectionRefused;
    case EAGAIN:
        return reason::kNoThread;
    case EMFILE:
    case ENFILE:
        return reason::kNoDescriptor;
    default:
        return reason::kCouldNotConnect;
    }
}

} // namespace

void SoundThroughPipeWire(ToneCall& call) {
    PipeWire pw;
    if (!ServerSocketThere()) {
        call.Say(reason::kNoServerSocket);
        return;
    }
    if (!Load(call, pw)) return;
    pw.pw_init(nullptr, nullptr);
    // tonerix writes nothing to standard error, unless the user asks the
    // library for its messages.
    if (std::getenv("PIPEWIRE_DEBUG") == nullptr) pw.pw_log_set_level(SPA_LOG_LEVEL_NONE);
    errno = 0;
    pw_main_loop* mainLoop = pw.pw_main_loop_new(nullptr);
    if (mainLoop == nullptr) {
        call.Say(WhyNotConnected(errno));
        return;
    }
    pw_loop* loop = pw.pw_main_loop_get_loop(mainLoop);
    pw_context* context =
        pw.pw_context_new(loop, pw.pw_properties_new(PW_KEY_APP_NAME, "tonerix", nullptr), 0);
    call.TookStep(); // the context loads the library's modules: the longest step
    ServerPeer peer; // before the connection, to tell it from what was open
    pw_core* core = context != nullptr ? pw.pw_context_connect(context, nullptr, 0) : nullptr;
    if (core == nullptr) call.Say(WhyNotConnected(errno));
    if (core != nullptr) {
        const ToneRequest& request = call.Request();
        Playback playback{pw,
                          ServerWatch(call, peer),
                          {SineGenerator(kServerRate, request.frequency,
                                         SineGenerator::FramesFor(kServerRate, request.duration))}};
        playback.loop = loop;
        playback.core = core;
        playback.wake = pw_loop_add_event(loop, OnWake, nullptr);
        pw_core_add_listener(core, &playback.coreListener, &kCoreEvents, &playback);
        playback.onLoop.registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
        if (pw_registry* registry = playback.onLoop.registry)
            pw_registry_add_listener(registry, &playback.registryListener, &kRegistryEvents,
                                     &playback);
        const char* target = std::getenv("PIPEWIRE_NODE");
        if (target != nullptr && *target != '\0') playback.onLoop.target = target;
        Ask(&playback); // its answer ends the handshake
        if (playback.wake != nullptr && ConnectStream(playback, request.frequency)) {
            pw_loop_enter(loop);
            Verdict::Kind verdict = playback.watch.Run({Ask, Wait, &playback});
            pw_loop_leave(loop);
            // No node answered to the target by the registry's first answer:
            // the server played it on the default sink.
            if (verdict == Verdict::kHeard && playback.onLoop.registryKnown &&
                playback.onLoop.target != nullptr)
                call.SayNamed(reason::kSinkMissing, "PIPEWIRE_NODE", target);
        } else {
            call.Say(reason::kStreamRefused);
        }
        if (playback.stream != nullptr) pw.pw_stream_destroy(playback.stream);
        pw.pw_core_disconnect(core);
    }
    if (context != nullptr) pw.pw_context_destroy(context);
    pw.pw_main_loop_destroy(mainLoop);
}

} // namespace platform::linux_system

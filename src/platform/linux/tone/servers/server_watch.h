// The loop both sound-server drivers run while their stream plays. The
// drivers report what their server says (answers, the stream's link, whether
// any of the tone was taken, when the last of it is heard); the verdict
// decides; the loop sleeps until the library has news or the verdict's next
// time comes.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/linux/tone/server_peer.h"
#include "platform/linux/tone/tone_call.h"
#include "platform/linux/tone/verdict.h"

namespace platform::linux_system {

// Both drivers ask their server for this rate, and name the stream alike.
inline constexpr std::uint32_t kServerRate = 48000;
struct StreamName {
    explicit StreamName(std::uint32_t frequency);
    char text[32]; // "440 Hz tone"
};

class ServerWatch {
  public:
    // What a driver does for the loop, on its own `driver` record.
    struct Conversation {
        // Sends a round trip that a live server answers while its sink
        // sleeps; false when none could be sent now.
        bool (*ask)(void* driver);
        // Runs the library's loop until it has something to report, or `until`.
        void (*wait)(void* driver, Nanoseconds until);
        void* driver;
    };

    // Counts the connection's handshake, just begun, as the first question;
    // `peer` noted the descriptors open before the library connected.
    ServerWatch(ToneCall& call, ServerPeer peer);

    // Runs `conversation` until the verdict is in, says why, and returns it.
    Verdict::Kind Run(Conversation conversation);

    // Facts, from the library loop's thread: the server answered the question
    // (or a step of the handshake); a question went out outside the loop; the
    // connection or the stream is gone; what links the stream to a sink.
    void Answered();
    void Asked();
    void Lost(const char* why = nullptr);
    void LinkIs(Link link) { facts_.link = link; }
    // From any thread: the server took some of the tone, and when its last
    // sample will be heard once all is queued.
    void Sounded() { sounded_ = true; }
    bool HasSounded() const { return sounded_; }
    // The round trip to the server, as measured so far.
    const RoundTrip& Path() const { return facts_.path; }
    void HeardBy(Nanoseconds time) { heardBy_ = time; }

  private:
    // The server's process, looked at while a question is unanswered.
    void LookAtPeer(bool asking);

    ToneCall& call_;
    ServerFacts facts_;
    ServerPeer peer_;
    std::atomic<Nanoseconds> heardBy_{0};
    std::atomic<bool> sounded_{false};
    const char* lostBecause_ = nullptr; // the driver's words for the loss
    bool readBeforeGivingUp_ = false;   // the library was let read what waited, once
};

} // namespace platform::linux_system

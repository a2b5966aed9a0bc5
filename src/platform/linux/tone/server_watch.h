// The loop both sound-server drivers run while their stream plays, and how it
// tells a slow server from a dead one. A live server answers round trips even
// while its sink is asleep (a power-saved codec, a Bluetooth headset waking
// up), so the loop waits for the sink as long as the answers come, and gives
// up once a question has gone unanswered for kAnswerLimit.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/linux/tone/tone_session.h"

namespace platform::linux_system {

// Both drivers ask their server for this rate, and name the stream alike.
inline constexpr std::uint32_t kServerRate = 48000;
struct StreamName {
    explicit StreamName(std::uint32_t frequency);
    char text[32]; // "440 Hz tone"
};

class ServerWatch {
  public:
    enum class Step { kGoOn, kPlayed, kLost, kGivenUp };
    // What a driver does for the loop, on its own `driver` record.
    struct Conversation {
        // Sends a round trip that a live server answers while its sink
        // sleeps; false when none could be sent now.
        bool (*ask)(void* driver);
        // Runs the library's loop for up to `sliceMs`: kPlayed once the tone
        // has been heard, kLost when the connection or the stream is gone.
        Step (*step)(void* driver, int sliceMs);
        void* driver;
    };

    explicit ServerWatch(ToneSession& session);

    // Runs `conversation` until the tone is heard (kPlayed), the connection or
    // stream is lost (kLost), or a stop or a silent server ends the wait
    // (kGivenUp).
    Step Run(Conversation conversation);
    // The server answered a round trip (or finished connecting).
    void Answered();
    bool EverAnswered() const { return everAnswered_; }
    // When the last of the tone will have been heard, once it is all queued.
    // Safe from the library's own threads.
    void HeardBy(Nanoseconds time) { heardBy_ = time; }

  private:
    bool GiveUp(Nanoseconds now) const;

    ToneSession& session_;
    Nanoseconds lastAnswer_;
    Nanoseconds latest_;
    std::atomic<Nanoseconds> heardBy_{0};
    bool pending_ = false;
    bool everAnswered_ = false;
};

} // namespace platform::linux_system

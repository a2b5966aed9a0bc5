// The loop both sound-server drivers run while their stream plays, and how it
// tells a slow server from a dead one.
//
// A server is judged by its answers. Before the tone's end nothing but a stop,
// a lost connection or a failed stream ends the wait: the call cannot return
// before the end anyway. After it, a live server answers round trips even
// while its sink is asleep (a power-saved codec, a Bluetooth headset waking
// up), so the loop waits for the sink as long as the answers come, and gives
// up once a question has gone unanswered for longer than the path to the
// server explains: the round trip is measured on the connection, as TCP
// measures its retransmission timeout. Only time the loop itself was running
// counts: after a gap in the loop (tonerix stopped, the machine asleep) the
// question is asked afresh.
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

    // Counts the connection's handshake, just begun, as the first question.
    explicit ServerWatch(ToneSession& session);

    // Runs `conversation` until the tone is heard (kPlayed), the connection or
    // stream is lost (kLost), or a stop or a silent server ends the wait
    // (kGivenUp).
    Step Run(Conversation conversation);
    // The server answered the question (or a step of the handshake).
    void Answered();
    // A question went out outside the loop: the handshake's next step.
    void Asked();
    bool EverAnswered() const { return everAnswered_; }
    // Whether the stream is linked to a sink that will play it, for a driver
    // that can tell. A stream left unlinked for kLinkWait is taken for one
    // that nothing will play (no session manager, no sink), and is not waited
    // for past the tone's end. Any thread.
    void Linked(bool linked);
    // When the last of the tone will have been heard, once it is all queued.
    // Any thread.
    void HeardBy(Nanoseconds time) { heardBy_ = time; }

  private:
    // Why to give up now, or null.
    const char* GiveUp(Nanoseconds now) const;
    Step Ended(Step step, const char* outcome);
    Nanoseconds AnswerLimit() const;
    // When the pending question, or else the next one, should be answered by.
    Nanoseconds AnswerDue() const;
    // Tells the session.
    void Expect();

    ToneSession& session_;
    Nanoseconds askedAt_;
    Nanoseconds lastTurn_;
    // Smoothed round trip and its variation; no sample yet while srtt_ is 0.
    Nanoseconds srtt_ = 0, rttvar_ = 0;
    std::atomic<Nanoseconds> heardBy_{0};
    std::atomic<Nanoseconds> unlinkedSince_{0}; // 0: linked, or not known
    bool pending_ = true;
    bool everAnswered_ = false;
};

} // namespace platform::linux_system

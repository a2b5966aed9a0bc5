// Tells a slow sound server from a dead one. A live server answers round
// trips even while its sink is asleep (a power-saved codec, a Bluetooth
// headset waking up), so a driver waits for the sink as long as the answers
// come, and gives up once a question has gone unanswered for kAnswerLimit.
// Each answer also moves on the tone service's own last-resort limit.
#pragma once

#include "platform/linux/tone/tone.h"

namespace platform::linux_system {

class ServerWatch {
  public:
    explicit ServerWatch(const ToneRequest& request);

    // Whether to send the next round trip now: none is pending, and the last
    // answer is kAskEvery old.
    bool TimeToAsk() const;
    void Asked() { pending_ = true; }
    // The server answered a round trip (or finished connecting).
    void Answered();
    bool EverAnswered() const { return everAnswered_; }
    // Stop waiting: a stop signal came, the server stopped answering, or its
    // sink has not played the tone long after it should have ended.
    bool GiveUp() const;

  private:
    Nanoseconds lastAnswer_;
    Nanoseconds latest_;
    bool pending_ = false;
    bool everAnswered_ = false;
};

} // namespace platform::linux_system

// The process at the other end of a sound server's local connection, as the
// kernel reports it: whether it sent anything back, whether it is stopped, or
// asleep and has not run. A server that accepted the connection but will not
// answer looks so, and the verdict declines it while the next driver still
// has time for the tone.
#pragma once

#include <cstdint>

#include "platform/linux/tone/clock.h"

namespace platform::linux_system {

struct PeerState {
    bool known = false;   // a local server's process, found and readable
    bool spoke = false;   // bytes from it wait on the connection, not read yet
    bool stopped = false; // stopped (SIGSTOP, a debugger)
    bool asleep = false;  // waiting for an event, not for a processor or the disk
    Nanoseconds ran = 0;  // processor time its main thread has had
    // A TCP server whose process is not to be seen (on another machine): the
    // kernel's word on the connection instead. Its machine has every byte
    // sent to it, and the round trip the kernel measured to it.
    bool unseen = false, acked = false;
    Nanoseconds rtt = 0, rttvar = 0;
};

class ServerPeer {
  public:
    // Notes the descriptors open now: the connection is one opened after.
    ServerPeer();
    // The peer of the connection the library opened since, over a Unix
    // socket or TCP on this machine; false if none (yet). A TCP connection
    // to a process not to be seen is kept, for what the kernel says of it.
    bool Find();
    bool Found() const { return pid_ != 0 || fd_ >= 0; }
    PeerState State() const;
    // Bytes from the server wait on the connection, not read yet.
    bool Spoke() const;

  private:
    static constexpr int kDescriptors = 1024;
    std::uint64_t before_[kDescriptors / 64] = {};
    int pid_ = 0, fd_ = -1;
};

} // namespace platform::linux_system

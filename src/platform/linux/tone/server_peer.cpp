// Finding a sound server's process from the connection the library opened,
// and what the scheduler and the connection say of it.
#include "platform/linux/tone/server_peer.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {

// Calls `visit` with each open socket below `limit` until it returns false.
// The process's own list of descriptors: a few system calls, where asking
// every possible number would take a thousand on each driver's start.
template <typename Visit> void ForEachSocket(int limit, Visit visit) {
    DIR* listing = opendir("/proc/self/fd");
    if (listing == nullptr) return;
    while (const dirent* entry = readdir(listing)) {
        int fd = std::atoi(entry->d_name);
        struct stat status;
        if (entry->d_name[0] != '.' && fd != dirfd(listing) && fd < limit &&
            fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode) && !visit(fd))
            break;
    }
    closedir(listing);
}

} // namespace

ServerPeer::ServerPeer() {
    ForEachSocket(kDescriptors, [this](int fd) {
        before_[fd / 64] |= std::uint64_t{1} << (fd % 64);
        return true;
    });
}

bool ServerPeer::Find() {
    ForEachSocket(kDescriptors, [this](int fd) {
        ucred peer{};
        socklen_t length = sizeof peer;
        if ((before_[fd / 64] >> (fd % 64) & 1) != 0 ||
            getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.pid <= 0 ||
            peer.pid == getpid())
            return true;
        pid_ = peer.pid;
        fd_ = fd;
        return false;
    });
    return pid_ != 0;
}

PeerState ServerPeer::State() const {
    char folder[32];
    std::snprintf(folder, sizeof folder, "/proc/%d", pid_);
    Scheduled scheduled = pid_ != 0 ? ScheduledIn(folder) : Scheduled{};
    if (!scheduled.known) return {};
    return {true, Spoke(), scheduled.state == 'T' || scheduled.state == 't', scheduled.state == 'S',
            scheduled.ran};
}

// An answer this thread had no processor to read yet is an answer.
bool ServerPeer::Spoke() const {
    pollfd connection{fd_, POLLIN, 0};
    return fd_ >= 0 && poll(&connection, 1, 0) == 1 && (connection.revents & POLLIN) != 0;
}

} // namespace platform::linux_system

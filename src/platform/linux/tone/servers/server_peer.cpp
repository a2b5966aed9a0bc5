// Finding a sound server's process from the connection the library opened,
// and reading its state from /proc.
#include "platform/linux/tone/servers/server_peer.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {

bool IsSocket(int fd) {
    struct stat status;
    return fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode);
}

bool ReadProcessFile(int pid, const char* name, char (&text)[512]) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/%s", pid, name);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t length = read(fd, text, sizeof text - 1);
    close(fd);
    if (length <= 0) return false;
    text[length] = '\0';
    return true;
}

} // namespace

ServerPeer::ServerPeer() {
    for (int fd = 0; fd < kDescriptors; ++fd)
        if (IsSocket(fd)) before_[fd / 64] |= std::uint64_t{1} << (fd % 64);
}

bool ServerPeer::Find() {
    for (int fd = 0; fd < kDescriptors && pid_ == 0; ++fd) {
        if ((before_[fd / 64] >> (fd % 64) & 1) != 0 || !IsSocket(fd)) continue;
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && peer.pid > 0 &&
            peer.pid != getpid()) {
            pid_ = peer.pid;
            fd_ = fd;
        }
    }
    return pid_ != 0;
}

PeerState ServerPeer::State() const {
    PeerState state;
    char stat[512], schedstat[512];
    long long ran = 0;
    if (pid_ == 0 || !ReadProcessFile(pid_, "stat", stat) ||
        !ReadProcessFile(pid_, "schedstat", schedstat) || std::sscanf(schedstat, "%lld", &ran) != 1)
        return state;
    const char* nameEnd = std::strrchr(stat, ')');
    if (nameEnd == nullptr || nameEnd[1] != ' ') return state;
    state.known = true;
    // An answer this thread had no processor to read yet is an answer.
    pollfd connection{fd_, POLLIN, 0};
    state.spoke = poll(&connection, 1, 0) == 1 && (connection.revents & POLLIN) != 0;
    state.stopped = nameEnd[2] == 'T' || nameEnd[2] == 't';
    state.asleep = nameEnd[2] == 'S';
    state.ran = ran;
    return state;
}

} // namespace platform::linux_system

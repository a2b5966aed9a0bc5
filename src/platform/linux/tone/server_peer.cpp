// Finding a sound server's process from the connection the library opened,
// and what the scheduler and the connection say of it.
#include "platform/linux/tone/server_peer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::linux_system {
namespace {

constexpr std::uint8_t kEstablished = 1; // a TCP state, as the kernel numbers them

// What the kernel says of TCP connection `fd`; false for no TCP connection.
bool TcpInfoOf(int fd, tcp_info& info) {
    socklen_t length = sizeof info;
    return getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0;
}

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

// A socket's address as the kernel's TCP tables print it: the address's
// 32-bit words as the machine stores them, and the port, in hexadecimal.
bool TableAddress(const sockaddr_storage& address, char (&text)[48]) {
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        std::snprintf(text, sizeof text, "%08X:%04X", v4.sin_addr.s_addr, ntohs(v4.sin_port));
        return true;
    }
    if (address.ss_family != AF_INET6) return false;
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    std::uint32_t words[4];
    std::memcpy(words, &v6.sin6_addr, sizeof words);
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X:%04X", words[0], words[1], words[2],
                  words[3], ntohs(v6.sin6_port));
    return true;
}

bool Loopback(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
        return ntohl(reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr) >> 24 == 127;
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
    return address.ss_family == AF_INET6 &&
           (IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127));
}

// The server's end of a TCP connection on this machine: the socket that
// accepted it, or, before the server has accepted it, the one listening on
// its port. 0 when the server is elsewhere.
unsigned long ServerSocketOf(int fd) {
    sockaddr_storage ours{}, theirs{};
    socklen_t length = sizeof ours, theirLength = sizeof theirs;
    char local[48], remote[48];
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&ours), &length) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &theirLength) != 0 ||
        !Loopback(theirs) || !TableAddress(ours, local) || !TableAddress(theirs, remote))
        return 0;
    const char* port = std::strchr(remote, ':');
    unsigned long accepted = 0, listening = 0;
    const char* tables[] = {"/proc/net/tcp", "/proc/net/tcp6"};
    for (const char* table : tables) {
        std::FILE* sockets = std::fopen(table, "re");
        char line[256], from[48], to[48];
        unsigned state = 0;
        unsigned long inode = 0;
        while (sockets != nullptr && std::fgets(line, sizeof line, sockets) != nullptr) {
            if (std::sscanf(line, "%*d: %47s %47s %X %*s %*s %*s %*u %*u %lu", from, to, &state,
                            &inode) != 4 ||
                inode == 0)
                continue;
            if (std::strcmp(from, remote) == 0 && std::strcmp(to, local) == 0) accepted = inode;
            const char* listeningPort = std::strchr(from, ':');
            if (state == 0x0A && listeningPort != nullptr && std::strcmp(listeningPort, port) == 0)
                listening = inode;
        }
        if (sockets != nullptr) std::fclose(sockets);
    }
    return accepted != 0 ? accepted : listening;
}

// The process other than this one that holds socket `inode` open; 0 if none
// this user may see.
int HolderOf(unsigned long inode) {
    char wanted[40];
    std::snprintf(wanted, sizeof wanted, "socket:[%lu]", inode);
    DIR* processes = opendir("/proc");
    int holder = 0;
    while (processes != nullptr && holder == 0) {
        const dirent* process = readdir(processes);
        if (process == nullptr) break;
        int pid = std::atoi(process->d_name);
        char folder[48];
        std::snprintf(folder, sizeof folder, "/proc/%d/fd", pid);
        DIR* descriptors = pid > 0 && pid != getpid() ? opendir(folder) : nullptr;
        while (descriptors != nullptr && holder == 0) {
            const dirent* entry = readdir(descriptors);
            if (entry == nullptr) break;
            char path[320], target[40];
            std::snprintf(path, sizeof path, "%s/%s", folder, entry->d_name);
            ssize_t size = readlink(path, target, sizeof target - 1);
            if (size > 0 && (target[size] = '\0', std::strcmp(target, wanted) == 0)) holder = pid;
        }
        if (descriptors != nullptr) closedir(descriptors);
    }
    if (processes != nullptr) closedir(processes);
    return holder;
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
        if ((before_[fd / 64] >> (fd % 64) & 1) != 0) return true;
        // A local socket names its peer; a TCP connection to this machine
        // is found through the kernel's tables.
        ucred peer{};
        socklen_t length = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.pid <= 0) {
            unsigned long inode = ServerSocketOf(fd);
            peer.pid = inode != 0 ? HolderOf(inode) : 0;
        }
        if (peer.pid <= 0 || peer.pid == getpid()) {
            // Connected, and no process of this machine's behind it: no later
            // look would find one.
            tcp_info info{};
            if (TcpInfoOf(fd, info) && info.tcpi_state == kEstablished) fd_ = fd;
            return true;
        }
        pid_ = peer.pid;
        fd_ = fd;
        return false;
    });
    return Found();
}

PeerState ServerPeer::State() const {
    if (pid_ == 0 && fd_ >= 0) {
        tcp_info info{};
        if (!TcpInfoOf(fd_, info)) return {};
        PeerState state;
        state.unseen = true;
        state.spoke = Spoke();
        state.acked = info.tcpi_state == kEstablished && info.tcpi_bytes_sent > 0 &&
                      info.tcpi_unacked == 0 && info.tcpi_notsent_bytes == 0;
        state.rtt = Nanoseconds{info.tcpi_rtt} * kMicrosecond;
        state.rttvar = Nanoseconds{info.tcpi_rttvar} * kMicrosecond;
        return state;
    }
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

// Checking sound-server addresses from the environment.
#include "platform/linux/tone/server_address.h"

#include <cstring>
#include <sys/un.h>

namespace platform::linux_system {
namespace {

constexpr std::size_t kLongestHostName = 253;

// The text before `end` (npos for all of it). Neither this nor DropPrefix
// uses substr or starts_with, which bring in an exception path.
std::string_view Before(std::string_view text, std::size_t end) {
    return {text.data(), end < text.size() ? end : text.size()};
}

bool DropPrefix(std::string_view& text, std::string_view prefix) {
    if (text.size() < prefix.size() || std::memcmp(text.data(), prefix.data(), prefix.size()) != 0)
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

bool AddressUsable(std::string_view address) {
    if (DropPrefix(address, "{")) {
        std::size_t close = address.find('}');
        if (close == std::string_view::npos) return false;
        address.remove_prefix(close + 1);
    }
    if (DropPrefix(address, "unix:") || (!address.empty() && address[0] == '/'))
        return FitsSocketAddress(address);
    DropPrefix(address, "tcp4:") || DropPrefix(address, "tcp6:") || DropPrefix(address, "tcp:");
    // "[v6 address]:port", or "host:port", or a host alone.
    std::string_view host = address;
    host = DropPrefix(host, "[") ? Before(host, host.find(']')) : Before(host, host.rfind(':'));
    return host.size() <= kLongestHostName;
}

} // namespace

bool FitsSocketAddress(std::string_view path) {
    return path.size() < sizeof(sockaddr_un::sun_path);
}

bool PulseServerUsable(std::string_view servers) {
    while (!servers.empty()) {
        std::size_t end = servers.find(' ');
        if (!AddressUsable(Before(servers, end))) return false;
        servers.remove_prefix(end == std::string_view::npos ? servers.size() : end + 1);
    }
    return true;
}

} // namespace platform::linux_system

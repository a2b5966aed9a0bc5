// The addresses from the environment that a sound library is handed, or
// declined before it can abort on them.
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/tone/server_address.h"

namespace {

using platform::linux_system::PulseServerUsable;

TEST(ServerAddressTest, PulseServerListsTheLibraryCanTake) {
    const std::string longest(253, 'h'), tooLong(254, 'h'), path(107, 'p');
    const struct {
        std::string servers;
        bool usable;
    } rows[] = {
        {"", true},
        {"localhost", true},
        {"tcp:localhost:4713 unix:/run/user/1000/pulse/native", true},
        {"{1f2e}unix:/run/pulse/native", true},
        {"tcp6:[::1]:4713", true},
        {longest, true},
        {"tcp:" + longest + ":4713", true},
        {"/" + path.substr(1), true},
        {tooLong, false}, // the library asserts on it
        {"tcp:" + tooLong + ":4713", false},
        {"localhost " + tooLong, false},
        {"[" + tooLong + "]:4713", false},
        {"unix:" + path + "p", false},
        {"{1f2e", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.servers.substr(0, 40));
        EXPECT_EQ(PulseServerUsable(row.servers), row.usable);
    }
}

} // namespace

// A bound on how long a call may wait for a server's answer, kept on the
// client's side.
//
// A server that has stopped (its process halted, the path to it dropping
// packets, the machine overloaded) can leave a call blocked in a read from
// its socket for ever: the kernel of a halted server still acknowledges what
// is sent to it, so neither TCP's retransmission limit (TCP_USER_TIMEOUT) nor
// keep-alive probes end the wait, and a cancel request is never processed by
// a process that does not run. The only bound that holds is one kept here: a
// thread of the process shuts the session's socket down when a call has
// waited longer than the bound, which makes the blocked read return at once
// with a broken connection, whatever the driver and its TLS layer.
//
// Arm and Disarm are called from whatever thread runs the call; the socket
// is shut down, never closed (the driver still owns the descriptor), and
// never after Disarm has returned, so a descriptor reused later is safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace hisdb::detail {

// A socket as the process knows it: its descriptor and the inode behind it,
// so that a descriptor closed and reused in between is not taken for the same.
struct OpenSocket {
    int fd = -1;
    ino_t inode = 0;
    bool operator==(const OpenSocket&) const = default;
};

// The stream sockets this process holds open (from /proc/self/fd).
[[nodiscard]] std::vector<OpenSocket> OpenSockets();

// The one socket of `after` not in `before`, a driver's login having made
// it; -1 when there is none or more than one (another thread opened one
// too), and nothing can be bounded.
[[nodiscard]] int NewSocket(const std::vector<OpenSocket>& before, const std::vector<OpenSocket>& after);

class Watchdog {
public:
    // From now on, `fd` is shut down once `bound` has passed, unless the
    // token returned is disarmed first.
    static std::uint64_t Arm(int fd, std::chrono::milliseconds bound);
    // Ends the watch; true when the bound had passed and the socket was shut down.
    static bool Disarm(std::uint64_t token);
    // True when the watch of `token` has fired (it stays armed).
    [[nodiscard]] static bool Fired(std::uint64_t token);
};

}  // namespace hisdb::detail

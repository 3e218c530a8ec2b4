#include "tests/support/network_path.h"

#include "tests/support/test_env.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <utility>
#include <vector>

namespace testenv {
namespace {

bool Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

int ClusterPort()
{
    std::smatch port;
    const std::string connect = PgConnect();
    return std::regex_search(connect, port, std::regex("Port=([0-9]+)", std::regex::icase)) ? std::stoi(port[1]) : 5432;
}

}  // namespace

NetworkPath::NetworkPath()
{
    const int id = static_cast<int>(getpid());
    name_ = "opd" + std::to_string(id % 100000);
    const std::string net = "10.231." + std::to_string(id % 250) + ".";
    address_ = net + "1";
    const std::string host = name_ + "h";
    const std::string inside = name_ + "c";
    if (!Run("ip netns add " + name_)) {
        why_ = "network namespaces cannot be made here (ip netns add)";
        return;
    }
    if (!Run("ip link add " + host + " type veth peer name " + inside) || !Run("ip link set " + inside + " netns " + name_)
        || !Run("ip addr add " + address_ + "/30 dev " + host) || !Run("ip link set " + host + " up")
        || !Run("ip netns exec " + name_ + " ip addr add " + net + "2/30 dev " + inside)
        || !Run("ip netns exec " + name_ + " ip link set " + inside + " up")
        || !Run("ip netns exec " + name_ + " ip link set lo up")) {
        why_ = "a veth link into the namespace cannot be made here";
        return;
    }
    home_ = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    inside_ = open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    inet_pton(AF_INET, address_.c_str(), &at.sin_addr);
    socklen_t length = sizeof at;
    if (home_ < 0 || inside_ < 0 || listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0
        || listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
        why_ = "the relay cannot listen on the link";
        return;
    }
    port_ = ntohs(at.sin_port);
    // A process of its own: the sockets it opens while a session logs in
    // must not be taken for the session's.
    relay_ = fork();
    if (relay_ == 0) {
        // Inside, the cluster's own address serves too, through a second
        // listener, so that the test's sessions opened while its thread is
        // inside still reach the cluster, never through the path.
        sockaddr_in loopback{};
        loopback.sin_family = AF_INET;
        loopback.sin_port = htons(static_cast<uint16_t>(ClusterPort()));
        inet_pton(AF_INET, "127.0.0.1", &loopback.sin_addr);
        setns(inside_, CLONE_NEWNET);
        const int inner = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool listening = bind(inner, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0 && listen(inner, 16) == 0;
        setns(home_, CLONE_NEWNET);
        Relay(listening ? inner : -1);
        _exit(0);
    }
}

NetworkPath::~NetworkPath()
{
    if (relay_ > 0) {
        kill(relay_, SIGKILL);
        waitpid(relay_, nullptr, 0);
    }
    for (int fd : {listener_, home_, inside_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    Run("ip link del " + name_ + "h");
    Run("ip netns del " + name_);
}

std::string NetworkPath::Connect() const
{
    std::string connect = std::regex_replace(PgConnect(), std::regex("Server=[^;]*", std::regex::icase),
                                             "Server=" + address_);
    return std::regex_replace(connect, std::regex("Port=[^;]*", std::regex::icase), "Port=" + std::to_string(port_));
}

void NetworkPath::Enter()
{
    setns(inside_, CLONE_NEWNET);
}

void NetworkPath::Leave()
{
    setns(home_, CLONE_NEWNET);
}

void NetworkPath::Drop(bool drop)
{
    Run("ip netns exec " + name_ + " ip route " + (drop ? "add" : "del") + " blackhole " + address_ + "/32");
}

// Passes each connection made to the listener on to the cluster, byte for
// byte both ways, until either side ends it.
void NetworkPath::Relay(int inner)
{
    std::vector<std::pair<int, int>> pairs;  // (from the namespace, to the cluster)
    const int clusterPort = ClusterPort();
    for (;;) {
        std::vector<pollfd> fds = {{listener_, POLLIN, 0}, {inner, POLLIN, 0}};
        for (const auto& [a, b] : pairs) {
            fds.push_back({a, POLLIN, 0});
            fds.push_back({b, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), -1) < 0) {
            continue;
        }
        const std::size_t polled = pairs.size();
        for (int k = 0; k < 2; ++k) {
            if ((fds[static_cast<std::size_t>(k)].revents & POLLIN) == 0) {
                continue;
            }
            const int a = accept4(fds[static_cast<std::size_t>(k)].fd, nullptr, nullptr, SOCK_CLOEXEC);
            const int b = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in cluster{};
            cluster.sin_family = AF_INET;
            cluster.sin_port = htons(static_cast<uint16_t>(clusterPort));
            inet_pton(AF_INET, "127.0.0.1", &cluster.sin_addr);
            if (a >= 0 && b >= 0 && connect(b, reinterpret_cast<sockaddr*>(&cluster), sizeof cluster) == 0) {
                pairs.emplace_back(a, b);
            } else {
                for (int fd : {a, b}) {
                    if (fd >= 0) {
                        close(fd);
                    }
                }
            }
        }
        std::vector<std::pair<int, int>> kept;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const auto [a, b] = pairs[i];
            bool open = true;
            if (i >= polled) {
                kept.emplace_back(a, b);  // accepted just now
                continue;
            }
            for (int side = 0; side < 2 && open; ++side) {
                const pollfd& p = fds[2 + 2 * i + static_cast<std::size_t>(side)];
                if (p.revents == 0) {
                    continue;
                }
                char buffer[65536];
                const ssize_t got = read(p.fd, buffer, sizeof buffer);
                const int to = side == 0 ? b : a;
                open = got > 0;
                for (ssize_t sent = 0; open && sent < got;) {
                    const ssize_t n = write(to, buffer + sent, static_cast<std::size_t>(got - sent));
                    open = n > 0;
                    sent += n > 0 ? n : 0;
                }
            }
            if (open) {
                kept.emplace_back(a, b);
            } else {
                close(a);
                close(b);
            }
        }
        pairs = std::move(kept);
    }
}

}  // namespace testenv

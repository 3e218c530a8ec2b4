// A network path of the test's own to the PostgreSQL test cluster, which can
// be made to drop every packet: a network namespace joined to this one by a
// veth pair, a relay process here that passes its connections on to the cluster, and
// a blackhole route in the namespace that silently discards what is sent
// through it. Sessions opened by a thread while it is inside the namespace
// go through the path; the test's other sessions do not.
#pragma once

#include <sys/types.h>

#include <string>

namespace testenv {

class NetworkPath {
public:
    NetworkPath();
    ~NetworkPath();
    NetworkPath(const NetworkPath&) = delete;
    NetworkPath& operator=(const NetworkPath&) = delete;

    // False (and Why() says why) where namespaces or veth links cannot be made.
    [[nodiscard]] bool Available() const { return why_.empty(); }
    [[nodiscard]] const std::string& Why() const { return why_; }
    // PgConnect() with the server and port of the relay, as seen from inside.
    [[nodiscard]] std::string Connect() const;
    // The calling thread enters the namespace, and leaves it again.
    void Enter();
    void Leave();
    // From now on every packet sent inside towards the relay is dropped, or no more.
    void Drop(bool drop);

private:
    void Relay(int inner);

    std::string name_;  // of the namespace and the links
    std::string why_;
    std::string address_;  // of this side of the pair
    int listener_ = -1;
    int port_ = 0;
    int home_ = -1;  // this namespace
    int inside_ = -1;
    pid_t relay_ = -1;
};

}  // namespace testenv

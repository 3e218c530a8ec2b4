#include "platform/engine/watchdog.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace hisdb::detail {

std::vector<OpenSocket> OpenSockets()
{
    std::vector<OpenSocket> sockets;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return sockets;
    }
    const int own = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own) {
            continue;
        }
        struct stat st {};
        int type = 0;
        socklen_t length = sizeof type;
        if (fstat(static_cast<int>(fd), &st) == 0 && S_ISSOCK(st.st_mode)
            && getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM) {
            sockets.push_back({static_cast<int>(fd), st.st_ino});
        }
    }
    closedir(dir);
    return sockets;
}

int NewSocket(const std::vector<OpenSocket>& before, const std::vector<OpenSocket>& after)
{
    int found = -1;
    for (const OpenSocket& s : after) {
        if (std::find(before.begin(), before.end(), s) != before.end()) {
            continue;
        }
        if (found != -1) {
            return -1;
        }
        found = s.fd;
    }
    return found;
}

namespace {

using Clock = std::chrono::steady_clock;

// Set once the keeper is gone at the process's end: a connection that a
// static object of the host still holds may end after it, and its last
// calls then go unbounded instead of touching a destroyed keeper.
std::atomic<bool> g_keeperGone{false};

// The watches and the thread that keeps them. The thread starts with the
// first watch (again in a child after fork, which has no thread).
class Keeper {
public:
    static Keeper& Instance()
    {
        static Keeper keeper;
        return keeper;
    }

    ~Keeper()
    {
        g_keeperGone = true;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_ && owner_ == getpid()) {
            thread_->join();
        } else {
            (void)thread_.release();  // the parent's; nothing to join here
        }
    }

    std::uint64_t Arm(int fd, std::chrono::milliseconds bound)
    {
        std::lock_guard lock(mutex_);
        if (owner_ != getpid()) {
            (void)thread_.release();  // the parent's; it does not run here
            owner_ = getpid();
            watches_.clear();
            thread_ = std::make_unique<std::thread>([this] { Run(); });
        }
        const std::uint64_t token = ++last_;
        const Clock::time_point deadline = Clock::now() + bound;
        watches_.emplace(token, Watch{fd, deadline, false});
        // Calls of one bound come in the order of their deadlines: the
        // thread is woken only for one earlier than it waits for.
        if (deadline < wakeAt_) {
            wake_.notify_one();
        }
        return token;
    }

    bool Disarm(std::uint64_t token)
    {
        std::lock_guard lock(mutex_);
        auto found = watches_.find(token);
        if (found == watches_.end()) {
            return false;
        }
        const bool fired = found->second.fired;
        watches_.erase(found);
        return fired;
    }

    bool Fired(std::uint64_t token)
    {
        std::lock_guard lock(mutex_);
        auto found = watches_.find(token);
        return found != watches_.end() && found->second.fired;
    }

private:
    struct Watch {
        int fd;
        Clock::time_point deadline;
        bool fired;
    };

    void Run()
    {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            auto next = Clock::time_point::max();
            const auto now = Clock::now();
            for (auto& [token, watch] : watches_) {
                if (watch.fired) {
                    continue;
                }
                if (watch.deadline <= now) {
                    // Under the lock: Disarm cannot return in between, so
                    // the descriptor is still the driver's socket.
                    ::shutdown(watch.fd, SHUT_RDWR);
                    watch.fired = true;
                } else {
                    next = std::min(next, watch.deadline);
                }
            }
            wakeAt_ = next;
            if (next == Clock::time_point::max()) {
                wake_.wait(lock);
            } else {
                wake_.wait_until(lock, next);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::uint64_t, Watch> watches_;
    std::uint64_t last_ = 0;
    Clock::time_point wakeAt_ = Clock::time_point::max();  // when the thread wakes of itself
    std::unique_ptr<std::thread> thread_;
    pid_t owner_ = 0;
    bool stopping_ = false;
};

}  // namespace

std::uint64_t Watchdog::Arm(int fd, std::chrono::milliseconds bound)
{
    return g_keeperGone ? 0 : Keeper::Instance().Arm(fd, bound);
}

bool Watchdog::Disarm(std::uint64_t token)
{
    return token != 0 && !g_keeperGone && Keeper::Instance().Disarm(token);
}

bool Watchdog::Fired(std::uint64_t token)
{
    return token != 0 && !g_keeperGone && Keeper::Instance().Fired(token);
}

}  // namespace hisdb::detail

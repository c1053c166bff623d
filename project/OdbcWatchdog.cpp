#include "OdbcWatchdog.h"

#include <dirent.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
/// The inode of a "socket:[123]" link target, or 0 when the descriptor is not a socket.
unsigned long SocketInode(int fd)
{
    char path[64];
    char target[128];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(path, target, sizeof target - 1);
    if (n <= 0)
        return 0;
    target[n] = '\0';
    if (std::strncmp(target, "socket:[", 8) != 0)
        return 0;
    return std::strtoul(target + 8, nullptr, 10);
}
} // namespace

OdbcWatchdog::~OdbcWatchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<OdbcWatchdog::Socket> OdbcWatchdog::ProcessSockets()
{
    std::vector<Socket> sockets;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return sockets;
    const int own = dirfd(dir);
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        const int fd = std::atoi(entry->d_name);
        if (fd == own)
            continue;
        if (unsigned long inode = SocketInode(fd))
            sockets.push_back({fd, inode});
    }
    closedir(dir);
    return sockets;
}

void OdbcWatchdog::BeforeConnect()
{
    std::vector<Socket> before = ProcessSockets();
    std::lock_guard lock(m_mutex);
    m_before = std::move(before);
    m_connecting = true;
}

std::vector<OdbcWatchdog::Socket> OdbcWatchdog::NewSockets() const
{
    std::vector<Socket> fresh;
    for (const Socket& s : ProcessSockets()) {
        const bool known = std::any_of(m_before.begin(), m_before.end(),
                                       [&](const Socket& b) { return b.fd == s.fd && b.inode == s.inode; });
        if (!known)
            fresh.push_back(s);
    }
    return fresh;
}

void OdbcWatchdog::AfterConnect()
{
    std::lock_guard lock(m_mutex);
    m_sockets = NewSockets();
    m_before.clear();
    m_connecting = false;
    m_tripped = false;
    if (m_canceled)
        CutSockets(); // cancelled while the driver was still logging in
}

void OdbcWatchdog::Forget()
{
    std::lock_guard lock(m_mutex);
    m_sockets.clear();
}

void OdbcWatchdog::Arm(int seconds)
{
    if (seconds <= 0)
        return;
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_sockets.empty())
            return; // nothing that could hang on a network read
        m_armed = true;
        m_tripped = false;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Run(); });
        // The helper only needs waking when it would otherwise sleep past the new deadline: a
        // helper waiting for an earlier deadline wakes by itself, sees the later one and sleeps
        // on. So a run of short calls (one per fetched record) costs no thread switches.
        wake = !m_waiting || m_deadline < m_waitingUntil;
    }
    if (wake)
        m_wake.notify_all();
}

void OdbcWatchdog::Disarm()
{
    std::lock_guard lock(m_mutex);
    m_armed = false;
}

bool OdbcWatchdog::Tripped() const
{
    std::lock_guard lock(m_mutex);
    return m_tripped;
}

void OdbcWatchdog::CutSockets()
{
    for (const Socket& s : m_sockets) {
        if (SocketInode(s.fd) == s.inode)
            shutdown(s.fd, SHUT_RDWR);
    }
    m_sockets.clear();
    m_tripped = true;
    m_armed = false;
}

void OdbcWatchdog::Cancel()
{
    // shutdown() returns at once whatever the server does, which a cancel request sent to the
    // server over a second connection cannot promise: a server that stopped answering would hold
    // the cancelling thread too.
    std::lock_guard lock(m_mutex);
    m_canceled = true;
    if (m_connecting) {
        // The driver is still logging in and its sockets are not known as its own yet: those that
        // appeared since the login began are taken for them. A login waits for the server with
        // nothing else to stop it but its own time-out.
        m_sockets = NewSockets();
    }
    if (!m_sockets.empty())
        CutSockets();
}

bool OdbcWatchdog::Canceled() const
{
    std::lock_guard lock(m_mutex);
    return m_canceled;
}

void OdbcWatchdog::ClearCancel()
{
    std::lock_guard lock(m_mutex);
    m_canceled = false;
}

void OdbcWatchdog::Run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        if (!m_armed) {
            // Disarmed: sleep until armed again, but keep the last deadline as the time to look
            // again, so that re-arming with a later deadline needs no wake-up.
            if (m_waiting) {
                m_wake.wait_until(lock, m_waitingUntil);
                if (std::chrono::steady_clock::now() >= m_waitingUntil)
                    m_waiting = false;
            } else {
                m_wake.wait(lock);
            }
            continue;
        }
        const auto deadline = m_deadline;
        m_waiting = true;
        m_waitingUntil = deadline;
        m_wake.wait_until(lock, deadline);
        if (std::chrono::steady_clock::now() >= m_waitingUntil)
            m_waiting = false;
        if (m_stop || !m_armed || m_deadline != deadline || std::chrono::steady_clock::now() < deadline)
            continue;
        // The call outlived its deadline: cut the connection's sockets so the blocked read returns.
        CutSockets();
    }
}

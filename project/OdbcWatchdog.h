#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

/**
 * @brief Bounds how long one driver call on a connection may block.
 *
 * A server that stops answering (a stopped backend, a dead network) leaves a client library
 * waiting in a socket read with no limit of its own; cancelling through the server does not help
 * when the server itself is the thing that hangs. The watchdog learns which sockets a connection
 * opened (the sockets of the process that appeared while it connected) and, when an armed call
 * outlives its deadline, shuts those sockets down from a helper thread. The blocked read then
 * returns, the driver reports the lost connection, and the caller gets an error instead of a hang.
 *
 * The helper thread only ever calls shutdown() on sockets it verified still are the same sockets
 * (by inode); everything else happens on the caller's thread. A connection without sockets (an
 * embedded database file) is never touched.
 */
class OdbcWatchdog
{
public:
    OdbcWatchdog() = default;
    ~OdbcWatchdog();
    OdbcWatchdog(const OdbcWatchdog&) = delete;
    OdbcWatchdog& operator=(const OdbcWatchdog&) = delete;

    /// Remembers the sockets the process holds now; call right before connecting.
    void BeforeConnect();
    /// Takes the sockets that appeared since BeforeConnect as this connection's own.
    void AfterConnect();
    /// The connection is gone: its sockets are not this watchdog's any more.
    void Forget();

    /// Starts the clock for one call; seconds <= 0 arms nothing.
    void Arm(int seconds);
    /// The call returned in time (or not): stops the clock.
    void Disarm();
    /// True when the last armed call ran out of time and its sockets were shut down.
    bool Tripped() const;

    /// Stops the connection's work from any thread: its sockets are shut down at once (a call
    /// blocked on the server returns with an error, armed or not). During a login the sockets the
    /// process opened since BeforeConnect are taken for the connection's, and any it opens later
    /// are cut by AfterConnect. Never blocks on the server.
    void Cancel();
    /// True after Cancel until ClearCancel.
    bool Canceled() const;
    /// Lets the connection work again after a Cancel.
    void ClearCancel();

    /// Arms for the lifetime of the scope.
    class Scope
    {
    public:
        Scope(OdbcWatchdog& dog, int seconds) : m_dog(dog) { m_dog.Arm(seconds); }
        ~Scope() { m_dog.Disarm(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        OdbcWatchdog& m_dog;
    };

private:
    struct Socket
    {
        int fd;
        unsigned long inode;
    };
    static std::vector<Socket> ProcessSockets();
    /// The sockets of the process that were not there at BeforeConnect; under m_mutex.
    std::vector<Socket> NewSockets() const;
    /// Shuts down the connection's sockets that still are the ones it opened; under m_mutex.
    void CutSockets();
    void Run();

    std::vector<Socket> m_before;  // guarded by m_mutex
    std::vector<Socket> m_sockets; // guarded by m_mutex
    bool m_connecting = false;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_stop = false;
    bool m_armed = false;
    bool m_tripped = false;
    bool m_canceled = false;
    std::chrono::steady_clock::time_point m_deadline;
    /// The helper is asleep until m_waitingUntil (it wakes then by itself).
    bool m_waiting = false;
    std::chrono::steady_clock::time_point m_waitingUntil;
};

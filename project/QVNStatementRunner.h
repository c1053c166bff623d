#pragma once

#include "OdbcHandle.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class QVNRecordset;

/**
 * @brief Runs one statement on a worker thread over a connection of its own, so the caller's
 * thread never waits on the server.
 *
 * The worker connects, executes and then reads rows only when asked (RequestRows), so a result of
 * any size is held by the server's cursor rather than in this process. Cancel may be called from
 * any thread at any time: it stops reading and calls SQLCancel on the running statement, which
 * makes a statement still executing on the server return at once.
 *
 * Rows are texts in field order; a database null is a null QString, the empty text a non-null
 * empty one. Notify (when set) is called on the worker whenever the state or the rows changed;
 * a window posts it to its own thread.
 */
class QVNStatementRunner
{
public:
    enum class Phase { Idle, Connecting, Executing, Open, Done, Failed, Canceled };
    using Row = QStringList;
    using Notify = std::function<void()>;
    /// Reads a whole result on the worker instead of handing rows out (an export); returns false
    /// with the reason in errors. cancel becomes true when Cancel is called.
    using Consumer = std::function<bool(QVNRecordset& rs, const std::atomic<bool>& cancel, QStringList& errors)>;

    struct Status
    {
        Phase phase = Phase::Idle;
        qint64 rowsRead = 0;      ///< rows handed out so far
        qint64 rowsAffected = -1; ///< of a statement without a result; -1 when the driver cannot tell
        qint64 elapsedMs = 0;     ///< since Start, frozen when the statement ended
        QStringList errors;
    };

    QVNStatementRunner() = default;
    ~QVNStatementRunner();
    QVNStatementRunner(const QVNStatementRunner&) = delete;
    QVNStatementRunner& operator=(const QVNStatementRunner&) = delete;

    void SetNotify(Notify notify) { m_notify = std::move(notify); }
    /// The connection string amended so the driver keeps a large result on the server and hands
    /// it out in pieces (PostgreSQL, SQLite); others unchanged.
    static QString StreamingConnectString(const QString& connectString);

    /// Starts the statement on the worker; a runner runs one statement in its life.
    void Start(const QString& connectString, const QString& sql, int loginTimeoutSeconds = 5,
               Consumer consumer = Consumer());
    /// Asks the worker for up to count more rows (added to any request still open).
    void RequestRows(int count);
    /// Stops the statement: SQLCancel while it executes, no more rows once it is read.
    void Cancel();
    /// Waits until the statement has ended, or a result is open and no rows are being read.
    bool WaitIdle(int timeoutMs);

    Status CurrentStatus() const;
    QStringList Headings() const;
    std::vector<bool> NumericFields() const;
    /// The rows read since the last call, in order.
    std::vector<Row> TakeRows();
    /// True while rows asked for have not all been read.
    bool Reading() const;

    static bool IsNumericType(int sqlType);

private:
    void Run(QString connectString, QString sql, int loginTimeout, Consumer consumer);
    void SetPhase(Phase phase);
    void Finish(Phase phase, const QStringList& errors);
    void Changed();

    Notify m_notify;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_cancel{false};
    SQLHSTMT m_running = SQL_NULL_HANDLE; ///< the statement SQLCancel is aimed at, under m_mutex
    Phase m_phase = Phase::Idle;
    qint64 m_wanted = 0;
    qint64 m_rowsRead = 0;
    qint64 m_affected = -1;
    qint64 m_elapsedMs = -1;
    QElapsedTimer m_clock;
    QStringList m_errors;
    QStringList m_headings;
    std::vector<bool> m_numeric;
    std::vector<Row> m_pending;
};

#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <memory>

class QLocalSocket;
class QProcess;

/**
 * @brief A late-bound object served by another process: create it by class identifier, call its
 * members by name.
 *
 * Create() looks the class identifier up in the activation file (QVNComRegistry), starts the
 * server with "--embedding NAME" under a name unique to this object, and connects to it over a
 * local socket that only the current user may open. Call() sends one request and blocks until the
 * answer arrives, without running the caller's event loop, so a window calling it is never
 * re-entered. Every wait is bounded: a server that ends makes the pending and all later calls fail
 * at once, and a server that stops answering makes the call fail after CallTimeout(); until its
 * late answer has arrived, later calls fail at once instead of waiting again, so a loop that polls
 * a hung server once per record loses one timeout, not one per record.
 *
 * Releasing the object (Release() or the destructor) closes the connection; the server treats
 * that as the release of its object and ends when it has no client left. A property is read by
 * calling it without arguments and written by calling it with the new value.
 *
 * Failures never throw: the member returns false or an empty QVariant and LastError() holds one
 * line saying what went wrong (empty after a call that succeeded). Not thread-safe: use an object
 * from one thread.
 */
class QVNComObject
{
public:
    QVNComObject();
    ~QVNComObject();
    QVNComObject(const QVNComObject&) = delete;
    QVNComObject& operator=(const QVNComObject&) = delete;

    /// Starts a server for `classId` and connects to it. The activation file is looked up in
    /// `activationFolder`, by default the folder of the running program.
    bool Create(const QString& classId, const QString& activationFolder = QString());
    /// Create() in two halves, so the caller can do other work while the server starts up: Start
    /// launches the server, FinishCreate connects to it (within what is left of StartTimeout()).
    /// A failed Start leaves nothing to finish; FinishCreate without a started server fails.
    bool Start(const QString& classId, const QString& activationFolder = QString());
    bool FinishCreate();
    /// Connects to a server that is already running under `serverName` (a second object of the
    /// same server: it shares the server-wide state but not the per-object fields).
    bool Attach(const QString& serverName);
    /// Closes the connection; a server this object started is waited for (and killed if it does
    /// not end within a few seconds). Safe to call repeatedly.
    void Release();

    bool IsCreated() const;
    /// Calls `member` with `arguments` (empty, booleans, numbers and texts) and returns its result.
    QVariant Call(const QString& member, const QVariantList& arguments = QVariantList());

    QString LastError() const { return m_lastError; }
    bool Failed() const { return !m_lastError.isEmpty(); }

    int CallTimeout() const { return m_callTimeout; }
    void SetCallTimeout(int milliseconds) { m_callTimeout = milliseconds; }
    int StartTimeout() const { return m_startTimeout; }
    void SetStartTimeout(int milliseconds) { m_startTimeout = milliseconds; }

    /// The local socket name of the server (valid while created).
    QString ServerName() const { return m_serverName; }
    /// The process id of a server started by Create(); 0 otherwise.
    qint64 ServerProcessId() const;

private:
    bool fail(const QString& message);
    void dropConnection();
    bool connectWithin(int milliseconds);
    bool collectLateAnswer();

    std::unique_ptr<QLocalSocket> m_socket;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_received;
    QString m_serverName;
    QString m_lastError;
    quint32 m_sequence = 0;
    quint32 m_unanswered = 0; ///< sequence of a call that timed out and is still unanswered, or 0
    int m_callTimeout = 5000;
    int m_startTimeout = 10000;
    // A server Start launched and FinishCreate has not connected to yet.
    bool m_starting = false;
    QDeadlineTimer m_startDeadline;
    QString m_classId;
    QString m_executable;
};

#include "QVNComObject.h"

#include "QVNComProtocol.h"
#include "QVNComRegistry.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>

namespace {
// How long Release() waits for a server to end on its own before it is killed.
constexpr int ReleaseWaitMs = 3000;

QString uniqueServerName(const QString& classId)
{
    QString prefix = classId.toLower();
    for (QChar& c : prefix) {
        if (!c.isLetterOrNumber())
            c = QLatin1Char('-');
    }
    const quint64 nonce = QRandomGenerator::system()->generate64();
    return QStringLiteral("%1-%2-%3")
        .arg(prefix.left(32))
        .arg(QCoreApplication::applicationPid())
        .arg(nonce, 16, 16, QLatin1Char('0'));
}

int remainingMs(const QDeadlineTimer& deadline)
{
    return static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
}
} // namespace

QVNComObject::QVNComObject() = default;

QVNComObject::~QVNComObject()
{
    Release();
}

bool QVNComObject::fail(const QString& message)
{
    m_lastError = message;
    return false;
}

bool QVNComObject::IsCreated() const
{
    return m_socket && m_socket->state() == QLocalSocket::ConnectedState;
}

qint64 QVNComObject::ServerProcessId() const
{
    return m_process ? m_process->processId() : 0;
}

bool QVNComObject::Create(const QString& classId, const QString& activationFolder)
{
    return Start(classId, activationFolder) && FinishCreate();
}

bool QVNComObject::Start(const QString& classId, const QString& activationFolder)
{
    Release();
    m_lastError.clear();

    const QString folder = activationFolder.isEmpty() ? QCoreApplication::applicationDirPath() : activationFolder;
    QString error;
    const QString executable = QVNComRegistry::Lookup(folder, classId, &error);
    if (executable.isEmpty())
        return fail(error);

    m_serverName = uniqueServerName(classId);
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(executable);
    m_process->setArguments({QStringLiteral("--embedding"), m_serverName});
    // The server's diagnostics go where ours go; it never reads input.
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());

    m_startDeadline = QDeadlineTimer(m_startTimeout);
    m_process->start();
    if (!m_process->waitForStarted(remainingMs(m_startDeadline))) {
        const QString reason = m_process->errorString();
        m_process.reset();
        m_serverName.clear();
        return fail(QStringLiteral("Cannot start the server of class \"%1\" (%2): %3")
                        .arg(classId, QDir::toNativeSeparators(executable), reason));
    }
    m_classId = classId;
    m_executable = executable;
    m_starting = true;
    return true;
}

bool QVNComObject::FinishCreate()
{
    if (!m_starting)
        return IsCreated() || fail(QStringLiteral("No server was started"));
    m_starting = false;
    if (connectWithin(remainingMs(m_startDeadline)))
        return true;

    QString reason;
    if (m_process->state() == QProcess::NotRunning) {
        reason = QStringLiteral("it ended during start-up with exit code %1").arg(m_process->exitCode());
    } else {
        reason = QStringLiteral("it did not accept a connection within %1 ms").arg(m_startTimeout);
        // Nothing to wait for: a server that never listened cannot notice a client leaving.
        m_process->kill();
    }
    const QString classId = m_classId;
    const QString executable = m_executable;
    Release();
    return fail(QStringLiteral("Cannot create an object of class \"%1\": the server %2 %3")
                    .arg(classId, QDir::toNativeSeparators(executable), reason));
}

// Tries to connect until the server listens, it ends, or the time is up. The server needs a
// moment after its start to open its socket, so a missing socket is retried.
bool QVNComObject::connectWithin(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    m_socket = std::make_unique<QLocalSocket>();
    for (;;) {
        m_socket->connectToServer(m_serverName);
        if (m_socket->waitForConnected(qMin(remainingMs(deadline), 200)))
            return true;
        m_socket->abort();
        if (m_process->state() == QProcess::NotRunning || m_process->waitForFinished(5) || deadline.hasExpired()) {
            m_socket.reset();
            return false;
        }
    }
}

bool QVNComObject::Attach(const QString& serverName)
{
    Release();
    m_lastError.clear();
    m_serverName = serverName;
    m_socket = std::make_unique<QLocalSocket>();
    m_socket->connectToServer(serverName);
    if (m_socket->waitForConnected(m_startTimeout))
        return true;
    const QString reason = m_socket->errorString();
    Release();
    return fail(QStringLiteral("Cannot connect to the server \"%1\": %2").arg(serverName, reason));
}

// Closes the connection but keeps the socket, so later calls report that the server is gone
// rather than that no object was ever created.
void QVNComObject::dropConnection()
{
    if (m_socket)
        m_socket->abort();
    m_received.clear();
    m_unanswered = 0;
}

void QVNComObject::Release()
{
    m_starting = false;
    dropConnection();
    m_socket.reset();
    m_serverName.clear();
    if (!m_process)
        return;
    // The server ends by itself once its last client is gone; a hung one is not left behind.
    if (m_process->state() != QProcess::NotRunning && !m_process->waitForFinished(ReleaseWaitMs)) {
        m_process->kill();
        m_process->waitForFinished(ReleaseWaitMs);
    }
    m_process.reset();
}

// Takes in what has arrived without waiting; true once the answer to the call that timed out is
// among it (that answer is dropped: its caller has given up on it).
bool QVNComObject::collectLateAnswer()
{
    if (m_socket->bytesAvailable() > 0 || m_socket->waitForReadyRead(0))
        m_received.append(m_socket->readAll());
    QByteArray payload;
    for (;;) {
        switch (QVNComProtocol::TakeFrame(m_received, &payload)) {
        case QVNComProtocol::FrameStatus::Incomplete:
            return false;
        case QVNComProtocol::FrameStatus::Oversized:
            dropConnection();
            return false;
        case QVNComProtocol::FrameStatus::Complete: {
            QVNComProtocol::Answer answer;
            if (QVNComProtocol::DecodeAnswer(payload, &answer) && answer.sequence == m_unanswered) {
                m_unanswered = 0;
                return true;
            }
            break;
        }
        }
    }
}

QVariant QVNComObject::Call(const QString& member, const QVariantList& arguments)
{
    m_lastError.clear();
    if (!m_socket) {
        fail(QStringLiteral("Cannot call \"%1\": no object has been created").arg(member));
        return QVariant();
    }
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (!QVNComProtocol::IsTransferable(arguments.at(i))) {
            fail(QStringLiteral("Cannot call \"%1\": argument %2 of type %3 cannot be passed to another process")
                     .arg(member)
                     .arg(i + 1)
                     .arg(QString::fromLatin1(arguments.at(i).typeName())));
            return QVariant();
        }
    }

    const auto serverEnded = [&] {
        dropConnection();
        fail(QStringLiteral("Call \"%1\" failed: the server \"%2\" has ended").arg(member, m_serverName));
        return QVariant();
    };
    if (m_socket->state() != QLocalSocket::ConnectedState)
        return serverEnded();
    if (m_unanswered != 0 && !collectLateAnswer()) {
        if (m_socket->state() != QLocalSocket::ConnectedState)
            return serverEnded();
        fail(QStringLiteral("Call \"%1\" failed: the server has still not answered an earlier call").arg(member));
        return QVariant();
    }

    const QDeadlineTimer deadline(m_callTimeout);
    const quint32 sequence = ++m_sequence;
    m_socket->write(QVNComProtocol::EncodeRequest({sequence, member, arguments}));
    while (m_socket->bytesToWrite() > 0) {
        if (!m_socket->waitForBytesWritten(remainingMs(deadline))) {
            if (m_socket->state() != QLocalSocket::ConnectedState)
                return serverEnded();
            m_unanswered = sequence;
            fail(QStringLiteral("Call \"%1\" failed: the server did not take the request within %2 ms")
                     .arg(member)
                     .arg(m_callTimeout));
            return QVariant();
        }
    }

    for (;;) {
        QByteArray payload;
        switch (QVNComProtocol::TakeFrame(m_received, &payload)) {
        case QVNComProtocol::FrameStatus::Oversized:
            dropConnection();
            fail(QStringLiteral("Call \"%1\" failed: the server sent a malformed answer").arg(member));
            return QVariant();
        case QVNComProtocol::FrameStatus::Complete: {
            QVNComProtocol::Answer answer;
            if (!QVNComProtocol::DecodeAnswer(payload, &answer)) {
                dropConnection();
                fail(QStringLiteral("Call \"%1\" failed: the server sent a malformed answer").arg(member));
                return QVariant();
            }
            // A late answer to a call that timed out earlier: not ours.
            if (answer.sequence != sequence)
                continue;
            if (!answer.ok) {
                fail(answer.error);
                return QVariant();
            }
            return answer.result;
        }
        case QVNComProtocol::FrameStatus::Incomplete:
            break;
        }

        if (m_socket->bytesAvailable() == 0 && !m_socket->waitForReadyRead(remainingMs(deadline))) {
            if (m_socket->state() != QLocalSocket::ConnectedState)
                return serverEnded();
            m_unanswered = sequence;
            fail(QStringLiteral("Call \"%1\" failed: the server did not answer within %2 ms")
                     .arg(member)
                     .arg(m_callTimeout));
            return QVariant();
        }
        m_received.append(m_socket->readAll());
    }
}

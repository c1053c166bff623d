#include "DromaleServer.h"

#include "Process.h"
#include "QVNComProtocol.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

DromaleServer::DromaleServer(QObject* parent) : QObject(parent)
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &DromaleServer::acceptClients);

    m_graceTimer = new QTimer(this);
    m_graceTimer->setSingleShot(true);
    m_graceTimer->setInterval(FirstClientGraceMs);
    connect(m_graceTimer, &QTimer::timeout, this, [this] {
        if (m_clients.empty())
            emit finished();
    });
}

DromaleServer::~DromaleServer()
{
    // Objects first: releasing them closes the window while the state still exists.
    for (auto& [socket, client] : m_clients) {
        client.object.reset();
        socket->disconnect(this);
    }
    m_clients.clear();
}

bool DromaleServer::Listen(const QString& name, QString* error)
{
    // No removeServer() first: the name is unique to one client, and a socket already bound under
    // it belongs to someone else.
    if (!m_server->listen(name)) {
        *error = QStringLiteral("Cannot listen on \"%1\": %2").arg(name, m_server->errorString());
        return false;
    }
    m_graceTimer->start();
    return true;
}

QString DromaleServer::FullServerName() const
{
    return m_server->fullServerName();
}

void DromaleServer::acceptClients()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        m_graceTimer->stop();
        m_clients[socket].object = std::make_unique<Process>(m_state);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequests(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { dropClient(socket); });
        // Data may have arrived together with the connection.
        if (socket->bytesAvailable() > 0)
            readRequests(socket);
    }
}

void DromaleServer::readRequests(QLocalSocket* socket)
{
    for (;;) {
        // Looked up afresh each round: writing an answer may find the client gone and drop it.
        auto found = m_clients.find(socket);
        if (found == m_clients.end() || found->second.closing)
            return;
        Client& client = found->second;
        client.received.append(socket->readAll());

        QByteArray payload;
        const auto status = QVNComProtocol::TakeFrame(client.received, &payload);
        if (status == QVNComProtocol::FrameStatus::Incomplete)
            return;
        if (status == QVNComProtocol::FrameStatus::Oversized) {
            // The stream cannot be resynchronised after a bad length: give up on this client.
            client.closing = true;
            socket->abort();
            return;
        }

        QVNComProtocol::Request request;
        QVNComProtocol::Answer answer;
        if (!QVNComProtocol::DecodeRequest(payload, &request)) {
            // Answer under the request's sequence number when it can be read, so the caller stops
            // waiting at once.
            if (payload.size() >= 4)
                answer.sequence = qFromBigEndian<quint32>(payload.constData());
            answer.ok = false;
            answer.error = QStringLiteral("Malformed request");
        } else {
            answer.sequence = request.sequence;
            QString error;
            try {
                answer.ok = client.object->Invoke(request.member, request.arguments, &answer.result, &error);
            } catch (const std::exception& e) {
                answer.ok = false;
                error = QStringLiteral("\"%1\" failed: %2").arg(request.member, QString::fromLocal8Bit(e.what()));
            } catch (...) {
                answer.ok = false;
                error = QStringLiteral("\"%1\" failed").arg(request.member);
            }
            answer.error = error;
            if (!QVNComProtocol::IsTransferable(answer.result))
                answer.result = QVariant();
        }
        socket->write(QVNComProtocol::EncodeAnswer(answer));
        socket->flush();

        // Quit releases the caller's object; the answer is on its way before the connection closes.
        if (answer.ok && request.member.compare(QLatin1String("Quit"), Qt::CaseInsensitive) == 0) {
            client.closing = true;
            socket->disconnectFromServer();
            return;
        }
    }
}

void DromaleServer::dropClient(QLocalSocket* socket)
{
    auto found = m_clients.find(socket);
    if (found == m_clients.end())
        return;
    // Releasing the object quits it, which closes the window.
    found->second.object.reset();
    m_clients.erase(found);
    socket->deleteLater();
    if (m_clients.empty())
        emit finished();
}

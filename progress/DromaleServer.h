#pragma once

#include "ProcessServer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

class Process;
class QLocalServer;
class QLocalSocket;
class QTimer;

/**
 * @brief Serves `Process` objects over a local socket: one object per connection.
 *
 * Listens under the name given with "--embedding", with access for the current user only. Each
 * request names a member and carries its arguments; the connection's object answers it
 * (QVNComProtocol). A connection that breaks the framing is closed; every other bad request gets
 * an error answer. When a client goes away its object is released; when the last one has gone, or
 * when the last one calls Quit, or when no client connects within the start-up grace period, the
 * server emits finished() and the program ends.
 */
class DromaleServer : public QObject
{
    Q_OBJECT

public:
    /// A started server that sees no client within this time ends (its client died at start).
    static constexpr int FirstClientGraceMs = 30000;

    explicit DromaleServer(QObject* parent = nullptr);
    ~DromaleServer() override;

    bool Listen(const QString& name, QString* error);
    /// The full path of the listening socket.
    QString FullServerName() const;
    ProcessServer& State() { return m_state; }
    int ClientCount() const { return static_cast<int>(m_clients.size()); }

signals:
    void finished();

private:
    struct Client
    {
        std::unique_ptr<Process> object;
        QByteArray received;
        bool closing = false;
    };

    void acceptClients();
    void readRequests(QLocalSocket* socket);
    void dropClient(QLocalSocket* socket);

    ProcessServer m_state;
    QLocalServer* m_server = nullptr;
    QTimer* m_graceTimer = nullptr;
    std::map<QLocalSocket*, Client> m_clients;
};

// Database work of the main window runs off the window's thread: a server that accepts and never
// answers, or one that stops answering in the middle of a read, must neither freeze the window nor
// outlast the user's Cancel, and a cancelled step leaves the open project as it was.
#include "Frm_Database.h"
#include "Frm_Open.h"
#include "ProjectTestSupport.h"
#include "QVNProject.h"
#include "TQXRows.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <vector>

namespace {

/// A TCP front for the test server's unix socket that can stop passing anything on, like a server
/// that goes silent. It runs on the test's thread, so it only works while the window lets events run.
class SilentProxy
{
public:
    SilentProxy(const QString& socketPath) : m_socketPath(socketPath)
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* client = m_server.nextPendingConnection()) {
                auto* backend = new QLocalSocket(client);
                backend->connectToServer(m_socketPath);
                QObject::connect(client, &QTcpSocket::readyRead, client, [this, client, backend] {
                    const QByteArray bytes = client->readAll();
                    if (!m_silent)
                        backend->write(bytes);
                });
                QObject::connect(backend, &QLocalSocket::readyRead, client, [this, client, backend] {
                    const QByteArray bytes = backend->readAll();
                    if (!m_silent)
                        client->write(bytes);
                });
                QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
            }
        });
    }
    quint16 Port() const { return m_server.serverPort(); }
    void SetSilent(bool silent) { m_silent = silent; }

private:
    QString m_socketPath;
    QTcpServer m_server;
    bool m_silent = false;
};

class DatabaseWorkTest : public UiTest
{
protected:
    static int AcceptAsIs(Frm_Open& dialog)
    {
        dialog.LoadFields();
        dialog.Confirm();
        return dialog.DialogResult();
    }
    static void Trigger(Frm_Database& w, const char* action)
    {
        w.findChild<QAction*>(QLatin1String(action))->trigger();
    }

    /// Runs `step` while a 10 ms timer counts how often the event loop turned, and presses Cancel
    /// `cancelAfterMs` after the step began. Returns how long the step went on after Cancel.
    qint64 CancelDuring(Frm_Database& window, int cancelAfterMs, const std::function<void()>& step)
    {
        bool cancel = false;
        QElapsedTimer sinceCancel;
        window.SetCancelCheck([&] { return cancel; });
        QTimer::singleShot(cancelAfterMs, [&] {
            cancel = true;
            sinceCancel.start();
        });
        m_ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [this] { ++m_ticks; });
        tick.start(10);
        step();
        tick.stop();
        window.SetCancelCheck({});
        return sinceCancel.isValid() ? sinceCancel.elapsed() : -1;
    }

    /// The server's socket file, from its connection string.
    static QString SocketPath(const QString& connection)
    {
        QString dir, port;
        for (const QString& part : connection.split(QLatin1Char(';'))) {
            if (part.startsWith(QLatin1String("Servername=")))
                dir = part.mid(11);
            else if (part.startsWith(QLatin1String("Port=")))
                port = part.mid(5);
        }
        return dir + QStringLiteral("/.s.PGSQL.") + port;
    }

    int m_ticks = 0;
};

TEST_F(DatabaseWorkTest, OpeningOnAServerThatNeverAnswersKeepsTheWindowRunningAndCancelGoesBackToTheDialog)
{
    // Accepts connections (the kernel does) and never says a word.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QString hanging = QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=127.0.0.1;Port=%1;Database=nowhere;")
                                .arg(silent.serverPort());
    Frm_Database window;
    window.show();
    QStringList bodies;
    window.SetProgressWatch([&](const QString& text) { bodies << text; });
    int shown = 0;
    window.SetConnectDialog([&](Frm_Open& dialog) {
        ++shown;
        if (shown > 1)
            return 0; // gives up on the second showing
        dialog.LoadFields();
        dialog.findChild<QLineEdit*>(QStringLiteral("Txt_P_DATABASE"))->setText(hanging);
        dialog.Confirm();
        return dialog.DialogResult();
    });
    const QString sample = SampleProject();
    bool opened = true;
    const qint64 afterCancel = CancelDuring(window, 400, [&] { opened = window.OpenProjectFile(sample, true); });
    EXPECT_FALSE(opened);
    EXPECT_EQ(shown, 2) << "a cancelled connection shows the dialog again";
    EXPECT_GE(afterCancel, 0);
    EXPECT_LT(afterCancel, 300) << "the driver's 5 s login time-out must not hold the window";
    EXPECT_GE(m_ticks, 20) << "the event loop kept running while the driver waited";
    ASSERT_FALSE(bodies.isEmpty());
    EXPECT_TRUE(bodies.first().contains(QStringLiteral("nowhere @ 127.0.0.1:%1").arg(silent.serverPort())))
        << bodies.first().toStdString();
    EXPECT_FALSE(window.HasProject());
    EXPECT_TRUE(m_messages.isEmpty()) << "a cancel is no error: " << m_messages.join(QLatin1Char('\n')).toStdString();
}

TEST_F(DatabaseWorkTest, RefreshAndBuildCancelledWhileTheServerIsSilentLeaveTheProjectAsItWas)
{
    ASSERT_TRUE(Pg::Problem().isEmpty()) << Pg::Problem().toStdString();
    QString error;
    const QString direct = Pg::CreateDatabase(QStringLiteral("create table customer (id integer primary key, name "
                                                             "text not null);"
                                                             "create table orders (id integer primary key, customer "
                                                             "integer references customer(id), total numeric(10,2));"
                                                             "create view big_orders as select * from orders;"),
                                              error);
    ASSERT_FALSE(direct.isEmpty()) << error.toStdString();
    SilentProxy proxy(SocketPath(direct));
    QString viaProxy = direct;
    viaProxy.replace(QRegularExpression(QStringLiteral("Servername=[^;]*;Port=[^;]*;")),
                     QStringLiteral("Servername=127.0.0.1;Port=%1;").arg(proxy.Port()));

    Frm_Database window;
    window.show();
    window.SetConnectDialog([&](Frm_Open& dialog) {
        dialog.LoadFields();
        dialog.findChild<QLineEdit*>(QStringLiteral("Txt_P_DATABASE"))->setText(viaProxy);
        dialog.Confirm();
        return dialog.DialogResult();
    });
    ASSERT_TRUE(window.OpenProjectFile(SampleProject(), true)) << m_messages.join(QLatin1Char('\n')).toStdString();
    // The changed connection is not to be saved before the refresh.
    window.SetQuestion([](const QString&) { return Frm_Database::Answer::No; });
    const QVNProject* project = window.Project();
    ASSERT_EQ(project->TABLES->Count(), 3);
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("Tv_Left"));
    for (int g = 0; g < tree->topLevelItemCount(); ++g)
        tree->topLevelItem(g)->setCheckState(0, Qt::Checked);
    int handedOver = 0;
    window.SetBuildHandOver([&](const TQXRowsPtr& tables, const TQXColsPtr&, const QString&) {
        ++handedOver;
        EXPECT_EQ(tables->Count(), 3);
    });

    // The server goes silent in the middle of the work; Cancel must not wait for its 30 s limit.
    struct Step
    {
        const char* action;
    };
    // The build goes first: a cancelled refresh leaves its login running until the driver's login
    // time-out, and the driver manager lets one call into the driver at a time.
    for (const Step& step : {Step{"Mnu_File_Build"}, Step{"Mnu_File_Refresh"}}) {
        SCOPED_TRACE(step.action);
        const bool changed = window.ProjectChanged();
        m_messages.clear();
        proxy.SetSilent(true);
        const qint64 afterCancel = CancelDuring(window, 400, [&] { Trigger(window, step.action); });
        proxy.SetSilent(false);
        EXPECT_GE(afterCancel, 0);
        EXPECT_LT(afterCancel, 300);
        EXPECT_GE(m_ticks, 20);
        EXPECT_FALSE(window.Busy());
        EXPECT_EQ(window.Project(), project) << "a cancelled step keeps the open project";
        EXPECT_EQ(project->TABLES->Count(), 3);
        EXPECT_EQ(window.ProjectChanged(), changed);
        EXPECT_EQ(tree->topLevelItem(0)->childCount(), 2);
        EXPECT_EQ(handedOver, 0);
        ASSERT_EQ(m_messages.size(), 1);
        EXPECT_TRUE(m_messages[0].contains(QStringLiteral("Cancelled."))) << m_messages[0].toStdString();
    }

    // Once the server answers again the same project builds: the cancel left no lasting mark.
    m_messages.clear();
    Trigger(window, "Mnu_File_Build");
    EXPECT_EQ(handedOver, 1) << m_messages.join(QLatin1Char('\n')).toStdString();
}

} // namespace

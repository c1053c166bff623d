#include "MariaDbServer.h"

#include "TestSupport.h"

#include <unistd.h>

#include <QAtomicInt>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QProcess>

namespace {
QString EnvFile()
{
    return QStringLiteral(QUORVIN_BINARY_DIR "/tests/project/mariadb-fixture.env");
}

QHash<QString, QString> ReadEnvFile()
{
    return readEnvFile(EnvFile());
}
} // namespace

namespace Maria {
QString Setting(const QString& name)
{
    return ReadEnvFile().value(name);
}

QString Problem()
{
    if (Setting(QStringLiteral("MARIADB_SOCKET")).isEmpty())
        return QStringLiteral("the MariaDB test server is not running: run the tests through ctest (fixture "
                              "project_mariadb_start) or tests/project/mariadb_fixture.sh start ") +
               EnvFile();
    return QString();
}

QString ConnectionString(const QString& database, bool overTcp)
{
    const auto env = ReadEnvFile();
    const QString where =
        overTcp ? QStringLiteral("SERVER=%1;PORT=%2;")
                      .arg(env.value(QStringLiteral("MARIADB_HOST")), env.value(QStringLiteral("MARIADB_PORT")))
                : QStringLiteral("SERVER=localhost;SOCKET=%1;").arg(env.value(QStringLiteral("MARIADB_SOCKET")));
    return QStringLiteral("DRIVER={MariaDB Unicode};") + where +
           QStringLiteral("DATABASE=%1;UID=%2;PWD=;").arg(database, env.value(QStringLiteral("MARIADB_USER")));
}

QStringList ClientArguments(const QString& database)
{
    const auto env = ReadEnvFile();
    QStringList args{QStringLiteral("--no-defaults"),
                     QStringLiteral("--socket=") + env.value(QStringLiteral("MARIADB_SOCKET")),
                     QStringLiteral("--user=") + env.value(QStringLiteral("MARIADB_USER")),
                     QStringLiteral("--default-character-set=utf8mb4"),
                     QStringLiteral("--batch"),
                     QStringLiteral("--skip-column-names")};
    if (!database.isEmpty())
        args << QStringLiteral("--database=") + database;
    return args;
}

QString RunSql(const QString& database, const QString& sql, QString* output)
{
    QString problem = Problem();
    if (!problem.isEmpty())
        return problem;
    QProcess p;
    p.start(QStringLiteral("mariadb"), ClientArguments(database));
    if (!p.waitForStarted())
        return QStringLiteral("the mariadb client cannot be started (package mariadb-client)");
    p.write(sql.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("the mariadb client did not finish within two minutes");
    }
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        const QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
        return err.isEmpty() ? QStringLiteral("the mariadb client failed") : err;
    }
    return QString();
}

QString CreateDatabase(const QString& script, QString& error, QString* name)
{
    static QAtomicInt counter;
    // The time part keeps a later process that gets the same id from meeting an earlier one's
    // databases (the server lives for the whole test run).
    const QString db = QStringLiteral("qt_%1_%2_%3")
                           .arg(getpid())
                           .arg(QDateTime::currentMSecsSinceEpoch() % 100000000)
                           .arg(counter.fetchAndAddRelaxed(1));
    error = RunSql(QString(), QStringLiteral("CREATE DATABASE `%1` CHARACTER SET utf8mb4;").arg(db));
    if (error.isEmpty() && !script.isEmpty())
        error = RunSql(db, script);
    if (!error.isEmpty())
        return QString();
    if (name)
        *name = db;
    return ConnectionString(db);
}
} // namespace Maria

#include "ProjectTestSupport.h"

#include "Mdl_Main.h"
#include "QVNLanguage.h"
#include "TestSupport.h"

#include <unistd.h>

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {
/// Points the application state at the built application folder and its English texts, as the
/// start-up would, without touching the user's settings.
class ProjectEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        Mdl_Main::AppPath = AppDir();
        Mdl_Main::Language().SetLanguagePath(AppDir() + QStringLiteral("language/"));
        Mdl_Main::Language().SetLanguage(QStringLiteral("1033"));
    }
};
[[maybe_unused]] ::testing::Environment* const s_environment =
    ::testing::AddGlobalTestEnvironment(new ProjectEnvironment);

QHash<QString, QString> ReadEnvFile()
{
    return readEnvFile(QStringLiteral(QUORVIN_PG_ENV_FILE));
}
} // namespace

QString AppDir()
{
    return QStringLiteral(QUORVIN_APP_DIR "/");
}

namespace Pg {
QString Problem()
{
    const auto env = ReadEnvFile();
    if (env.value(QStringLiteral("PG_SOCKET_DIR")).isEmpty())
        return QStringLiteral("the PostgreSQL test server is not running: run the tests through ctest (fixture "
                              "project_pg_start) or tests/project/pg_fixture.sh start " QUORVIN_PG_ENV_FILE);
    return QString();
}

QString ConnectionString(const QString& database)
{
    const auto env = ReadEnvFile();
    return QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=%1;Port=%2;Database=%3;Username=%4;CommLog=0;")
        .arg(env.value(QStringLiteral("PG_SOCKET_DIR")), env.value(QStringLiteral("PG_PORT")), database,
             env.value(QStringLiteral("PG_USER")));
}

QString CreateDatabase(const QString& script, QString& error)
{
    static QAtomicInt counter;
    error = Problem();
    if (!error.isEmpty())
        return QString();
    const QString name = QStringLiteral("qt_%1_%2").arg(getpid()).arg(counter.fetchAndAddRelaxed(1));
    QVNDatabase admin;
    if (!admin.ConnectToServer(ConnectionString(QStringLiteral("postgres"))) ||
        !admin.ExecuteSql(QStringLiteral("CREATE DATABASE ") + name)) {
        error = admin.Exceptions.ToString();
        return QString();
    }
    const QString cs = ConnectionString(name);
    if (!script.isEmpty()) {
        QVNDatabase db;
        if (!db.ConnectToServer(cs) || !db.ExecuteSql(script)) {
            error = db.Exceptions.ToString();
            return QString();
        }
    }
    return cs;
}

int BackendPid(QVNDatabase& db)
{
    TQXRowsPtr rows = db.GetDatasFromSql(QStringLiteral("select pg_backend_pid() as pid"));
    return rows->Count() ? rows->Item(1)->Cols()->Text(QStringLiteral("pid")).toInt() : 0;
}
} // namespace Pg

QString CreateSqliteFile(const QString& path, const QString& script)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), path});
    if (!p.waitForStarted())
        return QStringLiteral("sqlite3 cannot be started");
    p.write(script.toUtf8());
    p.closeWriteChannel();
    p.waitForFinished();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString::fromUtf8(p.readAllStandardError());
    return QString();
}

QString SqliteConnection(const QString& path)
{
    return QStringLiteral("DRIVER={SQLite3};Database=") + path + QStringLiteral(";NoCreat=1;");
}

QString SampleSql()
{
    QFile f(QStringLiteral(QUORVIN_SOURCE_DIR "/resources/sample/sample.sql"));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    QString sql = QString::fromUtf8(f.readAll());
    sql.remove(QRegularExpression(QStringLiteral("^PRAGMA[^\\n]*\\n"), QRegularExpression::MultilineOption));
    return sql;
}

QString Script(const char* name)
{
    return QString::fromUtf8(readBytes(testDataDir() + QStringLiteral("/project/") + QString::fromLatin1(name)));
}

QString Text(const TQXRowsPtr& rows, const QString& key, const char* field)
{
    const TQXRowPtr row = rows ? rows->Item(key) : nullptr;
    return row ? row->Cols()->Text(QString::fromLatin1(field)) : QStringLiteral("<no row %1>").arg(key);
}

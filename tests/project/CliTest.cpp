#include "ProjectTestSupport.h"
#include "QVNSampleProject.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {
struct CliResult
{
    int code = -1;
    QString out;
    QString err;
};

/// Runs quorvin-cli with private settings and data folders, so the user's own stay untouched.
class CliTest : public ::testing::Test
{
protected:
    CliResult Run(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.file(QStringLiteral("data")));
        p.setProcessEnvironment(env);
        p.start(AppDir() + QStringLiteral("quorvin-cli"), args);
        CliResult r;
        if (!p.waitForFinished(60000))
            return r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    TempDir m_dir;
};
} // namespace

TEST_F(CliTest, ProjectNewThenTablesAndColumnsAsTextAndJson)
{
    const QString file = m_dir.file(QStringLiteral("s p.qvn"));
    CliResult r = Run({"project", "new", file, "--connection", QVNSampleProject::ConnectionString(AppDir()), "--no",
                       "7", "--name", "样例", "--path", m_dir.file("out")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(file + QStringLiteral(".bak")));

    r = Run({"project", "info", file});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("P_NAME=样例\n"))) << r.out.toStdString();

    r = Run({"tables", file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("TABLE_NAME  "))) << r.out.toStdString();
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 12);

    r = Run({"tables", file, "--json"});
    ASSERT_EQ(r.code, 0);
    const QJsonObject tables = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(tables.value("tag").toString(), QStringLiteral("TABLES"));
    EXPECT_EQ(tables.value("rows").toArray().size(), 11);

    r = Run({"columns", file, "orders", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject columns = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(columns.value("tag").toString(), QStringLiteral("COLUMNS"));
    EXPECT_EQ(columns.value("rows").toArray().size(), 8);
    EXPECT_TRUE(r.out.contains(QStringLiteral("COLUMN_CONVERTS"))); // nested sets are written too

    r = Run({"columns", file, "orders"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("customers.customer_id")));
}

TEST_F(CliTest, BadInputIsRefusedWithoutWritingAnything)
{
    const QString file = m_dir.file(QStringLiteral("x.qvn"));
    CliResult r = Run({"project", "new", file, "--connection", SqliteConnection(m_dir.file("missing.db"))});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(m_dir.file("missing.db")));

    EXPECT_EQ(Run({"project", "new", file}).code, 2);
    EXPECT_EQ(Run({"tables", file}).code, 2);
    EXPECT_FALSE(QFile::exists(file));

    ASSERT_EQ(Run({"project", "new", file, "--connection", QVNSampleProject::ConnectionString(AppDir())}).code, 0);
    const QByteArray before = [&] {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    r = Run({"project", "new", file, "--connection", QVNSampleProject::ConnectionString(AppDir())});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--force")));
    r = Run({"columns", file, "no_such_table"});
    EXPECT_EQ(r.code, 2);
    // A replacement that fails leaves the old project in place.
    r = Run({"project", "new", file, "--force", "--connection", SqliteConnection(m_dir.file("missing.db"))});
    EXPECT_EQ(r.code, 1);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

TEST_F(CliTest, GenerateFromAProjectRunsTheWholeBuildRoad)
{
    const QString file = m_dir.file(QStringLiteral("road.qvn"));
    ASSERT_EQ(Run({"project", "new", file, "--connection", QVNSampleProject::ConnectionString(AppDir()), "--no", "42",
                   "--path", m_dir.file("p_path")})
                  .code,
              0);
    const QString model = AppDir() + QStringLiteral("models/sqlddl.qvnm");

    // An unknown table is refused before anything is written.
    CliResult r = Run({"generate", "--project", file, "--model", model, "--tables", "customers,no_such_table", "--out",
                       m_dir.file("refused")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no_such_table"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(m_dir.file("refused")));

    // Chosen tables only; the output folder defaults to the project's own (P_PATH).
    r = Run({"generate", "--project", file, "--model", model, "--tables", "customers,orders"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString ddl = QString::fromUtf8(readBytes(m_dir.file("p_path/create_tables.sql")));
    EXPECT_TRUE(ddl.contains(QStringLiteral("CREATE TABLE customers")));
    EXPECT_TRUE(ddl.contains(QStringLiteral("CREATE TABLE orders")));
    EXPECT_FALSE(ddl.contains(QStringLiteral("CREATE TABLE products")));

    // Naming no table means every table; --data does not mix with --project.
    r = Run({"generate", "--project", file, "--model", model, "--out", m_dir.file("all")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString all = QString::fromUtf8(readBytes(m_dir.file("all/create_tables.sql")));
    EXPECT_TRUE(all.contains(QStringLiteral("CREATE TABLE shipment_items")));
    EXPECT_TRUE(all.contains(QStringLiteral("DEFAULT 'NEW',"))) << all.toStdString(); // a text default is a literal
    EXPECT_TRUE(all.contains(QStringLiteral("DEFAULT 0,")));
    EXPECT_FALSE(all.contains(QStringLiteral("v_order_totals")));
    // --all takes the views as well.
    r = Run({"generate", "--project", file, "--model", model, "--all", "--out", m_dir.file("views")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString withViews = QString::fromUtf8(readBytes(m_dir.file("views/create_tables.sql")));
    EXPECT_TRUE(withViews.contains(QStringLiteral("v_order_totals"))) << withViews.toStdString();
    EXPECT_TRUE(withViews.contains(QStringLiteral("(a view;")));
    r = Run({"generate", "--project", file, "--model", model, "--data", "x.json"});
    EXPECT_EQ(r.code, 2);
}

#include "EngineFixture.h"
#include "QVNDatabase.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

TEST(DataTypeNames, NamesAndClassesFollowTheProgramsTypeNumbers)
{
    EXPECT_EQ(QVNDatabase::DataType2Name(3), QStringLiteral("long"));
    EXPECT_EQ(QVNDatabase::DataType2Name(202), QStringLiteral("VarWChar"));
    EXPECT_EQ(QVNDatabase::DataType2Name(1), QStringLiteral("*UNKNOWN*"));
    EXPECT_EQ(QVNDatabase::DataType2Name2(1), QStringLiteral("string"));
    EXPECT_EQ(QVNDatabase::DataType2Name2(139), QStringLiteral("numeric"));
    EXPECT_EQ(QVNDatabase::DataType2Name2(64), QStringLiteral("date"));
    EXPECT_EQ(QVNDatabase::DataType2Name2(11), QStringLiteral("boolean"));
    EXPECT_EQ(QVNDatabase::DataType2Name2(205), QStringLiteral("string"));
    EXPECT_EQ(QVNDatabase::SqlTypeToDataType(SQL_WLONGVARCHAR), 203);
    EXPECT_EQ(QVNDatabase::SqlTypeToDataType(SQL_TYPE_TIMESTAMP), 135);
    EXPECT_EQ(QVNDatabase::SqlTypeToDataType(SQL_FLOAT), 5);
    EXPECT_EQ(QVNDatabase::SqlTypeToDataType(SQL_BIT), 11);
    EXPECT_EQ(QVNDatabase::SqlTypeToDataType(-150), 0);
}

TEST(ConnectionValue, QuotesOnlyWhatTheParserWouldMisread)
{
    EXPECT_EQ(QVNDatabase::QuoteConnectionValue(QStringLiteral("/tmp/a b/x.db")), QStringLiteral("/tmp/a b/x.db"));
    EXPECT_EQ(QVNDatabase::QuoteConnectionValue(QStringLiteral("a;b")), QStringLiteral("{a;b}"));
    EXPECT_EQ(QVNDatabase::QuoteConnectionValue(QStringLiteral("p}w;d")), QStringLiteral("{p}}w;d}"));
    EXPECT_EQ(QVNDatabase::QuoteConnectionValue(QStringLiteral(" lead")), QStringLiteral("{ lead}"));
}

TEST(Connection, EmptyStringFailsWithTheDriverManagersText)
{
    QVNDatabase db;
    EXPECT_FALSE(db.ConnectToServer(QString()));
    ASSERT_FALSE(db.Exceptions.IsEmpty());
    EXPECT_TRUE(db.Exceptions.ToString().contains(QStringLiteral("unixODBC")))
        << db.Exceptions.ToString().toStdString();
}

TEST(Connection, UnknownDriverAndMissingFileReportTheDriversText)
{
    QVNDatabase db;
    EXPECT_FALSE(db.ConnectToServer(QStringLiteral("DRIVER={No Such Driver};Database=x;")));
    EXPECT_FALSE(db.Exceptions.IsEmpty());
    TempDir dir;
    const QString missing = dir.file(QStringLiteral("missing.db"));
    EXPECT_FALSE(db.ConnectToServer(SqliteConnection(missing)));
    EXPECT_TRUE(db.Exceptions.ToString().contains(QStringLiteral("SQLite"))) << db.Exceptions.ToString().toStdString();
    EXPECT_FALSE(QFile::exists(missing)) << "NoCreat=1 must keep the driver from creating the file";
    // The string is kept for the next attempt even though the open failed.
    EXPECT_EQ(db.AdoConnectString, SqliteConnection(missing));
}

TEST(Connection, PostgresWrongDatabaseReportsTheServersText)
{
    ASSERT_EQ(Pg::Problem(), QString());
    QVNDatabase db;
    EXPECT_FALSE(db.ConnectToServer(Pg::ConnectionString(QStringLiteral("no_such_database"))));
    EXPECT_TRUE(db.Exceptions.ToString().contains(QStringLiteral("no_such_database")))
        << db.Exceptions.ToString().toStdString();
}

class DatabaseEngineTest : public EngineTest
{
};

TEST_P(DatabaseEngineTest, ValuesAreTrimmedTextNullIsEmptyAndRepeatedKeysKeepTheFirstRow)
{
    const QString cs =
        MakeDatabase(QStringLiteral("CREATE TABLE t (k VARCHAR(10), v VARCHAR(40), n NUMERIC(10,2), o INTEGER);"
                                    "INSERT INTO t VALUES ('a', '  padded  ', 1.5, 1);"
                                    "INSERT INTO t VALUES ('b', NULL, NULL, 2);"
                                    "INSERT INTO t VALUES ('a', 'second a', 2, 3);"
                                    "INSERT INTO t VALUES ('c', '    ', 3, 4);"
                                    "INSERT INTO t VALUES ('d', 'it''s 中文', 4, 5);"));
    QVNDatabase db;
    db.AdoConnectString = cs;
    TQXRowsPtr all = db.GetDatasFromSql(QStringLiteral("select k, v as \"v  \" from t order by o"));
    ASSERT_EQ(all->Count(), 5) << db.Exceptions.ToString().toStdString();
    EXPECT_EQ(all->Item(1)->Cols()->Item(2)->Key(), QStringLiteral("v")); // field names trimmed
    EXPECT_EQ(all->Item(1)->Cols()->Text(QStringLiteral("v")), QStringLiteral("padded"));

    TQXRowsPtr keyed = db.GetDatasFromSql(QStringLiteral("select k, v from t order by o"), QStringLiteral("k"));
    ASSERT_EQ(keyed->Count(), 4);
    EXPECT_EQ(keyed->Item(QStringLiteral("a"))->Cols()->Text(QStringLiteral("v")), QStringLiteral("padded"));
    EXPECT_EQ(keyed->Item(QStringLiteral("b"))->Cols()->Text(QStringLiteral("v")), QString());
    EXPECT_EQ(keyed->Item(QStringLiteral("c"))->Cols()->Text(QStringLiteral("v")), QString());
    EXPECT_EQ(keyed->Item(QStringLiteral("d"))->Cols()->Text(QStringLiteral("v")), QStringLiteral("it's 中文"));
}

TEST_P(DatabaseEngineTest, LongTextArrivesWhole)
{
    const QString cs = MakeDatabase(QStringLiteral("CREATE TABLE t (v TEXT);"));
    QVNDatabase db;
    db.AdoConnectString = cs;
    QString big;
    for (int i = 0; i < 3000; ++i)
        big += QStringLiteral("第%1行;").arg(i);
    ASSERT_TRUE(db.ExecuteSql(QStringLiteral("INSERT INTO t VALUES ('%1')").arg(big)));
    TQXRowsPtr rows = db.GetDatasFromSql(QStringLiteral("select v from t"));
    ASSERT_EQ(rows->Count(), 1);
    EXPECT_EQ(rows->Item(1)->Cols()->Text(QStringLiteral("v")), big);
}

TEST_P(DatabaseEngineTest, AQueryAfterDisconnectReconnectsWithTheKeptString)
{
    const QString cs = MakeDatabase(QStringLiteral("CREATE TABLE t (v INTEGER); INSERT INTO t VALUES (7);"));
    QVNDatabase db;
    ASSERT_TRUE(db.ConnectToServer(cs));
    EXPECT_TRUE(db.DisConnectFromServer());
    EXPECT_FALSE(db.IsConnected());
    TQXRowsPtr rows = db.GetDatasFromSql(QStringLiteral("select v from t"));
    ASSERT_EQ(rows->Count(), 1);
    EXPECT_EQ(rows->Item(1)->Cols()->Text(QStringLiteral("v")), QStringLiteral("7"));
    EXPECT_TRUE(db.IsConnected());
}

TEST_P(DatabaseEngineTest, AFailingStatementReportsTheDriversTextAndKeepsTheConnection)
{
    const QString cs = MakeDatabase(QStringLiteral("CREATE TABLE t (v INTEGER);"));
    QVNDatabase db;
    db.AdoConnectString = cs;
    EXPECT_FALSE(db.ExecuteSql(QStringLiteral("insert into no_such_table values (1)")));
    EXPECT_TRUE(db.Exceptions.ToString().contains(QStringLiteral("no_such_table")))
        << db.Exceptions.ToString().toStdString();
    EXPECT_EQ(db.GetDatasFromSql(QStringLiteral("select * from no_such_table"))->Count(), 0);
    EXPECT_FALSE(db.Exceptions.IsEmpty());
    EXPECT_TRUE(db.ExecuteSql(QStringLiteral("insert into t values (1)")));
    EXPECT_TRUE(db.Exceptions.IsEmpty());
}

TEST_P(DatabaseEngineTest, RollbackDiscardsAndCommitKeeps)
{
    const QString cs = MakeDatabase(QStringLiteral("CREATE TABLE t (v INTEGER);"));
    QVNDatabase db;
    db.AdoConnectString = cs;
    ASSERT_TRUE(db.BeginTrans());
    ASSERT_TRUE(db.ExecuteSql(QStringLiteral("insert into t values (1)")));
    ASSERT_TRUE(db.RollbackTrans());
    ASSERT_TRUE(db.BeginTrans());
    ASSERT_TRUE(db.ExecuteSql(QStringLiteral("insert into t values (2)")));
    ASSERT_TRUE(db.CommitTrans());
    QVNDatabase other;
    other.AdoConnectString = cs;
    TQXRowsPtr rows = other.GetDatasFromSql(QStringLiteral("select v from t"));
    ASSERT_EQ(rows->Count(), 1);
    EXPECT_EQ(rows->Item(1)->Cols()->Text(QStringLiteral("v")), QStringLiteral("2"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, DatabaseEngineTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), EngineName);

TEST(PostgresConnection, ATerminatedSessionIsReopenedOnTheNextQuery)
{
    QString error;
    const QString cs =
        Pg::CreateDatabase(QStringLiteral("CREATE TABLE t (v INTEGER); INSERT INTO t VALUES (1);"), error);
    ASSERT_FALSE(cs.isEmpty()) << error.toStdString();
    QVNDatabase db;
    db.AdoConnectString = cs;
    const int pid = Pg::BackendPid(db);
    ASSERT_GT(pid, 0);
    QVNDatabase admin;
    admin.AdoConnectString = cs;
    ASSERT_EQ(admin.GetDatasFromSql(QStringLiteral("select pg_terminate_backend(%1)").arg(pid))->Count(), 1);
    // The read notices the dead session, reconnects once and answers.
    TQXRowsPtr rows = db.GetDatasFromSql(QStringLiteral("select v from t"));
    EXPECT_EQ(rows->Count(), 1) << db.Exceptions.ToString().toStdString();
    EXPECT_NE(Pg::BackendPid(db), pid);
    // The catalog reads recover the same way.
    ASSERT_EQ(admin.GetDatasFromSql(QStringLiteral("select pg_terminate_backend(%1)").arg(Pg::BackendPid(db)))->Count(),
              1);
    EXPECT_TRUE(db.GetTables()->Exists(QStringLiteral("t"))) << db.Exceptions.ToString().toStdString();
}

TEST(PostgresConnection, AServerThatStopsAnsweringGivesAnErrorWithinTheTimeLimit)
{
    QString error;
    const QString cs = Pg::CreateDatabase(QStringLiteral("CREATE TABLE t (v INTEGER);"), error);
    ASSERT_FALSE(cs.isEmpty()) << error.toStdString();
    QVNDatabase db;
    db.AdoConnectString = cs;
    db.SchemaTimeout = 2;
    const int pid = Pg::BackendPid(db);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    QElapsedTimer clock;
    clock.start();
    TQXRowsPtr columns = db.GetColumns1(QStringLiteral("t"));
    const qint64 elapsed = clock.elapsed();
    ::kill(pid, SIGCONT);
    EXPECT_EQ(columns->Count(), 0);
    EXPECT_LT(elapsed, 8000);
    EXPECT_GE(elapsed, 1500);
    EXPECT_TRUE(db.Exceptions.ToString().contains(QStringLiteral("time limit")))
        << db.Exceptions.ToString().toStdString();
    // The next call opens a new session and works again.
    EXPECT_EQ(db.GetColumns1(QStringLiteral("t"))->Count(), 1) << db.Exceptions.ToString().toStdString();
}

TEST(PostgresConnection, AServerThatNeverAnswersTheLoginFailsAfterTheConnectionTimeout)
{
    // A socket that accepts connections into its backlog and never says a word.
    TempDir dir;
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(dir.file(QStringLiteral(".s.PGSQL.5999")));
    ASSERT_LT(path.size(), int(sizeof address.sun_path));
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);

    QVNDatabase db;
    db.ConnectionTimeout = 2;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(db.ConnectToServer(
        QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=%1;Port=5999;Database=x;Username=x;CommLog=0;")
            .arg(dir.path())));
    EXPECT_LT(clock.elapsed(), 6000);
    EXPECT_TRUE(db.Exceptions.ToString().contains(QStringLiteral("timeout"))) << db.Exceptions.ToString().toStdString();
    ::close(listener);
}

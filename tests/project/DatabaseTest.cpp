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

TEST(DataTypeNames, EveryNumberHasItsNameAndClass)
{
    QStringList named;
    QString classes;
    for (int t = 0; t <= 256; ++t) {
        const QString name = QVNDatabase::DataType2Name(t);
        if (name != QLatin1String("*UNKNOWN*"))
            named << QStringLiteral("%1=%2").arg(t).arg(name);
        const QString kind = QVNDatabase::DataType2Name2(t);
        if (kind != QLatin1String("string"))
            classes += QStringLiteral("%1%2 ").arg(t).arg(kind.at(0));
    }
    EXPECT_EQ(named.join(' '),
              QStringLiteral("0=Empty 2=SmallInt 3=long 4=Single 5=Double 6=Currency 7=Date 8=BSTR 9=IDispatch "
                             "10=Error 11=Boolean 12=Variant 13=IUnknown 14=Decimal 16=TinyInt 17=UnsignedTinyInt "
                             "18=UnsignedSmallInt 19=UnsignedInt 20=BigInt 21=UnsignedBigInt 64=FileTime 72=GUID "
                             "128=Binary 129=Char 130=WChar 131=Numeric 132=UserDefined 133=DBDate 134=DBTime "
                             "135=DBTimeStamp 136=Chapter 138=PropVariant 139=VarNumeric 200=VarChar "
                             "201=LongVarChar 202=VarWChar 203=LongVarWChar 204=VarBinary 205=LongVarBinary"));
    EXPECT_EQ(classes, QStringLiteral("2n 3n 4n 5n 6n 7d 11b 14n 16n 17n 18n 19n 20n 21n 64d 131n 133d 134d 135d "
                                      "139n "));
    // Every ODBC type the driver layer may report, and interval types it does not know.
    const std::pair<int, int> odbc[] = {{SQL_CHAR, 129},
                                        {SQL_VARCHAR, 200},
                                        {SQL_LONGVARCHAR, 201},
                                        {SQL_WCHAR, 130},
                                        {SQL_WVARCHAR, 202},
                                        {SQL_WLONGVARCHAR, 203},
                                        {SQL_NUMERIC, 131},
                                        {SQL_DECIMAL, 14},
                                        {SQL_SMALLINT, 2},
                                        {SQL_INTEGER, 3},
                                        {SQL_BIGINT, 20},
                                        {SQL_TINYINT, 16},
                                        {SQL_REAL, 4},
                                        {SQL_FLOAT, 5},
                                        {SQL_DOUBLE, 5},
                                        {SQL_BIT, 11},
                                        {SQL_BINARY, 128},
                                        {SQL_VARBINARY, 204},
                                        {SQL_LONGVARBINARY, 205},
                                        {SQL_TYPE_DATE, 133},
                                        {SQL_DATE, 133},
                                        {SQL_TYPE_TIME, 134},
                                        {SQL_TIME, 134},
                                        {SQL_TYPE_TIMESTAMP, 135},
                                        {SQL_TIMESTAMP, 135},
                                        {SQL_GUID, 72},
                                        {SQL_INTERVAL_DAY_TO_SECOND, 0},
                                        {SQL_UNKNOWN_TYPE, 0}};
    for (const auto& [sqlType, number] : odbc)
        EXPECT_EQ(QVNDatabase::SqlTypeToDataType(sqlType), number) << sqlType;
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

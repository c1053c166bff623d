// The MariaDB test server as every MariaDB test meets it: a fresh database made through the client,
// read and written through the ODBC driver over the socket and over TCP.
#include "MariaDbServer.h"
#include "QVNDatabase.h"

#include <gtest/gtest.h>

TEST(MariaDbFixture, AFreshDatabaseIsReadAndWrittenThroughOdbcOverSocketAndTcp)
{
    ASSERT_EQ(Maria::Problem(), QString());
    QString error;
    QString name;
    const QString cs = Maria::CreateDatabase(
        QStringLiteral("CREATE TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, n VARCHAR(20) NOT NULL);\n"
                       "INSERT INTO t (n) VALUES ('Zürich'), ('東京');"),
        error, &name);
    ASSERT_EQ(error, QString());
    ASSERT_FALSE(name.isEmpty());
    EXPECT_EQ(cs, Maria::ConnectionString(name));

    for (const bool tcp : {false, true}) {
        SCOPED_TRACE(tcp ? "tcp" : "socket");
        QVNDatabase db;
        ASSERT_TRUE(db.ConnectToServer(Maria::ConnectionString(name, tcp))) << db.Exceptions.ToString().toStdString();
        TQXRowsPtr rows = db.GetDatasFromSql(QStringLiteral("SELECT id, n FROM t ORDER BY id"));
        ASSERT_EQ(rows->Count(), tcp ? 3 : 2); // the socket round wrote one more
        EXPECT_EQ(rows->Item(1)->Cols()->Text(QStringLiteral("n")), QStringLiteral("Zürich"));
        EXPECT_EQ(rows->Item(2)->Cols()->Text(QStringLiteral("n")), QStringLiteral("東京"));
        EXPECT_TRUE(db.ExecuteSql(QStringLiteral("INSERT INTO t (n) VALUES ('über %1')").arg(tcp ? "tcp" : "socket")))
            << db.Exceptions.ToString().toStdString();
    }

    // What the driver wrote, read back through the client.
    QString out;
    EXPECT_EQ(Maria::RunSql(name, QStringLiteral("SELECT n FROM t WHERE id > 2 ORDER BY id;"), &out), QString());
    EXPECT_EQ(out, QStringLiteral("über socket\nüber tcp\n"));
    // A failing statement is reported, not swallowed.
    EXPECT_NE(Maria::RunSql(name, QStringLiteral("SELECT * FROM no_such_table;")), QString());
}

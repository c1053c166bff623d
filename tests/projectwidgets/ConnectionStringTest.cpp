// Connection strings read and written again, table names quoted for statements, and the HTML page
// of a result set.
#include "QVNConnectionString.h"
#include "QVNOdbcSources.h"
#include "QVNTableExport.h"
#include "TempDir.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QString RoundTrip(const QString& text)
{
    QVNConnectionString s;
    EXPECT_TRUE(s.Parse(text)) << s.Error().toStdString();
    return s.Build();
}

TEST(ConnectionStringTest, SqlitePostgresAndDsnStringsSurviveParseAndBuild)
{
    EXPECT_EQ(RoundTrip(QStringLiteral("DRIVER={SQLite3};Database=/data/shop.db;NoCreat=1;")),
              QStringLiteral("DRIVER={SQLite3};Database=/data/shop.db;NoCreat=1;"));
    EXPECT_EQ(RoundTrip(QStringLiteral("Driver={PostgreSQL Unicode};Server=db.local;Port=5433;Database=shop;"
                                       "BoolsAsChar=0;sslmode=require")),
              QStringLiteral("Driver={PostgreSQL Unicode};Server=db.local;Port=5433;Database=shop;BoolsAsChar=0;"
                             "sslmode=require;"));
    EXPECT_EQ(RoundTrip(QStringLiteral("DSN=Shop Data;")), QStringLiteral("DSN=Shop Data;"));

    QVNConnectionString s;
    ASSERT_TRUE(s.Parse(QStringLiteral(" driver = {PostgreSQL Unicode} ;  SERVER=h ;;Port=1")));
    EXPECT_EQ(s.Value(QStringLiteral("DRIVER")), QStringLiteral("PostgreSQL Unicode"));
    EXPECT_EQ(s.Value(QStringLiteral("server")), QStringLiteral("h"));
    // A value set again keeps its key's place and spelling; a new key goes to the end.
    s.SetValue(QStringLiteral("Server"), QStringLiteral("other"));
    s.SetValue(QStringLiteral("Database"), QStringLiteral("shop"));
    EXPECT_EQ(s.Build(), QStringLiteral("driver={PostgreSQL Unicode};SERVER=other;Port=1;Database=shop;"));
    s.SetValue(QStringLiteral("port"), QString());
    EXPECT_FALSE(s.Contains(QStringLiteral("Port")));
}

TEST(ConnectionStringTest, BracesCarrySemicolonsEqualsAndClosingBraces)
{
    QVNConnectionString s;
    ASSERT_TRUE(s.Parse(QStringLiteral("PWD={a;b=c}}d};Server={ spaced };X=1")));
    EXPECT_EQ(s.Value(QStringLiteral("PWD")), QStringLiteral("a;b=c}d"));
    EXPECT_EQ(s.Value(QStringLiteral("Server")), QStringLiteral(" spaced "));
    EXPECT_EQ(s.Build(), QStringLiteral("PWD={a;b=c}}d};Server={ spaced };X=1;"));

    // Values that need braces get them; everything else is written as it is.
    EXPECT_EQ(QVNConnectionString::Quote(QStringLiteral("PWD"), QStringLiteral("plain=ok")),
              QStringLiteral("plain=ok"));
    EXPECT_EQ(QVNConnectionString::Quote(QStringLiteral("PWD"), QStringLiteral("{x")), QStringLiteral("{{x}"));
    EXPECT_EQ(QVNConnectionString::Quote(QStringLiteral("Driver"), QStringLiteral("SQLite3")),
              QStringLiteral("{SQLite3}"));

    QVNConnectionString broken;
    EXPECT_FALSE(broken.Parse(QStringLiteral("Server=h;PWD={never closed;X=1")));
    EXPECT_FALSE(broken.Error().isEmpty());
    EXPECT_EQ(broken.Value(QStringLiteral("Server")), QStringLiteral("h"));
}

TEST(ConnectionStringTest, TableNamesAreQuotedOnlyWhereTheyMustBe)
{
    const QString q = QStringLiteral("\"");
    EXPECT_EQ(QVNOdbcSources::QuoteTableName(QStringLiteral("orders"), q), QStringLiteral("orders"));
    EXPECT_EQ(QVNOdbcSources::QuoteTableName(QStringLiteral("Orders"), q), QStringLiteral("\"Orders\""));
    EXPECT_EQ(QVNOdbcSources::QuoteTableName(QStringLiteral("order items"), q), QStringLiteral("\"order items\""));
    EXPECT_EQ(QVNOdbcSources::QuoteTableName(QStringLiteral("user"), q), QStringLiteral("\"user\""));
    EXPECT_EQ(QVNOdbcSources::QuoteTableName(QStringLiteral("a\"b"), q), QStringLiteral("\"a\"\"b\""));
    EXPECT_EQ(QVNOdbcSources::QuoteTableName(QStringLiteral("Sales"), q, QStringLiteral("Shop")),
              QStringLiteral("\"Shop\".\"Sales\""));
    EXPECT_EQ(QVNOdbcSources::QuoteTableName(QStringLiteral("Orders"), QString()), QStringLiteral("Orders"));
    EXPECT_EQ(QVNOdbcSources::QuoteTableName(QStringLiteral("Orders"), QStringLiteral("`")),
              QStringLiteral("`Orders`"));
}

TEST(TableExportTest, CellsAreEscapedBeforeLineBreaksBecomeBr)
{
    EXPECT_EQ(QVNTableExport::CellHtml(QStringLiteral("<b>bold</b> & \"q\" 'a'\r\nnext\nlast")),
              QStringLiteral("&lt;b&gt;bold&lt;/b&gt; &amp; &quot;q&quot; &#39;a&#39;<BR>next<BR>last"));

    TempDir dir;
    const QString file = dir.file(QStringLiteral("page.html"));
    QVNTableExport exporter;
    ASSERT_TRUE(exporter.WriteHtml(file, QStringLiteral("t<1>"), {QStringLiteral("<name>"), QStringLiteral("价格")},
                                   {{QStringLiteral("<b>x</b>\r\ny"), QStringLiteral("12")}, {QStringLiteral("z")}}));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(page.contains(QStringLiteral("<meta charset=\"utf-8\">")));
    EXPECT_TRUE(page.contains(QStringLiteral("<th>&lt;name&gt;</th><th>价格</th>")));
    EXPECT_TRUE(page.contains(QStringLiteral("<td>&lt;b&gt;x&lt;/b&gt;<BR>y</td><td>12</td>")));
    EXPECT_TRUE(page.contains(QStringLiteral("<td>z</td><td></td>"))) << "short rows are padded";
    EXPECT_FALSE(page.contains(QStringLiteral("<b>")));

    EXPECT_FALSE(exporter.WriteHtml(dir.file(QStringLiteral("missing/folder/page.html")), QString(), {}, {}));
    EXPECT_FALSE(exporter.Exceptions.ToString().isEmpty());
}

} // namespace

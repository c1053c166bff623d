// The schema import on each database system (SQLite, PostgreSQL, MariaDB) over its awkward
// shapes: checked against what the database's own catalog says, and the bulk read against the
// table-by-table one. Then what only MariaDB has, and the CHECK reader of SQLite's CREATE text.
#include "MariaDbServer.h"
#include "ProjectTestSupport.h"
#include "QVNProject.h"
#include "QVNSqlText.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {
QStringList Column(const TQXRowsPtr& rows, const char* field)
{
    QStringList values;
    for (const TQXRowPtr& r : *rows)
        values << r->Cols()->Text(QString::fromLatin1(field));
    return values;
}

/// Every field of every row, nested sets by their own rows' fields: two reads compare as text.
QString DumpNested(const TQXRowsPtr& rows)
{
    QStringList lines;
    for (const TQXRowPtr& row : *rows) {
        QStringList fields{row->Key()};
        for (const TQXColPtr& c : *row->Cols())
            fields << c->Key() + QLatin1Char('=') +
                          (c->Value().rows() ? QLatin1Char('[') + DumpNested(c->Value().rows()) + QLatin1Char(']')
                                             : c->Value().ToText());
        lines << fields.join(QLatin1Char('|'));
    }
    return lines.join(QLatin1Char('\n'));
}

/// One database system: how its awkward database is made, and its catalog in common words.
struct System
{
    const char* name;
    const char* script;
    /// Per column of every base table: s(chema), t(able), c(olumn), n(ullable YES/NO), d(efault
    /// declared 1/0), k(ey position, 0 = none), in table and column order.
    const char* catalog;
    /// The name and condition the import gives account's check on tenant.
    const char* checkName;
    const char* checkExpression;
};

const System kSystems[] = {
    {"Sqlite", "awkward_sqlite.sql",
     "select '' as s, m.name as t, p.name as c, case when p.\"notnull\" = 1 then 'NO' else 'YES' end as n, "
     "case when p.dflt_value is null then '0' else '1' end as d, p.pk as k from sqlite_master m "
     "join pragma_table_xinfo(m.name) p where m.type = 'table' order by m.name, p.cid",
     "account_tenant_check", "tenant > 0"},
    {"Postgres", "awkward_pg.sql",
     "select c.table_schema as s, c.table_name as t, c.column_name as c, c.is_nullable as n, "
     "case when c.column_default is null then '0' else '1' end as d, coalesce(k.ordinal_position, 0) as k "
     "from information_schema.columns c join information_schema.tables tb on tb.table_schema = c.table_schema "
     "and tb.table_name = c.table_name and tb.table_type = 'BASE TABLE' "
     "left join information_schema.table_constraints tc on tc.table_schema = c.table_schema "
     "and tc.table_name = c.table_name and tc.constraint_type = 'PRIMARY KEY' "
     "left join information_schema.key_column_usage k on k.constraint_schema = tc.constraint_schema "
     "and k.constraint_name = tc.constraint_name and k.table_name = c.table_name and k.column_name = c.column_name "
     "where c.table_schema not in ('pg_catalog', 'information_schema') order by 1, 2, c.ordinal_position",
     "account_tenant_check", "tenant > 0"},
    {"Maria", "awkward_mariadb.sql",
     "select '' as s, c.table_name as t, c.column_name as c, c.is_nullable as n, "
     "case when c.column_default is null or c.column_default = 'NULL' then '0' else '1' end as d, "
     "coalesce(k.ordinal_position, 0) as k from information_schema.columns c "
     "join information_schema.tables tb on tb.table_schema = c.table_schema and tb.table_name = c.table_name "
     "and tb.table_type = 'BASE TABLE' left join information_schema.key_column_usage k on "
     "k.table_schema = c.table_schema and k.table_name = c.table_name and k.column_name = c.column_name "
     "and k.constraint_name = 'PRIMARY' where c.table_schema = database() order by 2, c.ordinal_position",
     "tenant", "\"tenant\" > 0"},
};

/// A project over a fresh awkward database of one system, its tables read.
class CatalogSystemsTest : public ::testing::TestWithParam<System>
{
protected:
    void SetUp() override { m_cs = Create(GetParam().script); }

    QString Create(const char* script)
    {
        QString error, cs;
        const QString sql = Script(script);
        const QString name = QString::fromLatin1(GetParam().name);
        if (name == QLatin1String("Sqlite")) {
            const QString path = m_dir.file(QStringLiteral("%1.db").arg(++m_files));
            error = CreateSqliteFile(path, sql);
            cs = error.isEmpty() ? SqliteConnection(path) : QString();
        } else if (name == QLatin1String("Postgres")) {
            cs = Pg::CreateDatabase(sql, error);
        } else {
            cs = Maria::CreateDatabase(sql, error);
        }
        EXPECT_FALSE(cs.isEmpty()) << error.toStdString();
        return cs;
    }

    /// A new project over the database, its tables read.
    std::unique_ptr<QVNProject> Open(const QString& cs)
    {
        auto p = std::make_unique<QVNProject>();
        const QString file = m_dir.file(QStringLiteral("p%1.qvn").arg(++m_files));
        EXPECT_TRUE(p->NewProject(file)) << Lines(p->Exceptions).toStdString();
        p->SetProjectFile(file);
        p->P_DATABASE = cs;
        EXPECT_TRUE(p->GetTables()) << Lines(p->Exceptions).toStdString();
        p->ProjectDatabase().AdoConnectString = p->ConnectionString();
        return p;
    }

    QStringList TableKeys(QVNProject& p, bool viewsToo)
    {
        QStringList keys;
        for (const TQXRowPtr& row : *p.TABLES) {
            if (viewsToo || row->Cols()->Text("TABLE_TYPE") == QLatin1String("TABLE"))
                keys << row->Key();
        }
        return keys;
    }

    TempDir m_dir;
    int m_files = 0;
    QString m_cs;
};
} // namespace

TEST_P(CatalogSystemsTest, ColumnsNullabilityDefaultsAndKeyOrderAgreeWithTheDatabasesOwnCatalog)
{
    ASSERT_FALSE(m_cs.isEmpty());
    auto p = Open(m_cs);
    QVNDatabase raw;
    raw.AdoConnectString = m_cs;
    const TQXRowsPtr catalog = raw.GetDatasFromSql(QString::fromLatin1(GetParam().catalog));
    raw.DisConnectFromServer();
    ASSERT_GT(catalog->Count(), 0) << Lines(raw.Exceptions).toStdString();
    const QStringList keys = TableKeys(*p, false);
    ASSERT_GE(keys.size(), 3);
    for (const QString& key : keys) {
        const TQXColsPtr table = p->TABLES->Item(key)->Cols();
        const QString schema = table->Text("TL_SCHEMA"), object = table->Text("TL_OBJECT");
        QStringList names, nulls, defaults, keyOrder;
        QMap<int, QString> keyed;
        for (const TQXRowPtr& r : *catalog) {
            const TQXColsPtr c = r->Cols();
            if (c->Text("t") != object || c->Text("s") != schema)
                continue;
            names << c->Text("c");
            nulls << (c->Text("n") == QLatin1String("YES") ? "1" : "0");
            defaults << c->Text("d");
            if (c->Text("k").toInt() > 0)
                keyed.insert(c->Text("k").toInt(), c->Text("c"));
        }
        ASSERT_FALSE(names.isEmpty()) << key.toStdString() << " in schema " << schema.toStdString();
        const TQXRowsPtr columns = p->GetColumns(key);
        QStringList importedDefaults;
        for (const TQXRowPtr& r : *columns)
            importedDefaults << (r->Cols()->Text("CL_DEFAULT").isEmpty() ? "0" : "1");
        const std::string where = std::string(GetParam().name) + ": " + key.toStdString();
        EXPECT_EQ(Column(columns, "CL_NAME"), names) << where;
        EXPECT_EQ(Column(columns, "CL_NULL"), nulls) << where;
        EXPECT_EQ(importedDefaults, defaults) << where;
        EXPECT_EQ(Column(p->ProjectDatabase().GetPrimaryKeys(key), "COLUMN_NAME"), keyed.values()) << where;
    }

    // The shapes every system shares: the composite key in key order, no key made up for the
    // keyless table, an empty-string default that is not the absence of one, the check.
    EXPECT_EQ(Column(p->ProjectDatabase().GetPrimaryKeys("membership"), "COLUMN_NAME").join(','),
              QStringLiteral("grp,account_email"));
    EXPECT_EQ(Text(p->TABLES, "event_log", "TL_PK"), QString());
    const TQXRowsPtr account = p->GetColumns("account");
    EXPECT_EQ(Text(account, "nick", "CL_DEFAULT"), QStringLiteral("''"));
    EXPECT_EQ(Text(account, "note", "CL_DEFAULT"), QString());
    const TQXRowsPtr checks = p->ProjectDatabase().GetCheckRows("account");
    EXPECT_EQ(Column(checks, "CK_NAME").join(','), QString::fromLatin1(GetParam().checkName));
    EXPECT_EQ(Column(checks, "CK_EXPRESSION").join(','), QString::fromLatin1(GetParam().checkExpression));
}

TEST_P(CatalogSystemsTest, TheBulkReadGivesWhatEachTableGivesAlone)
{
    ASSERT_FALSE(m_cs.isEmpty());
    auto bulk = Open(m_cs);
    auto single = Open(m_cs);
    QVNDatabase& db = bulk->ProjectDatabase();
    QVNDatabase& one = single->ProjectDatabase();
    const QStringList keys = TableKeys(*bulk, true);
    db.PrepareCatalog(keys);
    // SQLite is read table by table anyway; the others in one query per kind.
    EXPECT_EQ(db.LastCatalogRead().oneQuery, QString::fromLatin1(GetParam().name) != QLatin1String("Sqlite"));
    for (const QString& key : keys) {
        const std::string where = std::string(GetParam().name) + ": " + key.toStdString();
        EXPECT_EQ(DumpNested(db.GetColumns1(key)), DumpNested(one.GetColumns1(key))) << where;
        EXPECT_EQ(DumpNested(bulk->GetColumns(key)), DumpNested(single->GetColumns(key))) << where;
        EXPECT_EQ(DumpNested(db.GetPrimaryKeys(key)), DumpNested(one.GetPrimaryKeys(key))) << where;
        EXPECT_EQ(DumpNested(db.GetForeignKeyRows(key)), DumpNested(one.GetForeignKeyRows(key))) << where;
        EXPECT_EQ(DumpNested(db.GetIndexRows(key)), DumpNested(one.GetIndexRows(key))) << where;
        EXPECT_EQ(DumpNested(db.GetCheckRows(key)), DumpNested(one.GetCheckRows(key))) << where;
        // Asked again after the bulk read was used: the table alone, the same answer.
        EXPECT_EQ(DumpNested(db.GetColumns(key)), DumpNested(one.GetColumns(key))) << where;
    }
    db.ForgetCatalog();
}

INSTANTIATE_TEST_SUITE_P(Systems, CatalogSystemsTest, ::testing::ValuesIn(kSystems),
                         [](const ::testing::TestParamInfo<System>& info) { return std::string(info.param.name); });

namespace {
class MariaImportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(Maria::Problem(), QString());
        QString error;
        // Another database on the same server: none of its tables is the user's.
        ASSERT_FALSE(
            Maria::CreateDatabase(QStringLiteral("create table not_mine (id int primary key);"), error).isEmpty())
            << error.toStdString();
        m_cs = Maria::CreateDatabase(Script("awkward_mariadb.sql"), error);
        ASSERT_FALSE(m_cs.isEmpty()) << error.toStdString();
        const QString file = m_dir.file(QStringLiteral("maria.qvn"));
        ASSERT_TRUE(m_p.NewProject(file));
        m_p.SetProjectFile(file);
        m_p.P_DATABASE = m_cs;
        ASSERT_TRUE(m_p.GetTables()) << Lines(m_p.Exceptions).toStdString();
        m_p.ProjectDatabase().AdoConnectString = m_p.ConnectionString();
    }
    TempDir m_dir;
    QString m_cs;
    QVNProject m_p;
};
} // namespace

TEST_F(MariaImportTest, EveryKindOfColumnIsTypedAsTheServerDeclaresIt)
{
    struct Expected
    {
        const char *column, *type, *type2, *length2, *dbType, *nullable, *defaultValue;
    };
    const Expected expected[] = {
        {"flag", "Boolean", "boolean", "", "tinyint(1)", "0", "0"},
        {"tiny", "UnsignedTinyInt", "numeric", "3", "tinyint(3) unsigned", "1", ""},
        {"small", "SmallInt", "numeric", "5", "smallint(6)", "0", ""},
        {"med", "UnsignedInt", "numeric", "10", "mediumint(8) unsigned", "1", ""},
        {"big", "UnsignedBigInt", "numeric", "20", "bigint(20) unsigned", "1", ""},
        {"price", "Decimal", "numeric", "12,3", "decimal(12,3)", "1", "0.000"},
        {"f", "Single", "numeric", "", "float", "1", ""},
        {"d", "Double", "numeric", "", "double", "1", ""},
        {"c", "WChar", "string", "3", "char(3)", "1", "ab"},
        {"vc", "VarWChar", "string", "40", "varchar(40)", "1", "it's"},
        {"tt", "LongVarWChar", "string", "255", "tinytext", "1", ""},
        {"lt", "LongVarWChar", "string", "", "longtext", "1", ""},
        {"kind", "VarWChar", "string", "", "enum('new','it''s','done')", "0", "new"},
        {"tags", "VarWChar", "string", "", "set('a','b')", "1", ""},
        {"doc", "LongVarWChar", "string", "", "json", "1", ""},
        {"bits", "Binary", "string", "1", "bit(5)", "1", ""},
        {"one_bit", "Boolean", "boolean", "", "bit(1)", "1", ""},
        {"d1", "DBDate", "date", "", "date", "1", ""},
        {"dt", "DBTimeStamp", "date", "", "datetime", "1", "current_timestamp()"},
        {"ts", "DBTimeStamp", "date", "", "timestamp", "0", "current_timestamp()"},
        {"tm", "DBTime", "date", "", "time", "1", ""},
        {"yr", "SmallInt", "numeric", "5", "year(4)", "1", ""},
        {"bin", "Binary", "string", "4", "binary(4)", "1", ""},
        {"vb", "VarBinary", "string", "8", "varbinary(8)", "1", ""},
        {"bl", "LongVarBinary", "string", "65535", "blob", "1", ""},
        {"twice", "long", "numeric", "10", "int(11)", "1", ""},
    };
    const TQXRowsPtr columns = m_p.GetColumns("all_kinds");
    ASSERT_EQ(columns->Count(), static_cast<int>(std::size(expected)));
    for (const Expected& e : expected) {
        const QString c = QString::fromLatin1(e.column);
        SCOPED_TRACE(e.column);
        EXPECT_EQ(Text(columns, c, "CL_TYPE"), QString::fromLatin1(e.type));
        EXPECT_EQ(Text(columns, c, "CL_TYPE2"), QString::fromLatin1(e.type2));
        EXPECT_EQ(Text(columns, c, "CL_LENGTH2"), QString::fromLatin1(e.length2));
        EXPECT_EQ(Text(columns, c, "CL_DBTYPE"), QString::fromUtf8(e.dbType));
        EXPECT_EQ(Text(columns, c, "CL_NULL"), QString::fromLatin1(e.nullable));
        EXPECT_EQ(Text(columns, c, "CL_DEFAULT"), QString::fromLatin1(e.defaultValue));
    }
    EXPECT_EQ(Column(columns->Item("kind")->Cols()->Item("CL_ENUMS")->Value().rows(), "EV_VALUE").join('|'),
              QStringLiteral("new|it's|done"));
    EXPECT_EQ(Column(columns->Item("tags")->Cols()->Item("CL_ENUMS")->Value().rows(), "EV_VALUE").join('|'),
              QStringLiteral("a|b"));
    EXPECT_EQ(Text(columns, "twice", "CL_GENERATED"), QStringLiteral("1"));
    EXPECT_EQ(Text(columns, "twice", "CL_GENEXPR"), QStringLiteral("\"small\" * 2"));
    EXPECT_EQ(Text(m_p.GetColumns("account"), "id", "CL_IDENTITY"), QStringLiteral("1"));
    EXPECT_EQ(Text(m_p.GetColumns("account"), "id", "CL_NULL"), QStringLiteral("0"));
    EXPECT_EQ(Text(m_p.GetColumns("shipment"), "id", "CL_TYPE"), QStringLiteral("UnsignedBigInt"));
}

TEST_F(MariaImportTest, OnlyTheConnectedDatabaseWithCommentsKeysIndexesAndCompositeForeignKeys)
{
    QStringList keys;
    for (const TQXRowPtr& row : *m_p.TABLES)
        keys << row->Key() + QLatin1Char(':') + row->Cols()->Text("TABLE_TYPE");
    keys.sort();
    EXPECT_EQ(keys.join(','), QStringLiteral("account:TABLE,account_names:VIEW,all_kinds:TABLE,event_log:TABLE,"
                                             "membership:TABLE,region_order:TABLE,shipment:TABLE"));
    EXPECT_EQ(Text(m_p.TABLES, "account", "TL_DESC"), QStringLiteral("people who sign in"));
    EXPECT_EQ(Text(m_p.TABLES, "account_names", "TL_DESC"), QString());
    EXPECT_EQ(Text(m_p.GetColumns("account"), "note", "CL_DESC"), QStringLiteral("free text"));

    QVNDatabase& db = m_p.ProjectDatabase();
    const TQXRowsPtr fks = db.GetForeignKeyRows("shipment");
    EXPECT_EQ(Column(fks, "FK_NAME").join(','), QStringLiteral("shipment_order,shipment_order"));
    EXPECT_EQ(Column(fks, "FK_COLUMN_NAME").join(','), QStringLiteral("region,order_no"));
    EXPECT_EQ(Column(fks, "PK_COLUMN_NAME").join(','), QStringLiteral("region,order_no"));
    EXPECT_EQ(Column(fks, "PK_TABLE_KEY").join(','), QStringLiteral("region_order,region_order"));
    EXPECT_EQ(Column(fks, "UPDATE_RULE").join(','), QStringLiteral("CASCADE,CASCADE"));
    EXPECT_EQ(Column(fks, "DELETE_RULE").join(','), QStringLiteral("SET NULL,SET NULL"));

    const TQXRowsPtr indexes = db.GetIndexRows("account");
    EXPECT_EQ(Text(indexes, "email", "IX_KIND"), QStringLiteral("unique"));
    EXPECT_EQ(Text(indexes, "email", "IX_COLUMNS"), QStringLiteral("email"));
    EXPECT_EQ(Text(indexes, "account_active_tenant", "IX_UNIQUE"), QStringLiteral("0"));
    EXPECT_EQ(Text(indexes, "account_active_tenant", "IX_METHOD"), QStringLiteral("btree"));
    // The check that keeps the json type is the type's, not a check of the table's.
    EXPECT_EQ(db.GetCheckRows("all_kinds")->Count(), 0);
}

TEST(CatalogSqlText, ChecksOfACreateStatementWithTheirNamesAndColumns)
{
    struct Case
    {
        const char* sql;
        const char* expected; // name:column:expression; ...
    };
    const Case cases[] = {
        {"create table t (a int check (a > 0), b text)", ":a:a > 0"},
        {"CREATE TABLE t (a INT CONSTRAINT pos CHECK(a>0) NOT NULL, CHECK (a < 10))", "pos:a:a>0;::a < 10"},
        {"create table t (a int, constraint \"two words\" check (a in (1, (2))))", "two words::a in (1, (2))"},
        // Names, texts and comments that hold the word start nothing.
        {"create table \"check(\" (\"check\" text default 'check (x)' /* check (y) */, -- check (z)\n b int)", ""},
        {"create table t (a int constraint nn not null check (a <> ')'))", ":a:a <> ')'"},
        {"create table t ([weird col] int check ([weird col] > 1))", ":weird col:[weird col] > 1"},
        {"create table t (a int) without rowid", ""},
    };
    for (const Case& c : cases) {
        QStringList got;
        for (const QVNSqlText::Check& check : QVNSqlText::Checks(QString::fromUtf8(c.sql)))
            got << check.name + QLatin1Char(':') + check.column + QLatin1Char(':') + check.expression;
        EXPECT_EQ(got.join(';'), QString::fromUtf8(c.expected)) << c.sql;
    }
}

TEST(CatalogSqlText, BackquotedNamesBecomeStandardOnesOutsideTextsAndQuotedNames)
{
    const std::pair<const char*, const char*> cases[] = {
        {"`a` > 0 and `b c` < `a`", "\"a\" > 0 and \"b c\" < \"a\""},
        {"`x``y` = 'it''s `not` a name' or `q\"` = \"`kept`\"",
         "\"x`y\" = 'it''s `not` a name' or \"q\"\"\" = \"`kept`\""},
        {"json_valid(`doc`) and 'a\\'`b`' <> ''", "json_valid(\"doc\") and 'a\\'`b`' <> ''"},
        {"no quotes at all", "no quotes at all"},
        {"`unclosed", "\"unclosed\""},
    };
    for (const auto& [in, expected] : cases)
        EXPECT_EQ(QVNSqlText::StandardQuotes(QString::fromUtf8(in)), QString::fromUtf8(expected)) << in;
}

TEST(PostgresIndexInclude, ColumnsAnIndexOnlyCarriesAreKeptApartFromItsKey)
{
    QString error;
    const QString cs = Pg::CreateDatabase(QStringLiteral("create table t (a int, b int, c text);\n"
                                                         "create unique index t_a on t (a desc) include (c, b);\n"),
                                          error);
    ASSERT_FALSE(cs.isEmpty()) << error.toStdString();
    QVNDatabase db;
    db.AdoConnectString = cs;
    const TQXRowsPtr indexes = db.GetIndexRows("t");
    ASSERT_TRUE(indexes->Exists("t_a"));
    EXPECT_EQ(Text(indexes, "t_a", "IX_COLUMNS"), QStringLiteral("a"));
    const TQXColsPtr index = indexes->Item("t_a")->Cols();
    const TQXRowsPtr parts = index->Item("IX_PARTS")->Value().rows();
    const TQXRowsPtr carried = index->Item("IX_INCLUDE")->Value().rows();
    EXPECT_EQ(Column(parts, "IP_COLUMN").join(','), QStringLiteral("a"));
    EXPECT_EQ(Column(parts, "IP_INCLUDE").join(','), QStringLiteral("0"));
    EXPECT_EQ(Column(parts, "IP_DESC").join(','), QStringLiteral("1"));
    EXPECT_EQ(Column(carried, "IP_COLUMN").join(','), QStringLiteral("c,b"));
    EXPECT_EQ(Column(carried, "IP_INCLUDE").join(','), QStringLiteral("1,1"));
}

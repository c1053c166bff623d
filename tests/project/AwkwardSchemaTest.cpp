// Schema import over awkward shapes (tests/data/project/awkward_*.sql), checked against what the
// database's own catalog says, and the bulk catalog read checked against the table-by-table one.
#include "ProjectTestSupport.h"
#include "QVNBuildCollector.h"
#include "QVNProject.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {
/// Every field of every row, one line per row, nested sets left out: two reads compare as text.
QString Dump(const TQXRowsPtr& rows)
{
    QStringList lines;
    for (const TQXRowPtr& row : *rows) {
        QStringList fields{row->Key()};
        for (const TQXColPtr& c : *row->Cols()) {
            if (!c->Value().rows())
                fields << c->Key() + QLatin1Char('=') + c->Value().ToText();
        }
        lines << fields.join(QLatin1Char('|'));
    }
    return lines.join(QLatin1Char('\n'));
}

/// A project over a fresh database made from a script, its tables read.
class AwkwardProject
{
public:
    bool Open(const QString& connection, QString& error)
    {
        m_file = m_dir.file(QStringLiteral("awkward.qvn"));
        if (!project.NewProject(m_file)) {
            error = project.Exceptions.ToString();
            return false;
        }
        project.SetProjectFile(m_file);
        project.P_DATABASE = connection;
        if (!project.GetTables() || !project.SaveProject(QStringLiteral("1"), QStringLiteral("awkward"), connection,
                                                         QString(), QString(), QString(), project.TABLES)) {
            error = project.Exceptions.ToString();
            return false;
        }
        return true;
    }
    QString File() const { return m_file; }
    TempDir m_dir;
    QString m_file;
    QVNProject project;
};

/// One database opened twice: one project's catalog is read in bulk, the other's table by table.
struct BulkAndSingle
{
    bool Open(const QString& connection, QString& error)
    {
        if (!single.Open(connection, error) || !bulk.Open(connection, error))
            return false;
        for (const TQXRowPtr& row : *bulk.project.TABLES)
            keys << row->Key();
        db.AdoConnectString = bulk.project.ConnectionString();
        one.AdoConnectString = single.project.ConnectionString();
        return true;
    }
    AwkwardProject single, bulk;
    QVNDatabase& db = bulk.project.ProjectDatabase();
    QVNDatabase& one = single.project.ProjectDatabase();
    QStringList keys;
};

class AwkwardPgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        m_cs = Pg::CreateDatabase(Script("awkward_pg.sql"), error);
        ASSERT_FALSE(m_cs.isEmpty()) << error.toStdString();
        ASSERT_TRUE(m_p.Open(m_cs, error)) << error.toStdString();
    }
    /// A query on the database itself, its rows unkeyed.
    TQXRowsPtr Catalog(const QString& sql)
    {
        QVNDatabase db;
        db.AdoConnectString = m_cs;
        return db.GetDatasFromSql(sql);
    }
    QString m_cs;
    AwkwardProject m_p;
};
} // namespace

TEST_F(AwkwardPgTest, TablesAreTheCatalogsWithPartitionsUnderTheirParentAndSameNamesKeyedBySchema)
{
    const TQXRowsPtr& tables = m_p.project.TABLES;
    TQXRowsPtr expected =
        Catalog(QStringLiteral("select n.nspname, c.relname, c.relkind from pg_class c join pg_namespace n on n.oid = "
                               "c.relnamespace where n.nspname in ('public', 'sales') and c.relkind in ('r', 'v', "
                               "'m', 'p') and not c.relispartition"));
    ASSERT_GT(expected->Count(), 0);
    EXPECT_EQ(tables->Count(), expected->Count());
    QStringList seen;
    for (const TQXRowPtr& row : *tables)
        seen << row->Cols()->Text("TL_SCHEMA") + QLatin1Char('.') + row->Cols()->Text("TL_OBJECT");
    for (const TQXRowPtr& row : *expected) {
        const QString name = row->Cols()->Text("nspname") + QLatin1Char('.') + row->Cols()->Text("relname");
        EXPECT_TRUE(seen.contains(name)) << name.toStdString();
    }
    // The same name in two schemas: both kept, each under its schema; unique names stay bare.
    EXPECT_EQ(Text(tables, "public.orders", "TL_OBJECT"), QStringLiteral("orders"));
    EXPECT_EQ(Text(tables, "sales.orders", "TL_SCHEMA"), QStringLiteral("sales"));
    EXPECT_EQ(Text(tables, "sales.orders", "TL_NAME"), QStringLiteral("sales.orders"));
    EXPECT_EQ(Text(tables, "sales.orders", "DESCRIPTION"), QStringLiteral("Orders taken by the sales force"));
    EXPECT_EQ(Text(tables, "Order Line", "TL_SCHEMA"), QStringLiteral("public"));
    EXPECT_FALSE(tables->Exists("measurement_2025"));
    EXPECT_EQ(Text(tables, "measurement", "TABLE_TYPE"), QStringLiteral("TABLE"));
    EXPECT_EQ(Text(tables, "employee_names", "TABLE_TYPE"), QStringLiteral("VIEW"));
    EXPECT_EQ(Text(tables, "order_totals", "TABLE_TYPE"), QStringLiteral("VIEW"));
}

TEST_F(AwkwardPgTest, ColumnsAgreeWithTheCatalog)
{
    for (const TQXRowPtr& table : *m_p.project.TABLES) {
        const QString schema = table->Cols()->Text("TL_SCHEMA"), object = table->Cols()->Text("TL_OBJECT");
        const TQXRowsPtr columns = m_p.project.GetColumns(table->Key());
        const TQXRowsPtr expected = Catalog(
            QStringLiteral("select a.attname, format_type(a.atttypid, a.atttypmod) as t, a.attnotnull, "
                           "a.attidentity <> '' or coalesce(pg_get_expr(d.adbin, d.adrelid), '') like 'nextval(%' as "
                           "ident, a.attgenerated <> '' as gen from pg_attribute a left join pg_attrdef d on "
                           "d.adrelid = a.attrelid and d.adnum = a.attnum where a.attrelid = '%1.%2'::regclass and "
                           "a.attnum > 0 and not a.attisdropped order by a.attnum")
                .arg(QStringLiteral("\"%1\"").arg(schema), QStringLiteral("\"%1\"").arg(object)));
        ASSERT_EQ(columns->Count(), expected->Count()) << table->Key().toStdString();
        for (int i = 1; i <= expected->Count(); ++i) {
            const TQXColsPtr e = expected->Item(i)->Cols();
            const TQXColsPtr c = columns->Item(i)->Cols();
            const std::string where = (table->Key() + QLatin1Char('.') + e->Text("attname")).toStdString();
            EXPECT_EQ(c->Text("CL_NAME"), e->Text("attname")) << where;
            EXPECT_EQ(c->Text("CL_DBTYPE"), e->Text("t")) << where;
            EXPECT_EQ(c->Text("CL_NULL"), e->Text("attnotnull") == QLatin1String("1") ? "0" : "1") << where;
            EXPECT_EQ(c->Text("CL_IDENTITY"), e->Text("ident") == QLatin1String("1") ? "1" : "0") << where;
            EXPECT_EQ(c->Text("CL_GENERATED"), e->Text("gen") == QLatin1String("1") ? "1" : "0") << where;
            EXPECT_NE(c->Text("CL_TYPE"), QStringLiteral("*UNKNOWN*")) << where;
        }
    }
}

TEST_F(AwkwardPgTest, TypesAModelCanTellApart)
{
    const TQXRowsPtr k = m_p.project.GetColumns("kinds");
    const auto f = [&](const char* column, const char* field) { return Text(k, QString::fromLatin1(column), field); };
    // Unbounded text and an unconstrained numeric have no made-up size; long text stays long text.
    EXPECT_EQ(f("txt", "CL_LENGTH"), QString());
    EXPECT_EQ(f("txt", "CL_UPDATE_TYPE"), QStringLiteral("2"));
    EXPECT_EQ(f("vc_free", "CL_LENGTH2"), QString());
    EXPECT_EQ(f("vc40", "CL_LENGTH2"), QStringLiteral("40"));
    EXPECT_EQ(f("num_free", "CL_LENGTH2"), QString());
    EXPECT_EQ(f("num_free", "CL_TYPE"), QStringLiteral("Numeric"));
    EXPECT_EQ(f("num102", "CL_LENGTH2"), QStringLiteral("10,2"));
    EXPECT_EQ(f("raw", "CL_LENGTH"), QString());
    EXPECT_EQ(f("stamp_tz", "CL_DBTYPE"), QStringLiteral("timestamp with time zone"));
    EXPECT_EQ(f("stamp_tz", "CL_TYPE"), QStringLiteral("DBTimeStamp"));
    EXPECT_EQ(f("id", "CL_TYPE"), QStringLiteral("GUID"));
    EXPECT_EQ(f("span", "CL_DBTYPE"), QStringLiteral("interval"));
    EXPECT_EQ(f("docb", "CL_DBTYPE"), QStringLiteral("jsonb"));
    EXPECT_EQ(f("tags", "CL_DBKIND"), QStringLiteral("array"));
    EXPECT_EQ(f("scores", "CL_DBTYPE"), QStringLiteral("integer[]"));
    EXPECT_EQ(f("film_rating", "CL_DBKIND"), QStringLiteral("enum"));
    EXPECT_EQ(f("film_rating", "CL_DBBASE"), QStringLiteral("text"));
    EXPECT_EQ(f("film_rating", "CL_DEFAULT"), QStringLiteral("G"));
    EXPECT_EQ(f("release", "CL_DBKIND"), QStringLiteral("domain"));
    EXPECT_EQ(f("release", "CL_DBTYPE"), QStringLiteral("year"));
    EXPECT_EQ(f("release", "CL_DBBASE"), QStringLiteral("integer"));
    EXPECT_EQ(f("code", "CL_DBBASE"), QStringLiteral("character varying(12)"));
    EXPECT_EQ(f("flag", "CL_DBKIND"), QString());

    // Identity, serial and generated columns: recognisable and not offered for editing; a
    // generation expression is not a default.
    const TQXRowsPtr e = m_p.project.GetColumns("employee");
    EXPECT_EQ(Text(e, "id", "CL_IDENTITY"), QStringLiteral("1"));
    EXPECT_EQ(Text(e, "id", "CL_UPDATE_TYPE"), QStringLiteral("0"));
    EXPECT_EQ(Text(e, "full_name", "CL_GENERATED"), QStringLiteral("1"));
    EXPECT_TRUE(Text(e, "full_name", "CL_GENEXPR").contains(QStringLiteral("first_name")));
    EXPECT_EQ(Text(e, "full_name", "CL_DEFAULT"), QString());
    EXPECT_EQ(Text(e, "full_name", "CL_UPDATE_TYPE"), QStringLiteral("0"));
    EXPECT_EQ(Text(e, "first_name", "CL_UPDATE_TYPE"), QStringLiteral("1"));
    const TQXRowsPtr line = m_p.project.GetColumns("Order Line");
    EXPECT_EQ(Text(line, "Line Id", "CL_IDENTITY"), QStringLiteral("1"));
    EXPECT_TRUE(Text(line, "Line Id", "CL_DEFAULT").startsWith(QStringLiteral("nextval(")));
}

TEST_F(AwkwardPgTest, ForeignKeysPointAtTheRightTableAndCompositeKeysStayWhole)
{
    const TQXRowsPtr line = m_p.project.GetColumns("Order Line");
    EXPECT_EQ(Text(line, "order", "CL_FK"), QStringLiteral("public.orders.order_id"));
    EXPECT_EQ(Text(line, "region", "CL_FK"), QStringLiteral("sales.orders.region"));
    EXPECT_EQ(Text(line, "order_no", "CL_FK"), QStringLiteral("sales.orders.order_no"));
    EXPECT_EQ(Text(m_p.project.GetColumns("sales.orders"), "amount", "CL_DBTYPE"), QStringLiteral("numeric"));
    EXPECT_EQ(m_p.project.TABLES->Item("sales.orders")->Cols()->Text("TL_PK"), QStringLiteral("region"));

    QVNBuildCollector collector;
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    ASSERT_TRUE(collector.Collect(m_p.File(), {}, tables, variables, folder))
        << Lines(collector.Exceptions).toStdString();
    const TQXRowsPtr fks = tables->Item("Order Line")->Cols()->Item("FOREIGN_KEYS")->Value().rows();
    ASSERT_TRUE(fks);
    EXPECT_EQ(fks->Tag(), QStringLiteral("FOREIGN_KEYS"));
    ASSERT_EQ(fks->Count(), 2);
    EXPECT_EQ(Text(fks, "line_sales_fk", "FK_REF_TABLE"), QStringLiteral("sales.orders"));
    EXPECT_EQ(Text(fks, "line_sales_fk", "FK_REF_SCHEMA"), QStringLiteral("sales"));
    EXPECT_EQ(Text(fks, "line_sales_fk", "FK_REF_OBJECT"), QStringLiteral("orders"));
    EXPECT_EQ(Text(fks, "line_sales_fk", "FK_COLUMNS"), QStringLiteral("region, order_no"));
    EXPECT_EQ(Text(fks, "line_sales_fk", "FK_REF_COLUMNS"), QStringLiteral("region, order_no"));
    const TQXRowsPtr pairs = fks->Item("line_sales_fk")->Cols()->Item("FK_PAIRS")->Value().rows();
    ASSERT_EQ(pairs->Count(), 2);
    EXPECT_EQ(pairs->Item(2)->Cols()->Text("FP_COLUMN"), QStringLiteral("order_no"));
    // Self-referencing and cyclic keys.
    const TQXRowsPtr employee = tables->Item("employee")->Cols()->Item("FOREIGN_KEYS")->Value().rows();
    ASSERT_EQ(employee->Count(), 2);
    QStringList targets;
    for (const TQXRowPtr& fk : *employee)
        targets << fk->Cols()->Text("FK_REF_TABLE") + QLatin1Char(':') + fk->Cols()->Text("FK_COLUMNS");
    targets.sort();
    EXPECT_EQ(targets.join(','), QStringLiteral("department:department_id,employee:boss_id"));
    EXPECT_EQ(Text(tables->Item("department")->Cols()->Item("FOREIGN_KEYS")->Value().rows(), "department_head_id_fkey",
                   "FK_REF_TABLE"),
              QStringLiteral("employee"));
    // The partitioned parent with its key; no partition is collected.
    EXPECT_TRUE(tables->Exists("measurement"));
    EXPECT_FALSE(tables->Exists("measurement_2026"));
}

TEST_F(AwkwardPgTest, TheBulkReadGivesWhatEachTableGivesAlone)
{
    for (const char* script : {"awkward_pg.sql", "shop_pg.sql"}) {
        QString error;
        const QString cs = std::string(script) == "awkward_pg.sql" ? m_cs : Pg::CreateDatabase(Script(script), error);
        ASSERT_FALSE(cs.isEmpty()) << error.toStdString();
        BulkAndSingle both;
        ASSERT_TRUE(both.Open(cs, error)) << error.toStdString();
        auto& [single, bulk, db, one, keys] = both;
        db.PrepareCatalog(keys);
        EXPECT_TRUE(db.LastCatalogRead().oneQuery) << script;
        for (const QString& key : keys) {
            const std::string where = std::string(script) + ": " + key.toStdString();
            // Every catalog field, before the import's own read releases the table's bulk facts.
            EXPECT_EQ(Dump(db.GetColumns1(key)), Dump(one.GetColumns1(key))) << where;
            EXPECT_EQ(Dump(bulk.project.GetColumns(key)), Dump(single.project.GetColumns(key))) << where;
            EXPECT_EQ(Dump(db.GetPrimaryKeys(key)), Dump(one.GetPrimaryKeys(key))) << where;
            EXPECT_EQ(Dump(db.GetForeignKeyRows(key)), Dump(one.GetForeignKeyRows(key))) << where;
            // Asked again after the bulk read was used: the table alone, the same answer.
            EXPECT_EQ(Dump(db.GetColumns(key)), Dump(one.GetColumns(key))) << where;
        }
        db.ForgetCatalog();
    }
}

TEST_F(AwkwardPgTest, TheBulkReadTakesTheDriversViewFromAFewTablesOrReadsTheDriversCatalogWhenKindsAbound)
{
    // Kinds of column spread over tables (domains, a dropped and a commented column, defaults,
    // identity, views), names that as search patterns match other tables ("t_1" matches "t11",
    // listed before it), then enough differently sized columns that asking the driver about each
    // kind would cost more than reading its whole catalog. Both ways give what each table gives
    // alone, numbered from 1 in every table.
    QString script = QStringLiteral(
        "create domain money2 as numeric(12,2) not null; create domain tag as varchar(7);"
        "create table t11 (a integer, b text, c money2); create table t_1 (x integer primary key, gone text, "
        "y tag default 'new', z varchar(3)[] not null, w bigint generated by default as identity);"
        "alter table t_1 drop column gone; comment on column t_1.x is 'the key';"
        "create table \"T 2\" (id serial primary key, t11_a integer, at timestamp(3) not null default now(), "
        "flag boolean, twice integer generated always as (t11_a * 2) stored);"
        "create view v_1 as select x, y, z from t_1; create materialized view m_1 as select a, c from t11;");
    QString error;
    const QString few = Pg::CreateDatabase(script, error);
    ASSERT_FALSE(few.isEmpty()) << error.toStdString();
    for (int i = 1; i <= 40; ++i)
        script += QStringLiteral("create table sized_%1 (id integer primary key, label varchar(%1) not null);").arg(i);
    const QString many = Pg::CreateDatabase(script, error);
    ASSERT_FALSE(many.isEmpty()) << error.toStdString();
    for (const QString& cs : {few, many}) {
        BulkAndSingle both;
        ASSERT_TRUE(both.Open(cs, error)) << error.toStdString();
        auto& [single, bulk, db, one, keys] = both;
        ASSERT_EQ(keys.size(), cs == few ? 5 : 45);
        db.PrepareCatalog(keys);
        if (cs == few) {
            EXPECT_TRUE(db.LastCatalogRead().oneQuery);
            EXPECT_LE(db.LastCatalogRead().driverTables, 5); // each one listed holds a kind not seen before
        } else {
            EXPECT_FALSE(db.LastCatalogRead().oneQuery);
        }
        for (const QString& key : keys) {
            EXPECT_EQ(Dump(db.GetColumns1(key)), Dump(one.GetColumns1(key))) << key.toStdString();
            EXPECT_EQ(Dump(bulk.project.GetColumns(key)), Dump(single.project.GetColumns(key))) << key.toStdString();
        }
        const TQXRowsPtr t1 = one.GetColumns1(QStringLiteral("t_1"));
        QStringList numbers;
        for (const TQXRowPtr& row : *t1)
            numbers << row->Key() + QLatin1Char('=') + row->Cols()->Text(QStringLiteral("ORDINAL_POSITION"));
        EXPECT_EQ(numbers.join(QLatin1Char(',')), QStringLiteral("x=1,y=2,z=3,w=4"));
        EXPECT_EQ(Text(t1, "y", "TYPE_NAME"), QStringLiteral("tag"));
        EXPECT_EQ(Text(t1, "w", "IS_IDENTITY"), QStringLiteral("1"));
        db.ForgetCatalog();
    }
}

TEST_F(AwkwardPgTest, TheImportKeepsTheFirstOfNamesThatDifferInCaseAndAgreesWithTheFullColumnRows)
{
    // Quoted names may differ only in case; the keyed rows keep the first of them, in the full
    // catalog rows, the import's own rows and the project's columns alike, bulk or table by table.
    QString error;
    const QString cs = Pg::CreateDatabase(
        QStringLiteral("create table twins (\"Code\" integer default 7, code varchar(5), \"CODE\" text, "
                       "\"Note\" numeric(8,3) default 1.5, n2 text default 'it''s', label varchar(20) default ' x ', "
                       "flag boolean not null);"
                       "create table other (id serial primary key, twin integer);"),
        error);
    ASSERT_FALSE(cs.isEmpty()) << error.toStdString();
    AwkwardProject single, bulk;
    ASSERT_TRUE(single.Open(cs, error)) << error.toStdString();
    ASSERT_TRUE(bulk.Open(cs, error)) << error.toStdString();
    QVNDatabase& one = single.project.ProjectDatabase();
    one.AdoConnectString = single.project.ConnectionString();
    const TQXRowsPtr full = one.GetColumns1(QStringLiteral("twins"));
    const TQXRowsPtr imported = one.GetColumns(QStringLiteral("twins"));
    QStringList keys;
    for (const TQXRowPtr& row : *imported)
        keys << row->Key();
    EXPECT_EQ(keys.join(QLatin1Char(',')), QStringLiteral("Code,Note,n2,label,flag"));
    ASSERT_EQ(full->Count(), imported->Count());
    for (const TQXRowPtr& row : *imported) {
        for (const TQXColPtr& c : *row->Cols())
            EXPECT_EQ(c->Value().ToText(), Text(full, row->Key(), c->Key().toLatin1().constData()))
                << row->Key().toStdString() << " " << c->Key().toStdString();
    }
    EXPECT_EQ(Text(imported, QStringLiteral("Code"), "COLUMN_DEFAULT"), QStringLiteral("7"));
    EXPECT_EQ(Text(imported, QStringLiteral("n2"), "COLUMN_DEFAULT"), QStringLiteral("it's"));
    EXPECT_EQ(Text(imported, QStringLiteral("flag"), "IS_NULLABLE"), QStringLiteral("False"));
    EXPECT_EQ(Text(imported, QStringLiteral("Note"), "NUMERIC_PRECISION") + QLatin1Char(',') +
                  Text(imported, QStringLiteral("Note"), "NUMERIC_SCALE"),
              QStringLiteral("8,3"));

    QVNDatabase& db = bulk.project.ProjectDatabase();
    db.AdoConnectString = bulk.project.ConnectionString();
    db.PrepareCatalog({QStringLiteral("twins"), QStringLiteral("other")});
    const TQXRowsPtr columns = bulk.project.GetColumns(QStringLiteral("twins"));
    EXPECT_EQ(Dump(columns), Dump(single.project.GetColumns(QStringLiteral("twins"))));
    // The literal keeps its spaces in the catalog rows; the column import trims them.
    EXPECT_EQ(Text(imported, QStringLiteral("label"), "COLUMN_DEFAULT"), QStringLiteral(" x "));
    EXPECT_EQ(Text(columns, QStringLiteral("label"), "CL_DEFAULT"), QStringLiteral("x"));
    EXPECT_EQ(Text(columns, QStringLiteral("Note"), "CL_LENGTH2"), QStringLiteral("8,3"));
    EXPECT_EQ(Dump(bulk.project.GetColumns(QStringLiteral("other"))),
              Dump(single.project.GetColumns(QStringLiteral("other"))));
    db.ForgetCatalog();
}

TEST_F(AwkwardPgTest, AProjectSavedBeforeKeepsItsAnnotationsOnTheFirstOfTwoSameNamedTables)
{
    // A file written before same-named tables were told apart knows the first one as "orders".
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"),
                 {m_p.File(), QStringLiteral("update tb_Table set TL_NAME = 'orders', TL_CNAME = 'Web orders' where "
                                             "TL_NAME = 'public.orders'; delete from tb_Table where TL_NAME = "
                                             "'sales.orders';")});
    ASSERT_TRUE(sqlite.waitForFinished(30000));
    ASSERT_EQ(sqlite.exitCode(), 0) << sqlite.readAllStandardError().toStdString();
    QVNProject again;
    again.SetProjectFile(m_p.File());
    ASSERT_TRUE(again.GetProjectInfo());
    ASSERT_TRUE(again.GetTables()) << Lines(again.Exceptions).toStdString();
    EXPECT_EQ(Text(again.TABLES, "public.orders", "TL_CNAME"), QStringLiteral("Web orders"));
    EXPECT_EQ(Text(again.TABLES, "sales.orders", "TL_CNAME"), QString());
    // A name only one schema holds is keyed bare, as before.
    EXPECT_TRUE(again.TABLES->Exists("kinds"));
}

TEST(AwkwardSqliteTest, ColumnsAndKeysAgreeWithTheTablePragmas)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("awkward.db"));
    ASSERT_EQ(CreateSqliteFile(path, Script("awkward_sqlite.sql")), QString());
    AwkwardProject p;
    QString error;
    ASSERT_TRUE(p.Open(SqliteConnection(path), error)) << error.toStdString();
    QVNDatabase raw;
    raw.AdoConnectString = SqliteConnection(path);
    for (const char* table : {"orders", "Order Line", "region_order", "shipment", "employee", "department"}) {
        const QString name = QString::fromLatin1(table);
        const TQXRowsPtr columns = p.project.GetColumns(name);
        const TQXRowsPtr info = raw.GetDatasFromSql(
            QStringLiteral("select name, type, pk, hidden from pragma_table_xinfo('%1')").arg(name));
        ASSERT_EQ(columns->Count(), info->Count()) << table;
        for (int i = 1; i <= info->Count(); ++i) {
            const TQXColsPtr e = info->Item(i)->Cols();
            const TQXColsPtr c = columns->Item(i)->Cols();
            EXPECT_EQ(c->Text("CL_NAME"), e->Text("name")) << table;
            EXPECT_EQ(c->Text("CL_DBTYPE"), e->Text("type")) << table;
            EXPECT_EQ(c->Text("CL_PK"), e->Text("pk") == QLatin1String("0") ? "0" : "1") << table;
            EXPECT_EQ(c->Text("CL_GENERATED"), e->Text("hidden").toInt() >= 2 ? "1" : "0") << table;
        }
        const TQXRowsPtr fks = raw.GetDatasFromSql(
            QStringLiteral("select \"from\", \"table\", \"to\" from pragma_foreign_key_list('%1')").arg(name));
        for (const TQXRowPtr& fk : *fks) {
            const QString column = fk->Cols()->Text("from");
            EXPECT_EQ(Text(columns, column, "CL_FK"),
                      fk->Cols()->Text("table") + QLatin1Char('.') + fk->Cols()->Text("to"))
                << table;
        }
    }
    const TQXRowsPtr employee = p.project.GetColumns("employee");
    EXPECT_EQ(Text(employee, "id", "CL_IDENTITY"), QStringLiteral("1")); // the rowid alias
    EXPECT_EQ(Text(employee, "id", "CL_UPDATE_TYPE"), QStringLiteral("0"));
    EXPECT_EQ(Text(employee, "full_name", "CL_GENEXPR"), QStringLiteral("first_name || ' ' || last_name"));
    EXPECT_EQ(Text(employee, "initials", "CL_GENEXPR"),
              QStringLiteral("substr(first_name, 1, 1) || substr(last_name, 1, 1)"));
    EXPECT_EQ(Text(employee, "first_name", "CL_GENEXPR"), QString());
    // Without a declared type a generated column comes in as a plain one does, not as binary.
    EXPECT_EQ(Text(employee, "badge", "CL_TYPE"), Text(employee, "nickname", "CL_TYPE"));
    EXPECT_EQ(Text(employee, "badge", "CL_TYPE2"), QStringLiteral("string"));
    EXPECT_EQ(Text(p.project.GetColumns("Order Line"), "Line Id", "CL_IDENTITY"), QStringLiteral("1"));
    EXPECT_EQ(Text(p.project.GetColumns("Order Line"), "zip code", "CL_DBTYPE"), QStringLiteral("VARCHAR(10)"));
    EXPECT_EQ(Text(p.project.GetColumns("region_order"), "region", "CL_IDENTITY"), QStringLiteral("0"));
    EXPECT_EQ(Text(p.project.GetColumns("region_order"), "note", "CL_DBTYPE"), QString());
    EXPECT_EQ(Text(p.project.GetColumns("shipment"), "id", "CL_IDENTITY"), QStringLiteral("0")); // bigint: no alias

    QVNBuildCollector collector;
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    ASSERT_TRUE(collector.Collect(p.File(), {}, tables, variables, folder))
        << Lines(collector.Exceptions).toStdString();
    const TQXRowsPtr shipment = tables->Item("shipment")->Cols()->Item("FOREIGN_KEYS")->Value().rows();
    ASSERT_EQ(shipment->Count(), 1);
    const TQXColsPtr fk = shipment->Item(1)->Cols();
    EXPECT_EQ(fk->Text("FK_REF_TABLE"), QStringLiteral("region_order"));
    EXPECT_EQ(fk->Text("FK_COLUMNS"), QStringLiteral("region, order_no"));
    EXPECT_EQ(fk->Text("FK_REF_COLUMNS"), QStringLiteral("region, order_no"));
    EXPECT_FALSE(fk->Text("FK_NAME").isEmpty());
}

namespace {
QStringList Names(const TQXRowsPtr& rows, const char* field)
{
    QStringList names;
    for (const TQXRowPtr& r : *rows)
        names << r->Cols()->Text(QString::fromLatin1(field));
    return names;
}

TQXRowsPtr Rows(const TQXRowsPtr& tables, const char* table, const char* set)
{
    const TQXRowPtr row = tables->Item(QString::fromLatin1(table));
    const TQXColPtr c = row ? row->Cols()->Item(QString::fromLatin1(set)) : nullptr;
    return c && c->Value().rows() ? c->Value().rows() : TQXRows::Create();
}

/// Keys, indexes, checks and defaults of the shared shapes (account, membership, event_log) as a
/// build collects them, against the database's own catalog (`indexNames`: its list for account);
/// then the key a user chooses for the keyless table and an empty default through the project file.
void CheckKeysAndConstraints(AwkwardProject& p, const QStringList& indexNames, const QString& partialCondition,
                             bool checksRead)
{
    const QStringList chosen{QStringLiteral("account"), QStringLiteral("membership"), QStringLiteral("event_log")};
    QVNBuildCollector collector;
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    ASSERT_TRUE(collector.Collect(p.File(), chosen, tables, variables, folder))
        << Lines(collector.Exceptions).toStdString();

    // The composite key in its own order, not the columns'; a keyless table gets no invented key.
    EXPECT_EQ(Names(Rows(tables, "membership", "PK_COLUMNS"), "CL_NAME").join(','),
              QStringLiteral("grp,account_email"));
    EXPECT_EQ(Names(Rows(tables, "membership", "KEY_COLUMNS"), "CL_NAME").join(','),
              QStringLiteral("grp,account_email"));
    EXPECT_EQ(Text(tables, "membership", "TL_KEYSOURCE"), QStringLiteral("database"));
    EXPECT_EQ(Rows(tables, "event_log", "PK_COLUMNS")->Count(), 0);
    EXPECT_EQ(Rows(tables, "event_log", "KEY_COLUMNS")->Count(), 0);
    EXPECT_EQ(Text(tables, "event_log", "TL_KEYSOURCE"), QString());
    EXPECT_EQ(Text(tables, "event_log", "TL_PK"), QString());
    EXPECT_FALSE(Names(Rows(tables, "event_log", "COLUMNS"), "CL_PKMARK").contains(QStringLiteral("1")));

    // An empty-string default is the literal '', no default stays empty.
    const TQXRowsPtr account = Rows(tables, "account", "COLUMNS");
    EXPECT_EQ(Text(account, "nick", "CL_DEFAULT"), QStringLiteral("''"));
    EXPECT_EQ(Text(account, "note", "CL_DEFAULT"), QString());
    EXPECT_EQ(Text(Rows(tables, "event_log", "COLUMNS"), "message", "CL_DEFAULT"), QStringLiteral("''"));
    EXPECT_EQ(Text(Rows(tables, "event_log", "COLUMNS"), "level", "CL_DEFAULT"), QString());

    // Every index the catalog lists but the primary key's, with its parts in order.
    const TQXRowsPtr indexes = Rows(tables, "account", "INDEXES");
    QStringList got = Names(indexes, "IX_NAME");
    got.sort();
    EXPECT_EQ(got, indexNames);
    // SQLite names the index of a UNIQUE clause itself.
    const QString uniqueEmail = indexNames.contains(QStringLiteral("account_email_uq"))
                                    ? QStringLiteral("account_email_uq")
                                    : QStringLiteral("sqlite_autoindex_account_1");
    EXPECT_EQ(Text(indexes, uniqueEmail, "IX_KIND"), QStringLiteral("unique"));
    EXPECT_EQ(Text(indexes, uniqueEmail, "IX_COLUMNS"), QStringLiteral("email"));
    EXPECT_EQ(Text(indexes, "account_tenant_lower_email", "IX_KIND"), QStringLiteral("index"));
    EXPECT_EQ(Text(indexes, "account_tenant_lower_email", "IX_UNIQUE"), QStringLiteral("1"));
    EXPECT_EQ(Text(indexes, "account_tenant_lower_email", "IX_EXPRESSION"), QStringLiteral("1"));
    EXPECT_EQ(Text(indexes, "account_tenant_lower_email", "IX_COLUMNS"), QStringLiteral("tenant, lower(email)"));
    EXPECT_EQ(Text(indexes, "account_active_tenant", "IX_UNIQUE"), QStringLiteral("0"));
    EXPECT_EQ(Text(indexes, "account_active_tenant", "IX_WHERE"), partialCondition);
    ASSERT_TRUE(indexes->Exists(QStringLiteral("account_active_tenant")));
    const TQXRowsPtr parts =
        indexes->Item(QStringLiteral("account_active_tenant"))->Cols()->Item("IX_PARTS")->Value().rows();
    ASSERT_EQ(parts->Count(), 1);
    EXPECT_EQ(parts->Item(1)->Cols()->Text("IP_DESC"), QStringLiteral("1"));
    EXPECT_EQ(Rows(tables, "membership", "INDEXES")->Count(), 0);
    if (checksRead) {
        const TQXRowsPtr checks = Rows(tables, "account", "CHECKS");
        EXPECT_EQ(Names(checks, "CK_NAME").join(','), QStringLiteral("account_tenant_check"));
        EXPECT_EQ(Text(checks, "account_tenant_check", "CK_EXPRESSION"), QStringLiteral("tenant > 0"));
    }

    // The user chooses a key for the keyless table; the annotations with the empty default are
    // saved to the project file and read back from it.
    p.project.TABLES->Item(QStringLiteral("event_log"))->Cols()->Item("TL_PK")->SetValue(QStringLiteral("message"));
    for (const QString& name : chosen)
        p.project.TABLES->Item(name)->Cols()->Item("COLUMNS")->SetValue(p.project.GetColumns(name));
    ASSERT_TRUE(p.project.SaveProject(QStringLiteral("1"), QStringLiteral("awkward"), p.project.P_DATABASE, QString(),
                                      QString(), QString(), p.project.TABLES))
        << Lines(p.project.Exceptions).toStdString();
    QVNDatabase file;
    file.AdoConnectString = SqliteConnection(p.File());
    const TQXRowsPtr saved = file.GetDatasFromSql(
        QStringLiteral("select quote(CL_DEFAULT) as d from tb_Column where CL_TL_NAME = 'account' and CL_NAME in "
                       "('nick', 'note') order by CL_NAME"));
    EXPECT_EQ(Names(saved, "d").join('|'), QStringLiteral("''''''|''"));
    file.DisConnectFromServer();
    ASSERT_TRUE(collector.Collect(p.File(), chosen, tables, variables, folder))
        << Lines(collector.Exceptions).toStdString();
    EXPECT_EQ(Names(Rows(tables, "event_log", "KEY_COLUMNS"), "CL_NAME").join(','), QStringLiteral("message"));
    EXPECT_EQ(Text(tables, "event_log", "TL_KEYSOURCE"), QStringLiteral("project"));
    EXPECT_EQ(Text(Rows(tables, "account", "COLUMNS"), "nick", "CL_DEFAULT"), QStringLiteral("''"));
}
} // namespace

TEST_F(AwkwardPgTest, KeysIndexesChecksAndEmptyDefaultsAgreeWithTheCatalog)
{
    const TQXRowsPtr listed = Catalog(QStringLiteral(
        "select indexname from pg_indexes where tablename = 'account' and indexname <> 'account_pkey' order by 1"));
    QStringList names = Names(listed, "indexname");
    names.sort();
    ASSERT_EQ(names.size(), 3);
    CheckKeysAndConstraints(m_p, names, QStringLiteral("active"), true);
}

TEST(AwkwardSqliteTest, KeysIndexesAndEmptyDefaultsAgreeWithTheIndexPragmas)
{
    TempDir dir;
    const QString path = dir.file(QStringLiteral("awkward.db"));
    ASSERT_EQ(CreateSqliteFile(path, Script("awkward_sqlite.sql")), QString());
    AwkwardProject p;
    QString error;
    ASSERT_TRUE(p.Open(SqliteConnection(path), error)) << error.toStdString();
    QVNDatabase raw;
    raw.AdoConnectString = SqliteConnection(path);
    QStringList names =
        Names(raw.GetDatasFromSql(QStringLiteral("select name from pragma_index_list('account') where origin <> 'pk'")),
              "name");
    names.sort();
    raw.DisConnectFromServer();
    ASSERT_EQ(names.size(), 3);
    CheckKeysAndConstraints(p, names, QStringLiteral("tenant > 1"), false);
}

TEST(AwkwardPgExtensionTest, AnExtensionsTypeIsOtherWithItsOwnNameAndItsTablesAreLeftOutUnlessNamed)
{
    QString error;
    const QString cs =
        Pg::CreateDatabase(QStringLiteral("create extension postgis;\n"
                                          "create table places (id integer primary key, label name, addr inet, "
                                          "area geometry(Polygon,4326), spots geometry[]);\n"),
                           error);
    ASSERT_FALSE(cs.isEmpty()) << error.toStdString();
    AwkwardProject p;
    ASSERT_TRUE(p.Open(cs, error)) << error.toStdString();
    EXPECT_EQ(Text(p.project.TABLES, "spatial_ref_sys", "TL_EXTENSION"), QStringLiteral("postgis"));
    EXPECT_EQ(Text(p.project.TABLES, "places", "TL_EXTENSION"), QString());

    const TQXRowsPtr c = p.project.GetColumns("places");
    EXPECT_EQ(Text(c, "area", "CL_DBTYPE"), QStringLiteral("geometry(Polygon,4326)"));
    EXPECT_EQ(Text(c, "area", "CL_TYPE2"), QStringLiteral("other"));
    EXPECT_EQ(Text(c, "area", "CL_DBKIND"), QStringLiteral("other"));
    EXPECT_EQ(Text(c, "area", "CL_EXTENSION"), QStringLiteral("postgis"));
    EXPECT_EQ(Text(c, "spots", "CL_DBKIND"), QStringLiteral("array"));
    EXPECT_EQ(Text(c, "spots", "CL_EXTENSION"), QStringLiteral("postgis"));
    // No made-up sizes: not for the extension's type, an address or an identifier.
    for (const char* column : {"area", "addr", "label"}) {
        EXPECT_EQ(Text(c, QString::fromLatin1(column), "CL_LENGTH"), QString()) << column;
        EXPECT_EQ(Text(c, QString::fromLatin1(column), "CL_LENGTH2"), QString()) << column;
    }
    EXPECT_EQ(Text(c, "addr", "CL_TYPE2"), QStringLiteral("string"));

    // Every table and view: the extension's own are left out; named, they are collected.
    QVNBuildCollector collector;
    collector.IncludeViews = true;
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString folder;
    ASSERT_TRUE(collector.Collect(p.File(), {}, tables, variables, folder))
        << Lines(collector.Exceptions).toStdString();
    QStringList names;
    for (const TQXRowPtr& row : *tables)
        names << row->Key();
    EXPECT_EQ(names.join(','), QStringLiteral("places"));
    ASSERT_TRUE(collector.Collect(p.File(), {QStringLiteral("spatial_ref_sys")}, tables, variables, folder));
    EXPECT_EQ(tables->Count(), 1);
}

// The shipped models over awkward real-world shapes (reserved words, spaces, quotes and mixed case
// in names, two schemas with a table of the same name, composite, self-referencing and cyclic
// foreign keys, identity and generated columns, every kind of type and default), each output
// checked by its real consumer: the SQL script loaded twice into a fresh SQLite and PostgreSQL
// database, the Python package imported and run against the database that script made, the HTML
// parsed. The table sets come from tests/data/model/awkward_tables.py, shaped as the import and
// the build collection deliver them. Suites named RealSchemaPg need the PostgreSQL fixture,
// RealSchemaMaria the MariaDB one.
#include "MariaDbServer.h"
#include "ModelTestSupport.h"
#include "QVNGenerateRun.h"
#include "QVNJsonData.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <functional>

using namespace modeltest;

namespace {

QString ModelPackage(const QString& name)
{
    return QStringLiteral(QUORVIN_APP_DIR) + QStringLiteral("/models/") + name + QStringLiteral(".qvnm");
}

/// The awkward table set of one source ("pg" or "sqlite"), read as the build reads it.
TQXRowsPtr AwkwardTables(const TempDir& dir, const QString& source)
{
    const QString json = dir.file(QStringLiteral("awkward_") + source + QStringLiteral(".json"));
    QString output;
    if (RunProgram(QStringLiteral("python3"),
                   {testDataDir() + QStringLiteral("/model/awkward_tables.py"), source, json}, &output) != 0) {
        ADD_FAILURE() << output.toStdString();
        return nullptr;
    }
    TQXValue value;
    QString error;
    if (!QVNJsonData::ReadFile(json, value, error) || !value.rows()) {
        ADD_FAILURE() << error.toStdString();
        return nullptr;
    }
    return value.rows();
}

/// Generates `model` over the table set into `out`; the files written, relative to `out`.
QStringList Generate(const QString& model, const TQXRowsPtr& tables, const QString& out, const QStringList& vars = {})
{
    auto copy = TQXRows::Create();
    copy->SetTag(tables->Tag());
    copy->Copy(tables);
    EXPECT_EQ(RunGenerate(ModelPackage(model), out, copy, {}, vars), 0) << model.toStdString();
    const QStringList files = ListFiles(out);
    for (const QString& rel : files)
        EXPECT_FALSE(ReadText(out + rel).contains(QStringLiteral("<ORVE"))) << rel.toStdString() << " holds a tag";
    return files;
}

QString Sqlite(const QString& db, const QString& sql)
{
    QString output;
    EXPECT_EQ(RunProgram(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), db, sql}, &output), 0)
        << output.toStdString();
    return output.trimmed();
}

/// The throw-away PostgreSQL server of the test fixture.
struct PgServer
{
    QString socket, port, user;

    static PgServer FromFixture()
    {
        PgServer pg;
        QFile f(QStringLiteral(QUORVIN_PG_ENV_FILE));
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : f.readAll().split('\n')) {
                const QString l = QString::fromUtf8(line).trimmed();
                if (l.startsWith(QStringLiteral("PG_SOCKET_DIR=")))
                    pg.socket = l.section(QLatin1Char('='), 1);
                else if (l.startsWith(QStringLiteral("PG_PORT=")))
                    pg.port = l.section(QLatin1Char('='), 1);
                else if (l.startsWith(QStringLiteral("PG_USER=")))
                    pg.user = l.section(QLatin1Char('='), 1);
            }
        }
        return pg;
    }
    bool Usable() const { return !socket.isEmpty() && !port.isEmpty(); }
    QString Dsn(const QString& db) const
    {
        return QStringLiteral("host=%1 port=%2 user=%3 dbname=%4").arg(socket, port, user, db);
    }
    /// Runs psql; stops at the first error. Its exit code; output and errors go to `output`.
    int Psql(const QString& db, const QStringList& args, QString* output) const
    {
        return RunProgram(QStringLiteral("psql"),
                          QStringList{QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"),
                                      QStringLiteral("-t"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                                      QStringLiteral("-d"), Dsn(db)} +
                              args,
                          output);
    }
    QString Query(const QString& db, const QString& sql) const
    {
        QString output;
        EXPECT_EQ(Psql(db, {QStringLiteral("-c"), sql}, &output), 0) << output.toStdString();
        return output.trimmed();
    }
    /// A new, empty database (dropped first when an earlier run left it behind).
    void FreshDatabase(const QString& db) const
    {
        Query(QStringLiteral("postgres"), QStringLiteral("DROP DATABASE IF EXISTS ") + db);
        Query(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + db);
    }
};

int TableCount(const TQXRowsPtr& tables)
{
    int n = 0;
    for (const TQXRowPtr& row : *tables)
        n += row->Cols()->Item(QStringLiteral("TABLE_TYPE"))->Value().ToText() == QStringLiteral("TABLE") &&
             row->Cols()->Text(QStringLiteral("TL_EXTENSION")).isEmpty();
    return n;
}

const QStringList kSources = {QStringLiteral("pg"), QStringLiteral("sqlite")};

/// A Python interpreter that has the module (the one on PATH, else the system's, where Debian's
/// python3-psycopg2 and python3-pymysql go); empty when there is none.
QString PythonWith(const QString& module)
{
    for (const QString& python : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")}) {
        if (RunProgram(python, {QStringLiteral("-c"), QStringLiteral("import ") + module}) == 0)
            return python;
    }
    return {};
}

QString PythonWithPsycopg()
{
    return PythonWith(QStringLiteral("psycopg2"));
}

/// Runs SQL in a database of the MariaDB fixture; its tab-separated rows, trimmed.
QString MariaQuery(const QString& db, const QString& sql)
{
    QString output;
    const QString error = Maria::RunSql(db, sql, &output);
    EXPECT_EQ(error, QString()) << sql.toStdString();
    return output.trimmed();
}

/// Runs quorvin-cli with private settings and data folders below `dir`; its exit code.
int Cli(const TempDir& dir, const QStringList& args, QString* output)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(QUORVIN_APP_DIR) + QStringLiteral("/quorvin-cli"), args);
    const bool done = p.waitForFinished(180000);
    *output = QString::fromUtf8(p.readAll());
    return done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

/// The end-to-end road: a project on `connection`, each shipped model generated from it over
/// `tables` (views included; the SQL script for each of `targets`), and the outputs handed to their
/// consumers. False when the import does not deliver what the models need (a table missing from
/// the project, or outputs that still hold tags); the test then skips.
bool GenerateFromProject(const TempDir& dir, const QString& connection, const QStringList& tables,
                         const QStringList& targets, QMap<QString, QString>& outputs)
{
    const QString project = dir.file(QStringLiteral("e2e.qvn"));
    QString output;
    EXPECT_EQ(
        Cli(dir,
            {QStringLiteral("project"), QStringLiteral("new"), project, QStringLiteral("--connection"), connection},
            &output),
        0)
        << output.toStdString();
    // An import that cannot key same-named tables by their schema does not list them all.
    EXPECT_EQ(Cli(dir, {QStringLiteral("tables"), project, QStringLiteral("--json")}, &output), 0)
        << output.toStdString();
    for (const QString& table : tables) {
        if (!output.contains(QLatin1Char('"') + table + QLatin1Char('"')))
            return false;
    }
    QStringList runs = {QStringLiteral("python"), QStringLiteral("datadict")};
    for (const QString& target : targets)
        runs << QStringLiteral("sqlddl:") + target;
    bool complete = true;
    for (const QString& run : runs) {
        const QString model = run.section(QLatin1Char(':'), 0, 0);
        const QString out = dir.file(QStringLiteral("e2e-") + QString(run).replace(QLatin1Char(':'), QLatin1Char('-')) +
                                     QLatin1Char('/'));
        QStringList args{QStringLiteral("generate"), QStringLiteral("--project"), project, QStringLiteral("--model"),
                         ModelPackage(model)};
        args << QStringLiteral("--out") << out << QStringLiteral("--tables") << tables.join(QLatin1Char(','));
        if (model == QStringLiteral("sqlddl"))
            args << QStringLiteral("--var") << QStringLiteral("MV_TARGET=") + run.section(QLatin1Char(':'), 1);
        if (model == QStringLiteral("python"))
            args << QStringLiteral("--var") << QStringLiteral("MV_PACKAGE=e2e");
        EXPECT_EQ(Cli(dir, args, &output), 0) << output.toStdString();
        for (const QString& rel : ListFiles(out))
            complete = complete && !ReadText(out + rel).contains(QStringLiteral("<ORVE"));
        outputs.insert(run, out);
    }
    return complete;
}

/// The HTML check over the dictionary, asking for every table name the database lists.
void CheckDictionary(const QString& out, const QStringList& names)
{
    QStringList args{testDataDir() + QStringLiteral("/model/check_html.py")};
    for (const QString& name : names)
        args << QStringLiteral("--text") << name;
    args << out + QStringLiteral("dictionary.html");
    QString output;
    EXPECT_EQ(RunProgram(QStringLiteral("python3"), args, &output), 0) << output.toStdString();
}

/// Loads the SQLite script twice into a fresh file and runs the Python package against it.
void CheckOnSqlite(const TempDir& dir, const QMap<QString, QString>& outputs, int tables)
{
    const QString db = dir.file(QStringLiteral("e2e-copy.db"));
    const QString script = outputs.value(QStringLiteral("sqlddl:SQLite")) + QStringLiteral("create_tables.sql");
    Sqlite(db, QStringLiteral(".read ") + script);
    Sqlite(db, QStringLiteral(".read ") + script);
    EXPECT_EQ(Sqlite(db, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                                        "'sqlite%'")),
              QString::number(tables));
    QString output;
    EXPECT_EQ(RunProgram(QStringLiteral("python3"),
                         {testDataDir() + QStringLiteral("/model/smoke_awkward.py"),
                          outputs.value(QStringLiteral("python")), QStringLiteral("e2e"), QStringLiteral("sqlite"), db},
                         &output),
              0)
        << output.toStdString();
}

} // namespace

TEST(InteropRealSchema, TheSqlScriptLoadsTwiceIntoAFreshSqliteDatabaseAndKeepsEveryColumn)
{
    TempDir dir;
    UseAppFolder(dir);
    for (const QString& source : kSources) {
        SCOPED_TRACE(source.toStdString());
        const TQXRowsPtr tables = AwkwardTables(dir, source);
        ASSERT_TRUE(tables);
        const QString out = dir.file(QStringLiteral("sql-") + source + QLatin1Char('/'));
        Generate(QStringLiteral("sqlddl"), tables, out, {QStringLiteral("MV_TARGET=SQLite")});
        const QString script = out + QStringLiteral("create_tables.sql");
        const QString db = dir.file(QStringLiteral("fresh-") + source + QStringLiteral(".db"));
        // The second run drops what the first one made.
        Sqlite(db, QStringLiteral(".read ") + script);
        Sqlite(db, QStringLiteral(".read ") + script);
        EXPECT_EQ(Sqlite(db, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'")),
                  QString::number(TableCount(tables)));
        EXPECT_EQ(Sqlite(db, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE sql LIKE '%nextval%'")),
                  QStringLiteral("0"));
        // Every column keeps its real name (a space, a quote, a reserved word, mixed case).
        for (const TQXRowPtr& row : *tables) {
            const TQXColsPtr t = row->Cols();
            if (t->Item(QStringLiteral("TABLE_TYPE"))->Value().ToText() != QStringLiteral("TABLE") ||
                !t->Text(QStringLiteral("TL_EXTENSION")).isEmpty())
                continue;
            const QString name = t->Item(QStringLiteral("TL_NAME"))->Value().ToText();
            QStringList expected;
            for (const TQXRowPtr& c : *t->Item(QStringLiteral("COLUMNS"))->Value().rows())
                expected << c->Cols()->Item(QStringLiteral("CL_NAME"))->Value().ToText();
            QString quoted = name;
            quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
            const QString got =
                Sqlite(db, QStringLiteral("SELECT group_concat(name, '|') FROM pragma_table_xinfo('%1')").arg(quoted));
            EXPECT_EQ(got, expected.join(QLatin1Char('|'))) << name.toStdString();
        }
    }
    // A composite foreign key is one constraint; literal defaults keep their text, casts dropped.
    const QString pgdb = dir.file(QStringLiteral("fresh-pg.db"));
    EXPECT_EQ(Sqlite(pgdb, QStringLiteral("SELECT count(DISTINCT id) || '/' || count(*) FROM "
                                          "pragma_foreign_key_list('shipment lines')")),
              QStringLiteral("1/2"));
    EXPECT_EQ(Sqlite(pgdb, QStringLiteral("SELECT dflt_value FROM pragma_table_info('public.orders') WHERE name IN "
                                          "('note', 'created', 'day', 'flag', 'price') ORDER BY cid")),
              QStringLiteral("CURRENT_TIMESTAMP\nCURRENT_DATE\n'R&D <main>'\n0\nTRUE"));
    // Types SQLite has no use for become text; zones and precisions stay readable.
    EXPECT_EQ(Sqlite(pgdb, QStringLiteral("SELECT group_concat(type, ',') FROM pragma_table_info('sales.orders')")),
              QStringLiteral("INTEGER,TEXT,TEXT,TEXT,TEXT,TEXT,BLOB,TEXT,TIMESTAMP WITH TIME ZONE,TIMESTAMP,TIME,"
                             "smallint,REAL,REAL,character(3),character varying,TEXT,REAL"));
    const QString litedb = dir.file(QStringLiteral("fresh-sqlite.db"));
    EXPECT_EQ(Sqlite(litedb, QStringLiteral("INSERT INTO \"group\" DEFAULT VALUES; SELECT \"Order\", typeof(created), "
                                            "flag, total FROM \"group\"")),
              QStringLiteral("R&D <main>|text|1|0"));
    // Keys, constraints and indexes, from either source: the composite key in key order, the
    // unique constraint a foreign key points at (a delete through that key is checked, not refused
    // as a mismatch), indexes with their expression, order and condition, the check SQLite can
    // take (the one with casts is left out), and an empty-string default kept.
    for (const QString& db : {pgdb, litedb}) {
        SCOPED_TRACE(db.toStdString());
        EXPECT_EQ(Sqlite(db, QStringLiteral("SELECT group_concat(name, ',') FROM (SELECT name FROM "
                                            "pragma_table_info('membership') WHERE pk > 0 ORDER BY pk)")),
                  QStringLiteral("grp,account_email"));
        EXPECT_EQ(
            Sqlite(db, QStringLiteral("SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master WHERE "
                                      "type = 'index' AND tbl_name = 'account' AND sql IS NOT NULL ORDER BY name)")),
            QStringLiteral("CREATE INDEX account_active_tenant ON \"account\" (tenant DESC) WHERE ") +
                (db == pgdb ? QStringLiteral("active") : QStringLiteral("tenant > 1")) +
                QStringLiteral(";CREATE UNIQUE INDEX account_tenant_lower_email ON \"account\" (tenant, "
                               "(lower(email)))"));
        EXPECT_EQ(
            Sqlite(db, QStringLiteral("PRAGMA foreign_keys = ON; INSERT INTO account (email, tenant) VALUES "
                                      "('a@x', 2); INSERT INTO membership (account_email, grp) VALUES ('a@x', 1); "
                                      "INSERT INTO event_log DEFAULT VALUES; SELECT count(*) FROM membership "
                                      "WHERE role = ''; DELETE FROM membership; DELETE FROM account; SELECT "
                                      "quote(message) FROM event_log")),
            QStringLiteral("1\n''"));
    }
    QString refused;
    EXPECT_NE(RunProgram(QStringLiteral("sqlite3"),
                         {QStringLiteral("-bail"), pgdb,
                          QStringLiteral("INSERT INTO account (email, tenant) VALUES ('b', 0)")},
                         &refused),
              0);
    EXPECT_TRUE(refused.contains(QStringLiteral("account_tenant_check"))) << refused.toStdString();
    EXPECT_TRUE(ReadText(dir.file(QStringLiteral("sql-pg/create_tables.sql")))
                    .contains(QStringLiteral("-- the check account_nick_check is left out")));
    EXPECT_TRUE(ReadText(dir.file(QStringLiteral("sql-pg/create_tables.sql")))
                    .contains(QStringLiteral("-- the index orders_doc_search is left out")));
}

TEST(InteropRealSchema, ThePythonPackageRunsAgainstTheSqliteDatabaseOfTheSqlScript)
{
    TempDir dir;
    UseAppFolder(dir);
    for (const QString& source : kSources) {
        SCOPED_TRACE(source.toStdString());
        const TQXRowsPtr tables = AwkwardTables(dir, source);
        ASSERT_TRUE(tables);
        const QString sql = dir.file(QStringLiteral("sql-") + source + QLatin1Char('/'));
        Generate(QStringLiteral("sqlddl"), tables, sql, {QStringLiteral("MV_TARGET=SQLite")});
        const QString db = dir.file(QStringLiteral("py-") + source + QStringLiteral(".db"));
        Sqlite(db, QStringLiteral(".read ") + sql + QStringLiteral("create_tables.sql"));

        const QString out = dir.file(QStringLiteral("py-") + source + QLatin1Char('/'));
        const QStringList files =
            Generate(QStringLiteral("python"), tables, out, {QStringLiteral("MV_PACKAGE=awkward")});
        int modules = 0;
        for (const QString& rel : files) {
            QString output;
            if (rel.endsWith(QStringLiteral(".py"))) {
                ++modules;
                EXPECT_EQ(RunProgram(QStringLiteral("python3"),
                                     {QStringLiteral("-m"), QStringLiteral("py_compile"), out + rel}, &output),
                          0)
                    << output.toStdString();
            }
        }
        EXPECT_EQ(modules, tables->Count() + 2); // one per table, __init__ and base
        QString output;
        EXPECT_EQ(RunProgram(QStringLiteral("python3"),
                             {testDataDir() + QStringLiteral("/model/smoke_awkward.py"), out, QStringLiteral("awkward"),
                              QStringLiteral("sqlite"), db},
                             &output),
                  0)
            << output.toStdString();
    }
}

TEST(InteropRealSchema, TheDataDictionaryIsValidHtmlWithEveryTextEscaped)
{
    TempDir dir;
    UseAppFolder(dir);
    for (const QString& source : kSources) {
        SCOPED_TRACE(source.toStdString());
        const TQXRowsPtr tables = AwkwardTables(dir, source);
        ASSERT_TRUE(tables);
        const QString out = dir.file(QStringLiteral("dict-") + source + QLatin1Char('/'));
        Generate(QStringLiteral("datadict"), tables, out, {QStringLiteral("MV_TITLE=Tables & <Views>")});
        QStringList args{testDataDir() + QStringLiteral("/model/check_html.py"), QStringLiteral("--text"),
                         QStringLiteral("Tables & <Views>"), QStringLiteral("--text"), QStringLiteral("'R&D <main>'")};
        for (const TQXRowPtr& row : *tables)
            args << QStringLiteral("--text") << row->Cols()->Item(QStringLiteral("TL_NAME"))->Value().ToText();
        // A composite foreign key is shown as one, with both column lists.
        args << QStringLiteral("--text")
             << (source == QStringLiteral("pg")
                     ? QStringLiteral("(order_id, line_no) → order_items (order_id, line_no)")
                     : QStringLiteral("(parent_group, parent_line) → Line Item (group_id, line)"));
        args << out + QStringLiteral("dictionary.html");
        QString output;
        EXPECT_EQ(RunProgram(QStringLiteral("python3"), args, &output), 0) << output.toStdString();
        EXPECT_EQ(
            RunProgram(QStringLiteral("python3"),
                       {testDataDir() + QStringLiteral("/model/check_html.py"), out + QStringLiteral("readme.html")},
                       &output),
            0)
            << output.toStdString();
    }
}

TEST(RealSchemaPg, TheSqlScriptLoadsTwiceIntoAFreshPostgresDatabase)
{
    const PgServer pg = PgServer::FromFixture();
    if (!pg.Usable())
        FAIL() << "no PostgreSQL fixture (the db tests start it)";
    TempDir dir;
    UseAppFolder(dir);
    for (const QString& source : kSources) {
        SCOPED_TRACE(source.toStdString());
        const TQXRowsPtr tables = AwkwardTables(dir, source);
        ASSERT_TRUE(tables);
        const QString out = dir.file(QStringLiteral("sql-") + source + QLatin1Char('/'));
        Generate(QStringLiteral("sqlddl"), tables, out, {QStringLiteral("MV_TARGET=PostgreSQL")});
        const QString db = QStringLiteral("quorvin_ddl_") + source;
        pg.FreshDatabase(db);
        for (int pass = 0; pass < 2; ++pass) {
            QString output;
            EXPECT_EQ(pg.Psql(db, {QStringLiteral("-f"), out + QStringLiteral("create_tables.sql")}, &output), 0)
                << output.toStdString();
        }
        EXPECT_EQ(pg.Query(db, QStringLiteral("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = "
                                              "c.relnamespace WHERE c.relkind = 'r' AND n.nspname NOT IN "
                                              "('pg_catalog', 'information_schema') AND NOT EXISTS (SELECT 1 FROM "
                                              "pg_depend d WHERE d.objid = c.oid AND d.deptype = 'e')")),
                  QString::number(TableCount(tables)));
    }
    const QString db = QStringLiteral("quorvin_ddl_pg");
    // Both tables named orders, each in its own schema, and the foreign key to the right one. A
    // literal default keeps its text (line break included), and so does an expression PostgreSQL
    // wrote itself.
    EXPECT_EQ(pg.Query(db, QStringLiteral("SELECT confrelid::regclass FROM pg_constraint WHERE conname = "
                                          "'orders_sales_fk'")),
              QStringLiteral("sales.orders"));
    EXPECT_EQ(pg.Query(db, QStringLiteral("SELECT array_length(conkey, 1) FROM pg_constraint WHERE conname = "
                                          "'shipment_item_fk'")),
              QStringLiteral("2"));
    EXPECT_EQ(pg.Query(db, QStringLiteral("SELECT attname || ':' || format_type(atttypid, atttypmod) || ':' || "
                                          "attidentity::text || attgenerated::text FROM pg_attribute WHERE attrelid = "
                                          "'public.orders'::regclass AND attname IN ('id', 'created', 'total', "
                                          "'amount') ORDER BY attnum")),
              QStringLiteral("id:integer:d\ncreated:timestamp with time zone:\namount:numeric:\n"
                             "total:numeric:s"));
    EXPECT_EQ(pg.Query(db, QStringLiteral(
                               "SELECT pg_get_expr(adbin, adrelid) FROM pg_attrdef d JOIN pg_attribute a "
                               "ON a.attrelid = d.adrelid AND a.attnum = d.adnum WHERE adrelid = "
                               "'public.orders'::regclass AND attname IN ('note', 'memo', 'memo2', 'label', 'since') "
                               "ORDER BY a.attnum")),
              QStringLiteral("'R&D <main>'::text\n'two\nlines'::text\nupper('two\n-- lines'::text)\n"
                             "'R&D <main>'::character varying\n'2024-01-01'::date"));
    // The key in key order, the foreign key to a unique constraint, indexes and checks as written.
    EXPECT_EQ(
        pg.Query(db, QStringLiteral("SELECT string_agg(pg_get_constraintdef(oid), ' | ' ORDER BY conname) FROM "
                                    "pg_constraint WHERE conrelid IN ('membership'::regclass, "
                                    "'account'::regclass)")),
        QStringLiteral("UNIQUE (email) | CHECK (((nick)::text <> 'root'::text)) | PRIMARY KEY (id) | CHECK ((tenant > "
                       "0)) | FOREIGN KEY (account_email) REFERENCES account(email) | PRIMARY KEY (grp, "
                       "account_email)"));
    EXPECT_EQ(pg.Query(db, QStringLiteral("SELECT string_agg(pg_get_indexdef(indexrelid), ' | ' ORDER BY "
                                          "indexrelid::regclass::text) FROM pg_index WHERE indrelid = "
                                          "'account'::regclass AND NOT indisprimary")),
              QStringLiteral("CREATE INDEX account_active_tenant ON public.account USING btree (tenant DESC) WHERE "
                             "active | CREATE UNIQUE INDEX account_email_uq ON public.account USING btree (email) | "
                             "CREATE UNIQUE INDEX account_tenant_lower_email ON public.account USING btree (tenant, "
                             "lower(email))"));
    EXPECT_EQ(pg.Query(db, QStringLiteral("SELECT pg_get_indexdef('sales.orders_doc_search'::regclass)")),
              QStringLiteral("CREATE INDEX orders_doc_search ON sales.orders USING gin (doc)"));
    EXPECT_EQ(pg.Query(db, QStringLiteral("INSERT INTO event_log DEFAULT VALUES; SELECT quote_literal(message) FROM "
                                          "event_log")),
              QStringLiteral("''"));
    EXPECT_EQ(pg.Query(db, QStringLiteral("SELECT string_agg(format_type(atttypid, atttypmod), ',' ORDER BY attnum) "
                                          "FROM pg_attribute WHERE attrelid = 'sales.orders'::regclass AND "
                                          "attnum > 0")),
              QStringLiteral("integer,text[],mpaa_rating[],jsonb,tsvector,uuid,bytea,interval,timestamp(3) with time "
                             "zone,timestamp without time zone,time without time zone,smallint,real,double "
                             "precision,character(3),character varying,money,double precision"));
}

TEST(RealSchemaPg, ThePythonPackageRunsAgainstThePostgresDatabaseOfTheSqlScript)
{
    const PgServer pg = PgServer::FromFixture();
    if (!pg.Usable())
        FAIL() << "no PostgreSQL fixture (the db tests start it)";
    const QString python = PythonWithPsycopg();
    if (python.isEmpty())
        FAIL() << "python3-psycopg2 is not installed (scripts/install-deps.sh installs it)";
    TempDir dir;
    UseAppFolder(dir);
    for (const QString& source : kSources) {
        SCOPED_TRACE(source.toStdString());
        const TQXRowsPtr tables = AwkwardTables(dir, source);
        ASSERT_TRUE(tables);
        const QString sql = dir.file(QStringLiteral("sql-") + source + QLatin1Char('/'));
        Generate(QStringLiteral("sqlddl"), tables, sql, {QStringLiteral("MV_TARGET=PostgreSQL")});
        const QString db = QStringLiteral("quorvin_py_") + source;
        pg.FreshDatabase(db);
        QString output;
        ASSERT_EQ(pg.Psql(db, {QStringLiteral("-f"), sql + QStringLiteral("create_tables.sql")}, &output), 0)
            << output.toStdString();
        const QString out = dir.file(QStringLiteral("py-") + source + QLatin1Char('/'));
        Generate(QStringLiteral("python"), tables, out, {QStringLiteral("MV_PACKAGE=awkward")});
        EXPECT_EQ(RunProgram(python,
                             {testDataDir() + QStringLiteral("/model/smoke_awkward.py"), out, QStringLiteral("awkward"),
                              QStringLiteral("postgresql"), pg.Dsn(db)},
                             &output),
                  0)
            << output.toStdString();
    }
}

// The MariaDB script of either source loads twice into a fresh database, keeps every column, key,
// foreign key, enum, default and check it can take, and the Python package runs on what it made.
TEST(RealSchemaMaria, TheSqlScriptLoadsTwiceIntoAFreshMariaDbDatabaseAndThePythonPackageRunsOnIt)
{
    ASSERT_EQ(Maria::Problem(), QString());
    const QString python = PythonWith(QStringLiteral("pymysql"));
    ASSERT_FALSE(python.isEmpty()) << "python3-pymysql is not installed (scripts/install-deps.sh installs it)";
    TempDir dir;
    UseAppFolder(dir);
    QMap<QString, QString> dbs;
    for (const QString& source : kSources) {
        SCOPED_TRACE(source.toStdString());
        const TQXRowsPtr tables = AwkwardTables(dir, source);
        ASSERT_TRUE(tables);
        const QString out = dir.file(QStringLiteral("sql-") + source + QLatin1Char('/'));
        Generate(QStringLiteral("sqlddl"), tables, out, {QStringLiteral("MV_TARGET=MariaDB")});
        const QString script = ReadText(out + QStringLiteral("create_tables.sql"));
        QString error, db;
        Maria::CreateDatabase(QString(), error, &db);
        ASSERT_EQ(error, QString());
        dbs.insert(source, db);
        for (int pass = 0; pass < 2; ++pass)
            EXPECT_EQ(Maria::RunSql(db, script), QString()) << "pass " << pass;
        EXPECT_EQ(MariaQuery(db, QStringLiteral("SELECT count(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                                                "DATABASE()")),
                  QString::number(TableCount(tables)));
        // Every column keeps its real name (a space, a quote, a reserved word, mixed case), in order.
        for (const TQXRowPtr& row : *tables) {
            const TQXColsPtr t = row->Cols();
            if (t->Item(QStringLiteral("TABLE_TYPE"))->Value().ToText() != QStringLiteral("TABLE") ||
                !t->Text(QStringLiteral("TL_EXTENSION")).isEmpty())
                continue;
            const QString name = t->Item(QStringLiteral("TL_NAME"))->Value().ToText();
            QStringList expected;
            for (const TQXRowPtr& c : *t->Item(QStringLiteral("COLUMNS"))->Value().rows())
                expected << c->Cols()->Item(QStringLiteral("CL_NAME"))->Value().ToText();
            QString quoted = name;
            quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
            EXPECT_EQ(
                MariaQuery(db, QStringLiteral("SELECT GROUP_CONCAT(COLUMN_NAME ORDER BY ORDINAL_POSITION SEPARATOR "
                                              "'|') FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                                              "DATABASE() AND TABLE_NAME = '%1'")
                                   .arg(quoted)),
                expected.join(QLatin1Char('|')))
                << name.toStdString();
        }
        // The key in key order, the foreign key to a unique text column, an empty-string default and
        // the check MariaDB can take, from either source.
        EXPECT_EQ(MariaQuery(db, QStringLiteral("SELECT GROUP_CONCAT(COLUMN_NAME ORDER BY SEQ_IN_INDEX) FROM "
                                                "information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE() AND "
                                                "TABLE_NAME = 'membership' AND INDEX_NAME = 'PRIMARY'")),
                  QStringLiteral("grp,account_email"));
        EXPECT_EQ(
            MariaQuery(db, QStringLiteral("INSERT INTO account (email, tenant) VALUES ('a@x', 2); INSERT INTO "
                                          "membership (account_email, grp) VALUES ('a@x', 1); INSERT INTO event_log "
                                          "() VALUES (); SELECT count(*) FROM membership WHERE role = ''; SELECT "
                                          "QUOTE(message) FROM event_log; DELETE FROM membership; DELETE FROM "
                                          "account; DELETE FROM event_log;")),
            QStringLiteral("1\n''"));
        EXPECT_NE(Maria::RunSql(db, QStringLiteral("INSERT INTO membership (account_email, grp) VALUES ('none', 1);")),
                  QString());
        QString output;
        const QString py = dir.file(QStringLiteral("py-") + source + QLatin1Char('/'));
        Generate(QStringLiteral("python"), tables, py, {QStringLiteral("MV_PACKAGE=awkward")});
        EXPECT_EQ(RunProgram(python,
                             {testDataDir() + QStringLiteral("/model/smoke_awkward.py"), py, QStringLiteral("awkward"),
                              QStringLiteral("mariadb"),
                              QStringLiteral("mysql://%1@localhost/%2?unix_socket=%3")
                                  .arg(Maria::Setting(QStringLiteral("MARIADB_USER")), db,
                                       Maria::Setting(QStringLiteral("MARIADB_SOCKET")))},
                             &output),
                  0)
            << output.toStdString();
    }
    // From PostgreSQL: both tables named orders and the foreign key to the right one; a composite
    // foreign key is one constraint; identity, enum labels, literal defaults (a line break kept, a
    // function call left out) and the types that say what they lose.
    const QString pg = dbs.value(QStringLiteral("pg"));
    EXPECT_EQ(MariaQuery(pg, QStringLiteral("SELECT CONCAT(REFERENCED_TABLE_NAME, ':', count(*)) FROM "
                                            "information_schema.KEY_COLUMN_USAGE WHERE TABLE_SCHEMA = DATABASE() AND "
                                            "CONSTRAINT_NAME IN ('orders_sales_fk', 'shipment_item_fk') GROUP BY "
                                            "CONSTRAINT_NAME ORDER BY CONSTRAINT_NAME")),
              QStringLiteral("sales.orders:1\norder_items:2"));
    EXPECT_EQ(MariaQuery(pg, QStringLiteral("SELECT CONCAT_WS(':', COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, EXTRA, "
                                            "COLUMN_DEFAULT) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                                            "DATABASE() AND (TABLE_NAME = 'public.orders' AND COLUMN_NAME IN ('id', "
                                            "'created', 'note', 'weird', 'since') OR TABLE_NAME = 'person' AND "
                                            "COLUMN_NAME = 'rating') ORDER BY TABLE_NAME, ORDINAL_POSITION")),
              QStringLiteral("rating:enum('G','PG','PG-13','R'):YES::'G'\n"
                             "id:bigint(20):NO:auto_increment\n"
                             "created:datetime(6):NO::current_timestamp(6)\n"
                             "note:longtext:YES::'R&D <main>'\n"
                             "weird:int(11):YES::NULL\n"
                             "since:date:YES::'2024-01-01'"));
    EXPECT_EQ(MariaQuery(pg, QStringLiteral("INSERT INTO `public.orders` () VALUES (); SELECT memo = CONCAT('two', "
                                            "CHAR(10), 'lines') FROM `public.orders`; DELETE FROM `public.orders`;")),
              QStringLiteral("1"));
    const QString script = ReadText(dir.file(QStringLiteral("sql-pg/create_tables.sql")));
    for (const QString& note : {QStringLiteral("-- the check account_nick_check is left out"),
                                QStringLiteral("-- the index account_active_tenant is left out"),
                                QStringLiteral("the time zone is not kept"), QStringLiteral("a list stored as JSON"),
                                QStringLiteral("stored as text: MariaDB has no type geometry(Polygon,4326)")})
        EXPECT_TRUE(script.contains(note)) << note.toStdString();
    EXPECT_NE(Maria::RunSql(pg, QStringLiteral("INSERT INTO account (email, tenant) VALUES ('b', 0);")), QString());
    // From SQLite: defaults and the generated column on a row of defaults only.
    EXPECT_EQ(
        MariaQuery(dbs.value(QStringLiteral("sqlite")),
                   QStringLiteral("INSERT INTO `group` (price) VALUES (2.5); SELECT CONCAT_WS('|', `Order`, flag, "
                                  "CAST(total AS SIGNED), created IS NOT NULL) FROM `group`")),
        QStringLiteral("R&D <main>|1|5|1"));
}

// A table set shaped as MariaDB states it (display widths, unsigned, enum and set, year, tinyint(1),
// current_timestamp()) loads twice into each of the three systems; what each makes of the unsigned
// key, the enum and the foreign key to a unique column is checked where it could go wrong.
TEST(RealSchemaMaria, TheScriptOfAMariaDbTableSetLoadsTwiceIntoEachSystem)
{
    const PgServer pg = PgServer::FromFixture();
    ASSERT_TRUE(pg.Usable()) << "no PostgreSQL fixture (the db tests start it)";
    ASSERT_EQ(Maria::Problem(), QString());
    TempDir dir;
    UseAppFolder(dir);
    const TQXRowsPtr tables = AwkwardTables(dir, QStringLiteral("mariadb"));
    ASSERT_TRUE(tables);
    QString error, mariaDb;
    Maria::CreateDatabase(QString(), error, &mariaDb);
    ASSERT_EQ(error, QString());
    const QString pgDb = QStringLiteral("quorvin_ddl_mariadb");
    pg.FreshDatabase(pgDb);
    const QString liteDb = dir.file(QStringLiteral("mariadb.db"));
    struct Target
    {
        QString name;
        std::function<QString(const QString&)> run;  // runs SQL; its rows (failures are test failures)
        std::function<bool(const QString&)> refuses; // runs SQL; true when the database refuses it
        QString expected;                            // the types of film's key, rental's lines and film's rating
    };
    const std::vector<Target> targets = {
        {QStringLiteral("SQLite"), [&](const QString& sql) { return Sqlite(liteDb, sql); },
         [&](const QString& sql) {
             return RunProgram(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), liteDb, sql}) != 0;
         },
         QStringLiteral("INTEGER|BIGINT|TEXT")},
        {QStringLiteral("PostgreSQL"), [&](const QString& sql) { return pg.Query(pgDb, sql); },
         [&](const QString& sql) {
             QString output;
             return pg.Psql(pgDb, {QStringLiteral("-c"), sql}, &output) != 0;
         },
         QStringLiteral("bigint|bigint|text")},
        {QStringLiteral("MariaDB"), [&](const QString& sql) { return MariaQuery(mariaDb, sql); },
         [&](const QString& sql) { return !Maria::RunSql(mariaDb, sql).isEmpty(); },
         QStringLiteral("bigint(20)|int(10) unsigned|enum('G','PG','PG-13')")},
    };
    const QMap<QString, QString> typeQuery = {
        {QStringLiteral("SQLite"),
         QStringLiteral("SELECT (SELECT type FROM pragma_table_info('film') WHERE name = 'film_id') || '|' || (SELECT "
                        "type FROM pragma_table_info('rental') WHERE name = 'lines') || '|' || (SELECT type FROM "
                        "pragma_table_info('film') WHERE name = 'rating')")},
        {QStringLiteral("PostgreSQL"),
         QStringLiteral("SELECT string_agg(format_type(atttypid, atttypmod), '|' ORDER BY attrelid::regclass::text "
                        "DESC) FROM pg_attribute WHERE (attrelid = 'shop.film'::regclass AND attname IN ('film_id', "
                        "'rating')) OR (attrelid = 'shop.rental'::regclass AND attname = 'lines')")},
        {QStringLiteral("MariaDB"),
         QStringLiteral("SELECT GROUP_CONCAT(COLUMN_TYPE ORDER BY FIELD(COLUMN_NAME, 'film_id', 'lines', 'rating') "
                        "SEPARATOR "
                        "'|') FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND COLUMN_NAME IN "
                        "('film_id', 'lines', 'rating') AND NOT (TABLE_NAME = 'rental' AND COLUMN_NAME = "
                        "'film_id')")},
    };
    for (const Target& t : targets) {
        SCOPED_TRACE(t.name.toStdString());
        const QString out = dir.file(QStringLiteral("sql-") + t.name + QLatin1Char('/'));
        Generate(QStringLiteral("sqlddl"), tables, out, {QStringLiteral("MV_TARGET=") + t.name});
        const QString script = out + QStringLiteral("create_tables.sql");
        for (int pass = 0; pass < 2; ++pass) {
            if (t.name == QStringLiteral("SQLite"))
                Sqlite(liteDb, QStringLiteral(".read ") + script);
            else if (t.name == QStringLiteral("PostgreSQL")) {
                QString output;
                EXPECT_EQ(pg.Psql(pgDb, {QStringLiteral("-f"), script}, &output), 0) << output.toStdString();
            } else
                EXPECT_EQ(Maria::RunSql(mariaDb, ReadText(script)), QString());
        }
        // An unsigned key keeps its range, the enum its labels where the system has enums.
        QString types = t.run(typeQuery.value(t.name));
        types.replace(QLatin1Char('\n'), QLatin1Char('|'));
        EXPECT_EQ(types, t.expected);
        // A default row takes the literal and current-time defaults; a rental of an unknown title is
        // refused through the foreign key to film's unique title.
        const QString film =
            t.name == QStringLiteral("PostgreSQL") ? QStringLiteral("shop.film") : QStringLiteral("film");
        const QString rental =
            t.name == QStringLiteral("PostgreSQL") ? QStringLiteral("shop.rental") : QStringLiteral("rental");
        t.run(QStringLiteral("INSERT INTO %1 (title) VALUES ('Alien');").arg(film));
        EXPECT_EQ(t.run(QStringLiteral("SELECT rating, rate, last_update IS NOT NULL FROM %1").arg(film))
                      .replace(QLatin1Char('\t'), QLatin1Char('|')),
                  t.name == QStringLiteral("PostgreSQL") ? QStringLiteral("G|4.99|t") : QStringLiteral("G|4.99|1"));
        const QString pragma =
            t.name == QStringLiteral("SQLite") ? QStringLiteral("PRAGMA foreign_keys = ON; ") : QString();
        EXPECT_TRUE(
            t.refuses(pragma + QStringLiteral("INSERT INTO %1 (film_id, film_title) VALUES (1, 'Nope');").arg(rental)));
    }
}

// Needs the schema import's column details and the build's foreign-key list.
TEST(InteropRealSchema, EndToEndFromARealSqliteSchema)
{
    TempDir dir;
    UseAppFolder(dir);
    const QString source = dir.file(QStringLiteral("awkward.db"));
    Sqlite(source, QStringLiteral(".read ") + testDataDir() + QStringLiteral("/model/awkward_sqlite.sql"));
    const QStringList names =
        Sqlite(source, QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view')"))
            .split(QLatin1Char('\n'));
    QMap<QString, QString> outputs;
    if (!GenerateFromProject(dir, QStringLiteral("DRIVER={SQLite3};Database=") + source + QStringLiteral(";NoCreat=1;"),
                             names, {QStringLiteral("SQLite")}, outputs))
        FAIL() << "the schema import did not deliver the tables and column details the models need";
    CheckOnSqlite(dir, outputs, 7);
    CheckDictionary(outputs.value(QStringLiteral("datadict")), names);
}

// Needs the schema import's column details and the build's foreign-key list.
TEST(RealSchemaPg, EndToEndFromARealPostgresSchema)
{
    const PgServer pg = PgServer::FromFixture();
    if (!pg.Usable())
        FAIL() << "no PostgreSQL fixture (the db tests start it)";
    TempDir dir;
    UseAppFolder(dir);
    const QString source = QStringLiteral("quorvin_e2e_src");
    pg.FreshDatabase(source);
    QString output;
    ASSERT_EQ(pg.Psql(source, {QStringLiteral("-f"), testDataDir() + QStringLiteral("/model/awkward_pg.sql")}, &output),
              0)
        << output.toStdString();
    const QString connection =
        QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=%1;Port=%2;Database=%3;Username=%4;CommLog=0;")
            .arg(pg.socket, pg.port, source, pg.user);
    QMap<QString, QString> outputs;
    const QStringList names = {
        QStringLiteral("Mixed Case"),     QStringLiteral("sales.orders"), QStringLiteral("public.orders"),
        QStringLiteral("shipment lines"), QStringLiteral("measurements"), QStringLiteral("mv_totals"),
        QStringLiteral("order summary"),  QStringLiteral("dept"),         QStringLiteral("person"),
        QStringLiteral("order_items"),    QStringLiteral("account"),      QStringLiteral("membership"),
        QStringLiteral("event_log")};
    if (!GenerateFromProject(dir, connection, names, {QStringLiteral("SQLite"), QStringLiteral("PostgreSQL")}, outputs))
        FAIL() << "the schema import did not deliver the tables and column details the models need";
    const QString tables = QStringLiteral("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = "
                                          "c.relnamespace WHERE c.relkind IN ('r', 'p') AND NOT c.relispartition AND "
                                          "n.nspname NOT IN ('pg_catalog', 'information_schema')");
    const int count = pg.Query(source, tables).toInt();
    EXPECT_EQ(count, 11);

    const QString copy = QStringLiteral("quorvin_e2e_copy");
    pg.FreshDatabase(copy);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(pg.Psql(copy,
                          {QStringLiteral("-f"),
                           outputs.value(QStringLiteral("sqlddl:PostgreSQL")) + QStringLiteral("create_tables.sql")},
                          &output),
                  0)
            << output.toStdString();
    }
    EXPECT_EQ(pg.Query(copy, tables).toInt(), count);
    // The round trip: the tables of the newer shapes come back with the same columns, types,
    // defaults, keys, constraints and indexes.
    const QString shape = QStringLiteral(
        "SELECT string_agg(line, E'\\n' ORDER BY line) FROM ("
        "SELECT c.relname || ' ' || pg_get_indexdef(x.indexrelid) AS line FROM pg_index x JOIN pg_class c ON c.oid = "
        "x.indrelid WHERE c.relname IN ('account', 'membership', 'event_log') UNION ALL "
        "SELECT c.relname || ' ' || con.conname || ' ' || pg_get_constraintdef(con.oid) FROM pg_constraint con JOIN "
        "pg_class c ON c.oid = con.conrelid WHERE c.relname IN ('account', 'membership', 'event_log') UNION ALL "
        "SELECT c.relname || '.' || a.attname || ' ' || format_type(a.atttypid, a.atttypmod) || ' ' || "
        "a.attnotnull::text "
        "|| ' ' || a.attidentity::text || ' ' || coalesce(pg_get_expr(d.adbin, d.adrelid), '(none)') FROM pg_attribute "
        "a "
        "JOIN pg_class c ON c.oid = a.attrelid LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = "
        "a.attnum WHERE c.relname IN ('account', 'membership', 'event_log') AND a.attnum > 0 AND NOT "
        "a.attisdropped) t");
    const QString before = pg.Query(source, shape);
    EXPECT_TRUE(before.contains(QStringLiteral("account_tenant_lower_email"))) << before.toStdString();
    EXPECT_EQ(pg.Query(copy, shape), before);
    if (const QString python = PythonWithPsycopg(); !python.isEmpty()) {
        EXPECT_EQ(RunProgram(python,
                             {testDataDir() + QStringLiteral("/model/smoke_awkward.py"),
                              outputs.value(QStringLiteral("python")), QStringLiteral("e2e"),
                              QStringLiteral("postgresql"), pg.Dsn(copy)},
                             &output),
                  0)
            << output.toStdString();
    }
    CheckOnSqlite(dir, outputs, count);
    CheckDictionary(outputs.value(QStringLiteral("datadict")), names);
}

// Every shipped model from a schema MariaDB itself reads back, the SQL script loaded twice into
// fresh SQLite, PostgreSQL and MariaDB databases, the copy on MariaDB compared with the source.
TEST(RealSchemaMaria, EndToEndFromARealMariaDbSchema)
{
    const PgServer pg = PgServer::FromFixture();
    ASSERT_TRUE(pg.Usable()) << "no PostgreSQL fixture (the db tests start it)";
    TempDir dir;
    UseAppFolder(dir);
    QString error, source;
    const QString connection =
        Maria::CreateDatabase(ReadText(testDataDir() + QStringLiteral("/project/awkward_mariadb.sql")), error, &source);
    ASSERT_FALSE(connection.isEmpty()) << error.toStdString();
    const QStringList names =
        MariaQuery(source, QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                                          "database() ORDER BY 1"))
            .split(QLatin1Char('\n'));
    QMap<QString, QString> outputs;
    if (!GenerateFromProject(dir, connection, names,
                             {QStringLiteral("SQLite"), QStringLiteral("PostgreSQL"), QStringLiteral("MariaDB")},
                             outputs))
        FAIL() << "the schema import did not deliver the tables and column details the models need";
    CheckOnSqlite(dir, outputs, 6);
    CheckDictionary(outputs.value(QStringLiteral("datadict")), names);

    const QString pgCopy = QStringLiteral("quorvin_e2e_from_maria");
    pg.FreshDatabase(pgCopy);
    QString output;
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(pg.Psql(pgCopy,
                          {QStringLiteral("-f"),
                           outputs.value(QStringLiteral("sqlddl:PostgreSQL")) + QStringLiteral("create_tables.sql")},
                          &output),
                  0)
            << output.toStdString();
    }
    EXPECT_EQ(pg.Query(pgCopy, QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema = "
                                              "'public' AND table_type = 'BASE TABLE'")),
              QStringLiteral("6"));

    QString copy;
    ASSERT_FALSE(Maria::CreateDatabase(QString(), error, &copy).isEmpty()) << error.toStdString();
    const QString script =
        ReadText(outputs.value(QStringLiteral("sqlddl:MariaDB")) + QStringLiteral("create_tables.sql"));
    for (int pass = 0; pass < 2; ++pass)
        EXPECT_EQ(Maria::RunSql(copy, script), QString()) << "pass " << pass;
    // Nullability, defaults, keys and checks come back as the source has them (key columns may be
    // widened, so types are not compared).
    const QString shape = QStringLiteral(
        "SELECT concat_ws(' ', table_name, column_name, is_nullable, ifnull(column_default, '-')) FROM "
        "information_schema.columns WHERE table_schema = database() AND table_name <> 'account_names' UNION ALL "
        "SELECT concat_ws(' ', table_name, constraint_name, constraint_type) FROM "
        "information_schema.table_constraints WHERE table_schema = database() UNION ALL "
        "SELECT concat_ws(' ', constraint_name, update_rule, delete_rule) FROM "
        "information_schema.referential_constraints WHERE constraint_schema = database() ORDER BY 1");
    const QString before = MariaQuery(source, shape);
    QString after = MariaQuery(copy, shape);
    // A timestamp is written as DATETIME(6), whose current time carries the fraction.
    after.replace(QStringLiteral("current_timestamp(6)"), QStringLiteral("current_timestamp()"));
    EXPECT_EQ(after.toStdString(), before.toStdString());
}

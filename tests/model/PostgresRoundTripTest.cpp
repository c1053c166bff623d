// A PostgreSQL schema taken the whole road a user takes: a project on the database, every table
// and view generated with the shipped models, the PostgreSQL script loaded (twice) into a fresh
// database and compared with the source catalog to catalog (tables, columns, types, defaults, keys,
// constraints, indexes), the SQLite script loaded without a refusal, the Python repositories run
// against both copies (a keyless table refuses writes; an update or delete touches one row), and
// the data dictionary naming every table and view the database lists. Needs the PostgreSQL fixture
// (suite names starting with RealSchemaPg) and PostGIS for the community schema.
#include "ModelTestSupport.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

/// The fixture's server, as psql and the ODBC driver reach it.
struct RoundTripServer
{
    QString socket, port, user;

    static RoundTripServer Read()
    {
        RoundTripServer pg;
        QFile f(QStringLiteral(QUORVIN_PG_ENV_FILE));
        if (!f.open(QIODevice::ReadOnly))
            return pg;
        for (const QByteArray& raw : f.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            const QString value = line.section(QLatin1Char('='), 1);
            if (line.startsWith(QStringLiteral("PG_SOCKET_DIR=")))
                pg.socket = value;
            else if (line.startsWith(QStringLiteral("PG_PORT=")))
                pg.port = value;
            else if (line.startsWith(QStringLiteral("PG_USER=")))
                pg.user = value;
        }
        return pg;
    }
    QString Dsn(const QString& db) const
    {
        return QStringLiteral("host=%1 port=%2 user=%3 dbname=%4").arg(socket, port, user, db);
    }
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
    void Recreate(const QString& db) const
    {
        Query(QStringLiteral("postgres"), QStringLiteral("DROP DATABASE IF EXISTS ") + db);
        Query(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE ") + db);
    }
};

// The user's own tables (an extension's are left out: the extension brings them), one line per
// column, constraint and index, so two databases compare as texts. A column numbered by the
// database is "auto" whether a serial's sequence or an identity does it (the script writes an
// identity).
const char* const kUserTables =
    "SELECT c.oid, n.nspname || '.' || c.relname AS name FROM pg_class c JOIN pg_namespace n "
    "ON n.oid = c.relnamespace WHERE c.relkind IN ('r', 'p') AND NOT c.relispartition AND "
    "n.nspname NOT IN ('pg_catalog', 'information_schema') AND NOT EXISTS (SELECT 1 FROM "
    "pg_depend d WHERE d.classid = 'pg_class'::regclass AND d.objid = c.oid AND "
    "d.deptype = 'e')";
const char* const kShape =
    "SELECT string_agg(line, E'\\n' ORDER BY line) FROM ("
    "SELECT t.name || ' column ' || a.attname || ' ' || format_type(a.atttypid, a.atttypmod) || CASE WHEN "
    "a.attnotnull THEN ' not null' ELSE '' END || CASE WHEN a.attidentity <> '' OR pg_get_expr(d.adbin, d.adrelid) "
    "LIKE 'nextval(%' THEN ' auto' ELSE '' END || CASE WHEN a.attgenerated <> '' THEN ' generated ' || "
    "pg_get_expr(d.adbin, d.adrelid) WHEN d.adbin IS NOT NULL AND pg_get_expr(d.adbin, d.adrelid) NOT LIKE "
    "'nextval(%' THEN ' default ' || pg_get_expr(d.adbin, d.adrelid) ELSE '' END AS line FROM t JOIN pg_attribute a "
    "ON a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid "
    "AND d.adnum = a.attnum UNION ALL "
    "SELECT t.name || ' constraint ' || con.conname || ' ' || pg_get_constraintdef(con.oid) FROM t "
    "JOIN pg_constraint con ON con.conrelid = t.oid UNION ALL "
    "SELECT t.name || ' index ' || regexp_replace(pg_get_indexdef(x.indexrelid), ' ON (ONLY )?\\S+ ', ' ON ') FROM t "
    "JOIN pg_index x ON x.indrelid = t.oid) s";

struct RoundTripCase
{
    const char* schema;   ///< below tests/data/model
    const char* database; ///< the source database's name
    /// What the copy cannot keep: a source line and what it becomes (a domain is created as its
    /// base type, because the import knows no domain's own checks).
    std::vector<std::pair<const char*, const char*>>
        losses; /// A statement run on the SQLite copy and what it prints: a default the source database applies
    /// applies there too.
    const char* liteDefaults;
    const char* liteExpected;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.schema;
}

class RealSchemaPgRoundTrip : public ::testing::TestWithParam<RoundTripCase>
{
};

/// quorvin-cli with settings and data below `dir`; its exit code.
int RoundTripCli(const TempDir& dir, const QStringList& args, QString* output)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(QUORVIN_APP_DIR) + QStringLiteral("/quorvin-cli"), args);
    const bool done = p.waitForFinished(300000);
    *output = QString::fromUtf8(p.readAll());
    return done && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString Sqlite3(const QString& db, const QString& sql)
{
    QString output;
    EXPECT_EQ(RunProgram(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), db, sql}, &output), 0)
        << output.toStdString();
    return output.trimmed();
}

/// The interpreter that has psycopg2 (Debian's python3-psycopg2), empty when none has it.
QString PythonForPostgres()
{
    for (const QString& python : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")}) {
        if (RunProgram(python, {QStringLiteral("-c"), QStringLiteral("import psycopg2")}) == 0)
            return python;
    }
    return {};
}

} // namespace

TEST_P(RealSchemaPgRoundTrip, EveryTableComesBackAndEveryConsumerTakesTheOutputs)
{
    const RoundTripCase& c = GetParam();
    const RoundTripServer pg = RoundTripServer::Read();
    if (pg.socket.isEmpty())
        FAIL() << "no PostgreSQL fixture (the db tests start it)";
    TempDir dir;
    UseAppFolder(dir);
    const QString source = QString::fromLatin1(c.database);
    pg.Recreate(source);
    QString output;
    ASSERT_EQ(pg.Psql(source,
                      {QStringLiteral("-f"), testDataDir() + QStringLiteral("/model/") + QString::fromLatin1(c.schema)},
                      &output),
              0)
        << output.toStdString();

    const QString project = dir.file(QStringLiteral("rt.qvn"));
    const QString connection =
        QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=%1;Port=%2;Database=%3;Username=%4;CommLog=0;")
            .arg(pg.socket, pg.port, source, pg.user);
    ASSERT_EQ(RoundTripCli(dir,
                           {QStringLiteral("project"), QStringLiteral("new"), project, QStringLiteral("--connection"),
                            connection},
                           &output),
              0)
        << output.toStdString();
    const auto generate = [&](const QString& model, const QString& out, const QString& var) {
        QStringList args{QStringLiteral("generate"),
                         QStringLiteral("--strict"),
                         QStringLiteral("--project"),
                         project,
                         QStringLiteral("--model"),
                         QStringLiteral(QUORVIN_APP_DIR) + QStringLiteral("/models/") + model + QStringLiteral(".qvnm"),
                         QStringLiteral("--out"),
                         out,
                         QStringLiteral("--all"),
                         QStringLiteral("--var"),
                         var};
        EXPECT_EQ(RoundTripCli(dir, args, &output), 0) << model.toStdString() << ": " << output.toStdString();
    };
    const QString pgScript = dir.file(QStringLiteral("sql-pg/"));
    const QString liteScript = dir.file(QStringLiteral("sql-lite/"));
    const QString python = dir.file(QStringLiteral("py/"));
    const QString dictionary = dir.file(QStringLiteral("dict/"));
    generate(QStringLiteral("sqlddl"), pgScript, QStringLiteral("MV_TARGET=PostgreSQL"));
    generate(QStringLiteral("sqlddl"), liteScript, QStringLiteral("MV_TARGET=SQLite"));
    generate(QStringLiteral("python"), python, QStringLiteral("MV_PACKAGE=rt"));
    generate(QStringLiteral("datadict"), dictionary, QStringLiteral("MV_TITLE=Round trip"));

    // Catalog to catalog.
    const QString copy = source + QStringLiteral("_copy");
    pg.Recreate(copy);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(pg.Psql(copy, {QStringLiteral("-f"), pgScript + QStringLiteral("create_tables.sql")}, &output), 0)
            << output.toStdString();
    }
    const QString shape = QStringLiteral("WITH t AS (%1) %2").arg(QLatin1String(kUserTables), QLatin1String(kShape));
    QString expected = pg.Query(source, shape);
    for (const auto& [was, becomes] : c.losses) {
        EXPECT_TRUE(expected.contains(QLatin1String(was))) << was;
        expected.replace(QLatin1String(was), QLatin1String(becomes));
    }
    EXPECT_EQ(pg.Query(copy, shape), expected);

    // SQLite takes its script twice without a refusal, with every table.
    const QString lite = dir.file(QStringLiteral("copy.db"));
    for (int pass = 0; pass < 2; ++pass)
        Sqlite3(lite, QStringLiteral(".read ") + liteScript + QStringLiteral("create_tables.sql"));
    const QString tableCount =
        pg.Query(source, QStringLiteral("SELECT count(*) FROM (%1) t").arg(QLatin1String(kUserTables)));
    EXPECT_EQ(Sqlite3(lite, QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'")), tableCount);
    EXPECT_EQ(Sqlite3(lite, QString::fromUtf8(c.liteDefaults)), QString::fromUtf8(c.liteExpected));
    // A foreign key to a unique key that is not the primary key is checked, not a "mismatch".
    Sqlite3(lite,
            QStringLiteral("PRAGMA foreign_keys = ON; DELETE FROM ") +
                pg.Query(source, QStringLiteral("SELECT quote_ident(confrelid::regclass::text) FROM pg_constraint "
                                                "WHERE contype = 'f' ORDER BY conname LIMIT 1")));

    // The repositories against both copies.
    const QString smoke = testDataDir() + QStringLiteral("/model/smoke_awkward.py");
    EXPECT_EQ(RunProgram(QStringLiteral("python3"),
                         {smoke, python, QStringLiteral("rt"), QStringLiteral("sqlite"), lite}, &output),
              0)
        << output.toStdString();
    if (const QString withPsycopg = PythonForPostgres(); !withPsycopg.isEmpty()) {
        EXPECT_EQ(RunProgram(withPsycopg,
                             {smoke, python, QStringLiteral("rt"), QStringLiteral("postgresql"), pg.Dsn(copy)},
                             &output),
                  0)
            << output.toStdString();
    }

    // The dictionary names every table and view of the user's.
    QStringList args{testDataDir() + QStringLiteral("/model/check_html.py")};
    const QString names = pg.Query(
        source, QStringLiteral("SELECT string_agg(c.relname, E'\\n') FROM pg_class c JOIN pg_namespace n ON n.oid = "
                               "c.relnamespace WHERE c.relkind IN ('r', 'p', 'v', 'm') AND NOT c.relispartition AND "
                               "n.nspname NOT IN ('pg_catalog', 'information_schema') AND NOT EXISTS (SELECT 1 FROM "
                               "pg_depend d WHERE d.objid = c.oid AND d.deptype = 'e')"));
    for (const QString& name : names.split(QLatin1Char('\n')))
        args << QStringLiteral("--text") << name;
    args << dictionary + QStringLiteral("dictionary.html");
    EXPECT_EQ(RunProgram(QStringLiteral("python3"), args, &output), 0) << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    RealSchemaPg, RealSchemaPgRoundTrip,
    ::testing::Values(RoundTripCase{"awkward_pg.sql",
                                    "quorvin_rt_awkward",
                                    {{"public.person column born year", "public.person column born integer"}},
                                    "INSERT INTO \"Mixed Case\" DEFAULT VALUES; SELECT \"zip code\" FROM "
                                    "\"Mixed Case\"; DELETE FROM \"Mixed Case\"",
                                    "00000"},
                      RoundTripCase{"community_pg.sql",
                                    "quorvin_rt_community",
                                    {},
                                    "INSERT INTO users (email) VALUES ('a@example.org'); SELECT "
                                    "length(public_id), substr(public_id, 15, 1), role, quote(display_name), "
                                    "tags FROM users; DELETE FROM users",
                                    "36|4|member|''|{}"}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) {
        return std::string(info.param.database).substr(sizeof("quorvin_rt_") - 1);
    });

// Times the schema import of a large PostgreSQL or MariaDB schema and, when the command-line core
// is built, the whole headless build over it. Starts its own throw-away server with the test
// fixture script of that system.
#include "Mdl_Main.h"
#include "QVNBuildCollector.h"
#include "QVNDatabase.h"
#include "QVNLanguage.h"
#include "QVNProject.h"

#ifdef QUORVIN_BENCH_WITH_GENERATE
#include "QVNGenerateRun.h"
#endif

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {
void Say(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

QHash<QString, QString> ReadEnv(const QString& path)
{
    QHash<QString, QString> values;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f.readAll().split('\n')) {
            const int eq = line.indexOf('=');
            if (eq > 0)
                values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)).trimmed());
        }
    }
    return values;
}

/// Table i (1-based) of 20 columns: a serial key, a reference to the previous table, and a mix of
/// the usual types; every tenth table has a two-column key referenced by the next one.
QString TableSql(int i, bool maria)
{
    const QString name = QStringLiteral("t%1").arg(i, 4, 10, QLatin1Char('0'));
    const QString previous = QStringLiteral("t%1").arg(i - 1, 4, 10, QLatin1Char('0'));
    QString sql = QStringLiteral("CREATE TABLE %1 (id SERIAL PRIMARY KEY, ").arg(name);
    sql += i > 1 ? QStringLiteral("prev_id INTEGER REFERENCES %1 (id), ").arg(previous)
                 : QStringLiteral("prev_id INTEGER, ");
    sql += QStringLiteral("code VARCHAR(20) NOT NULL UNIQUE, name VARCHAR(100) NOT NULL, "
                          "title VARCHAR(200), amount NUMERIC(12,2) NOT NULL DEFAULT 0, rate NUMERIC(5,4), "
                          "qty INTEGER DEFAULT 1, big BIGINT, small SMALLINT, ratio DOUBLE PRECISION, "
                          "active BOOLEAN NOT NULL DEFAULT TRUE, born DATE, changed TIMESTAMP, "
                          "note TEXT, status VARCHAR(10) DEFAULT 'NEW', flag CHAR(1), "
                          "extra1 VARCHAR(30), extra2 INTEGER, extra3 TEXT);");
    if (maria)
        sql.replace(QLatin1String("SERIAL PRIMARY KEY"), QLatin1String("INT AUTO_INCREMENT PRIMARY KEY"));
    return sql;
}
/// Wall time, processor time (user + system) and peak resident memory of one whole process.
struct ProcessFigures
{
    double wallSeconds = 0, cpuSeconds = 0, peakMiB = 0;
    int exitCode = -1;
};

/// Runs a program to its end with its output thrown away, measured by the kernel (wait4).
ProcessFigures RunMeasured(const QString& program, const QStringList& arguments)
{
    ProcessFigures figures;
    std::vector<QByteArray> bytes{program.toLocal8Bit()};
    for (const QString& a : arguments)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0)
        return figures;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return figures;
    figures.wallSeconds = clock.nsecsElapsed() / 1e9;
    figures.cpuSeconds =
        usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    figures.peakMiB = usage.ru_maxrss / 1024.0; // kilobytes on Linux
    figures.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return figures;
}

/// Writes a model with one template that lists every table and its columns, and packs it with
/// quorvin-cli; the package path, or "" when packing failed. Building with it costs next to
/// nothing, so a whole `generate` with it measures the schema import.
QString PackListingModel(const QString& cli, const QString& folder)
{
    const QString model = folder + QStringLiteral("/listing");
    if (!QDir().mkpath(model))
        return QString();
    const struct
    {
        const char* name;
        const char* text;
    } files[] = {
        {"model_info.qvns", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<MODEL><INFO><MI_NAME>listing</MI_NAME>"
                            "<MI_VERSION>1.0</MI_VERSION></INFO></MODEL>\n"},
        {"model_file.qvns", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<FILES><FILE><MF_FILE>tables.txt</MF_FILE>"
                            "<MF_TO>tables.txt</MF_TO><MF_TYPE></MF_TYPE><MF_CONVERT>1</MF_CONVERT></FILE></FILES>\n"},
        {"tables.txt", "<ORVE_TABLES>\n<ORVE>TL_NAME</ORVE>:<ORVE_COLUMNS> <ORVE>CL_NAME</ORVE></ORVE_COLUMNS>\n"
                       "</ORVE_TABLES>\n"},
    };
    for (const auto& file : files) {
        QFile f(model + QLatin1Char('/') + QString::fromLatin1(file.name));
        if (!f.open(QIODevice::WriteOnly) || f.write(file.text) < 0)
            return QString();
    }
    QProcess pack;
    pack.start(cli, {QStringLiteral("package"), model});
    if (!pack.waitForFinished(60000) || pack.exitStatus() != QProcess::NormalExit || pack.exitCode() != 0)
        return QString();
    const QString package = model + QStringLiteral(".qvnm");
    return QFile::exists(package) ? package : QString();
}

QString Describe(const ProcessFigures& f)
{
    return QStringLiteral("wall %1 s, processor %2 s, peak memory %3 MiB (exit %4)")
        .arg(f.wallSeconds, 0, 'f', 3)
        .arg(f.cpuSeconds, 0, 'f', 3)
        .arg(f.peakMiB, 0, 'f', 1)
        .arg(f.exitCode);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int tableCount = 1000;
    bool maria = false;
    QString model = QCoreApplication::applicationDirPath() + QStringLiteral("/models/datadict.qvnm");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--tables"))
            tableCount = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--model"))
            model = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--system"))
            maria = args.at(i + 1).compare(QLatin1String("mariadb"), Qt::CaseInsensitive) == 0;
    }
    Mdl_Main::AppPath = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    Mdl_Main::Language().SetLanguagePath(Mdl_Main::AppPath + QStringLiteral("language/"));
    Mdl_Main::Language().SetLanguage(QStringLiteral("1033"));

    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/quorvin-bench-XXXXXX"));
    const QString envFile = work.filePath(QStringLiteral("server.env"));
    const QString fixture = maria ? QStringLiteral(QUORVIN_MARIADB_FIXTURE) : QStringLiteral(QUORVIN_PG_FIXTURE);
    if (QProcess::execute(fixture, {QStringLiteral("start"), envFile}) != 0) {
        Say(maria ? QStringLiteral("cannot start the MariaDB server")
                  : QStringLiteral("cannot start the PostgreSQL server"));
        return 1;
    }
    int rc = 0;
    {
        const auto env = ReadEnv(envFile);
        const QString base =
            maria ? QStringLiteral("DRIVER={MariaDB Unicode};SERVER=localhost;SOCKET=%1;UID=%2;PWD=;")
                        .arg(env.value("MARIADB_SOCKET"), env.value("MARIADB_USER"))
                  : QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=%1;Port=%2;Username=%3;CommLog=0;")
                        .arg(env.value("PG_SOCKET_DIR"), env.value("PG_PORT"), env.value("PG_USER"));
        QVNDatabase admin;
        if (!admin.ConnectToServer(base + (maria ? QString() : QStringLiteral("Database=postgres;"))) ||
            !admin.ExecuteSql(QStringLiteral("CREATE DATABASE bench"))) {
            Say(admin.Exceptions.ToString());
            rc = 1;
        }
        const QString cs = base + QStringLiteral("Database=bench;");
        QElapsedTimer clock;
        if (rc == 0) {
            QVNDatabase db;
            db.ConnectToServer(cs);
            clock.start();
            QString batch;
            for (int i = 1; i <= tableCount; ++i) {
                batch += TableSql(i, maria);
                // MariaDB's driver takes one statement at a time.
                if (maria || i % 50 == 0 || i == tableCount) {
                    if (!db.ExecuteSql(batch)) {
                        Say(db.Exceptions.ToString());
                        rc = 1;
                        break;
                    }
                    batch.clear();
                }
            }
            Say(QStringLiteral("schema: %1 tables x 20 columns created in %2 ms").arg(tableCount).arg(clock.elapsed()));
        }

        const QString projectFile = work.filePath(QStringLiteral("bench.qvn"));
        QVNProject project;
        if (rc == 0 && project.NewProject(projectFile)) {
            project.SetProjectFile(projectFile);
            project.P_DATABASE = cs;
            project.P_PATH = work.filePath(QStringLiteral("out"));
            project.GetTables();
            project.SaveProject(QStringLiteral("B"), QStringLiteral("bench"), cs, QString(), QString(), project.P_PATH,
                                project.TABLES);
        }
        // First, while this process is still small (a child started by fork counts the parent's
        // peak memory as its own until it replaces itself).
        if (rc == 0) {
            // The whole headless road as a user runs it, one process each, measured by the kernel:
            // reading the schema with the data dictionary (two files written), then the Python
            // model (one module per table).
            // The import alone is timed with a one-template model that only lists the tables and
            // their columns.
            const QString cli = Mdl_Main::AppPath + QStringLiteral("quorvin-cli");
            const QString models = Mdl_Main::AppPath + QStringLiteral("models/");
            const QString listing = PackListingModel(cli, work.path());
            if (listing.isEmpty())
                Say(QStringLiteral("the one-template model could not be packed: import alone not timed"));
            const struct
            {
                const char* label;
                QString package;
            } runs[] = {
                {"schema import (generate --all-tables, one-template model)", listing},
                {"schema import and data dictionary (generate --all-tables)", models + QStringLiteral("datadict.qvnm")},
                {"whole road (generate --all-tables, Python model)", models + QStringLiteral("python.qvnm")},
                {"whole road (generate --all-tables, web application model)", models + QStringLiteral("webapp.qvnm")}};
            for (const auto& run : runs) {
                if (run.package.isEmpty())
                    continue;
                const QString out = work.filePath(QStringLiteral("cli-") + QFileInfo(run.package).baseName());
                const ProcessFigures f =
                    RunMeasured(cli, {QStringLiteral("generate"), QStringLiteral("--project"), projectFile,
                                      QStringLiteral("--model"), run.package, QStringLiteral("--all-tables"),
                                      QStringLiteral("--out"), out});
                int files = 0;
                QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories);
                while (it.hasNext()) {
                    it.next();
                    ++files;
                }
                Say(QStringLiteral("%1: %2; %3 files written")
                        .arg(QString::fromLatin1(run.label), Describe(f))
                        .arg(files));
            }
        }
        for (int round = 1; rc == 0 && round <= 2; ++round) {
            QVNProject p;
            p.SetProjectFile(projectFile);
            p.GetProjectInfo();
            clock.start();
            if (!p.GetTables()) {
                Say(p.Exceptions.ToString());
                rc = 1;
                break;
            }
            const qint64 tables = clock.elapsed();
            clock.start();
            qint64 columns = 0;
            for (const TQXRowPtr& row : *p.TABLES)
                columns += p.GetColumns(row->Key())->Count();
            const qint64 import = clock.elapsed();
            Say(QStringLiteral("round %1: GetTables %2 ms (%3 tables); GetColumns of every table %4 ms (%5 columns, "
                               "%6 ms per table); together %7 ms")
                    .arg(round)
                    .arg(tables)
                    .arg(p.TABLES->Count())
                    .arg(import)
                    .arg(columns)
                    .arg(double(import) / std::max(1, p.TABLES->Count()), 0, 'f', 2)
                    .arg(tables + import));
        }
        if (rc == 0) {
            // Where the time of the column import goes: the three catalog reads per table.
            QVNProject p;
            p.SetProjectFile(projectFile);
            p.GetProjectInfo();
            p.GetTables();
            QVNDatabase& db = p.ProjectDatabase();
            db.AdoConnectString = p.ConnectionString();
            qint64 spent[3] = {0, 0, 0};
            for (const TQXRowPtr& row : *p.TABLES) {
                clock.start();
                db.GetColumns(row->Key());
                spent[0] += clock.nsecsElapsed();
                clock.start();
                db.GetPrimaryKeys(row->Key());
                spent[1] += clock.nsecsElapsed();
                clock.start();
                db.GetForeignKeys(row->Key());
                spent[2] += clock.nsecsElapsed();
            }
            Say(QStringLiteral("catalog reads over all tables: columns %1 ms, primary keys %2 ms, foreign keys %3 ms")
                    .arg(spent[0] / 1000000)
                    .arg(spent[1] / 1000000)
                    .arg(spent[2] / 1000000));
            // The same in bulk, as a build or a refresh reads them.
            QStringList keys;
            for (const TQXRowPtr& row : *p.TABLES)
                keys << row->Key();
            clock.start();
            db.PrepareCatalog(keys);
            const qint64 bulk = clock.nsecsElapsed();
            const QVNDatabase::CatalogRead how = db.LastCatalogRead();
            db.ForgetCatalog();
            Say(QStringLiteral("the same in bulk: %1 ms (%2)")
                    .arg(bulk / 1000000)
                    .arg(how.oneQuery ? QStringLiteral("columns in one query, the driver asked about %1 tables")
                                            .arg(how.driverTables)
                                      : QStringLiteral("columns through the driver's catalog of each schema")));
        }
        if (rc == 0) {
            // Save the project with every table's typed columns (what a user's save after a full
            // import writes), then collect as a build does.
            QVNProject p;
            p.SetProjectFile(projectFile);
            p.GetProjectInfo();
            p.GetTables();
            for (const TQXRowPtr& row : *p.TABLES)
                row->Cols()->Item(QStringLiteral("COLUMNS"))->SetValue(p.GetColumns(row->Key()));
            clock.start();
            const bool saved = p.SaveProject(p.P_NO, p.P_NAME, p.P_DATABASE, p.P_USERID, p.P_PWD, p.P_PATH, p.TABLES);
            Say(QStringLiteral("SaveProject with %1 tables and their columns: %2 ms (%3)")
                    .arg(p.TABLES->Count())
                    .arg(clock.elapsed())
                    .arg(saved ? QStringLiteral("ok") : p.Exceptions.ToString()));

            QVNBuildCollector collector;
            TQXRowsPtr tables;
            TQXColsPtr variables;
            QString folder;
            QElapsedTimer whole;
            whole.start();
            clock.start();
            const bool collected = collector.Collect(projectFile, {}, tables, variables, folder);
            Say(QStringLiteral(
                    "collect (GetProjectInfo, GetTables, per table GetColumns and the four lists): %1 ms (%2)")
                    .arg(clock.elapsed())
                    .arg(collected ? QStringLiteral("%1 tables").arg(tables->Count())
                                   : collector.Exceptions.ToString()));
#ifdef QUORVIN_BENCH_WITH_GENERATE
            if (collected && QFile::exists(model)) {
                QList<QPair<QString, QString>> vars;
                for (const TQXColPtr& c : *variables)
                    vars.append({c->Key(), c->Value().ToText()});
                clock.start();
                const int generated = RunGenerate(model, folder, tables, vars, {});
                Say(QStringLiteral("build with %1: %2 ms (exit %3); collect + build %4 ms")
                        .arg(QFileInfo(model).fileName())
                        .arg(clock.elapsed())
                        .arg(generated)
                        .arg(whole.elapsed()));
            } else if (collected) {
                Say(QStringLiteral("no model package at %1: build not timed").arg(model));
            }
#endif
        }
    }
    QProcess::execute(fixture, {QStringLiteral("stop"), envFile});
    return rc;
}

// One exit-code rule for every command that reads a project file: a missing, unreadable or damaged
// file is bad input (2) and is called what it is; a database that cannot be reached is failed work (1).
#include "ProjectTestSupport.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct Result
{
    int code = -1;
    QString err;
};

Result RunCli(const TempDir& home, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.file(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.file(QStringLiteral("data")));
    p.setProcessEnvironment(env);
    p.start(AppDir() + QStringLiteral("quorvin-cli"), args);
    Result r;
    if (p.waitForFinished(60000))
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QList<QStringList> ReadingCommands(const QString& file, const QString& out)
{
    return {{"tables", file},
            {"columns", file, "alpha"},
            {"project", "info", file},
            {"generate", "--project", file, "--model", AppDir() + QStringLiteral("models/sqlddl.qvnm"), "--out", out}};
}

} // namespace

TEST(CliExitRule, DamagedProjectFilesAreBadInputForEveryCommand)
{
    TempDir dir;
    ASSERT_TRUE(QFile::copy(AppDir() + QStringLiteral("system.qvnm"), dir.file(QStringLiteral("bare.qvn"))));
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("text.qvn")), "no database here"));
    for (const QString& name : {QStringLiteral("bare.qvn"), QStringLiteral("text.qvn"), QStringLiteral("none.qvn")}) {
        for (const QStringList& args : ReadingCommands(dir.file(name), dir.file(QStringLiteral("out")))) {
            const Result r = RunCli(dir, args);
            EXPECT_EQ(r.code, 2) << args.join(' ').toStdString() << ": " << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(name)) << r.err.toStdString();
            EXPECT_FALSE(r.err.contains(QStringLiteral("Data source name"))) << r.err.toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("out"))));
}

TEST(CliExitRule, AnUnreachableDatabaseIsFailedWork)
{
    TempDir dir;
    const QString target = dir.file(QStringLiteral("t.db"));
    ASSERT_EQ(CreateSqliteFile(target, QStringLiteral("CREATE TABLE alpha (id INTEGER PRIMARY KEY);")), QString());
    const QString file = dir.file(QStringLiteral("p.qvn"));
    QVNProjectLifecycle lifecycle;
    QVNProject project;
    ASSERT_TRUE(lifecycle.Create(file, {{}, {}, SqliteConnection(target), {}, {}, {}}, false, project));
    ASSERT_TRUE(QFile::remove(target));
    for (const QStringList& args : ReadingCommands(file, dir.file(QStringLiteral("out")))) {
        if (args.first() == QLatin1String("project"))
            continue; // reads the project file only
        EXPECT_EQ(RunCli(dir, args).code, 1) << args.join(' ').toStdString();
    }
}

// What a user of a command-line tool expects: help for every command from the one table, and the
// models list naming what it leaves out.
#include "CliHelp.h"

#include "TempDir.h"
#include "TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

CliRun cli(const QStringList& args, const TempDir* home = nullptr)
{
    QProcess p;
    if (home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home->file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home->file(QStringLiteral("data")));
        p.setProcessEnvironment(env);
    }
    p.start(QStringLiteral(QUORVIN_APP_DIR "/quorvin-cli"), args);
    CliRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST(CliHelp, EveryListedCommandDescribesItsUsageAndExitCodesBothWays)
{
    const CliRun list = cli({QStringLiteral("--help")});
    ASSERT_EQ(list.exitCode, 0);
    ASSERT_EQ(CliHelpTable().size(), 11u);
    for (const CliHelpEntry& entry : CliHelpTable()) {
        const QString name = QString::fromLatin1(entry.name);
        EXPECT_TRUE(list.out.contains(QStringLiteral("\n  ") + name + QLatin1Char(' '))) << entry.name;
        const CliRun option = cli({name, QStringLiteral("--help")});
        EXPECT_EQ(option.exitCode, 0) << entry.name << ": " << option.err.toStdString();
        EXPECT_TRUE(option.out.startsWith(QStringLiteral("usage: quorvin-cli ") + name)) << option.out.toStdString();
        EXPECT_TRUE(option.out.contains(QStringLiteral("\nexit codes:\n  0  "))) << option.out.toStdString();
        EXPECT_TRUE(option.err.isEmpty()) << entry.name;
        EXPECT_EQ(cli({QStringLiteral("help"), name}).out, option.out) << entry.name;
    }
    // A subcommand's --help is the command's help.
    const CliRun sub = cli({QStringLiteral("project"), QStringLiteral("new"), QStringLiteral("--help")});
    EXPECT_EQ(sub.exitCode, 0);
    EXPECT_TRUE(sub.out.contains(QStringLiteral("--force")));
    EXPECT_EQ(cli({QStringLiteral("generate"), QStringLiteral("-h")}).out,
              cli({QStringLiteral("help"), QStringLiteral("generate")}).out);
}

TEST(CliHelp, UnknownCommandsAndNoCommandAreBadUsage)
{
    const CliRun none = cli({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_TRUE(none.err.startsWith(QStringLiteral("usage: quorvin-cli COMMAND")));
    EXPECT_EQ(cli({QStringLiteral("frobnicate")}).exitCode, 2);
    const CliRun help = cli({QStringLiteral("help"), QStringLiteral("frobnicate")});
    EXPECT_EQ(help.exitCode, 2);
    EXPECT_TRUE(help.err.contains(QStringLiteral("frobnicate")));
    EXPECT_TRUE(help.out.isEmpty());
}

TEST(CliModels, APackageThatCannotBeOpenedIsNamedOnStandardErrorAndTheListStays)
{
    TempDir home;
    TempDir models;
    ASSERT_TRUE(writeBytes(models.file(QStringLiteral("broken.qvnm")), "not a zip"));
    const CliRun r = cli({QStringLiteral("models"), models.path()}, &home);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^models: skipped .*broken\\.qvnm: .+\\n$")).match(r.err).hasMatch())
        << r.err.toStdString();
}

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

struct HelpRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

HelpRun helpCli(const QStringList& args, const TempDir* home = nullptr)
{
    QProcess p;
    if (home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home->file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home->file(QStringLiteral("data")));
        p.setProcessEnvironment(env);
    }
    p.start(QStringLiteral(QUORVIN_APP_DIR "/quorvin-cli"), args);
    HelpRun r;
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
    const HelpRun list = helpCli({QStringLiteral("--help")});
    ASSERT_EQ(list.exitCode, 0);
    ASSERT_EQ(CliHelpTable().size(), 11u);
    for (const CliHelpEntry& entry : CliHelpTable()) {
        const QString name = QString::fromLatin1(entry.name);
        EXPECT_TRUE(list.out.contains(QStringLiteral("\n  ") + name + QLatin1Char(' '))) << entry.name;
        const HelpRun option = helpCli({name, QStringLiteral("--help")});
        EXPECT_EQ(option.exitCode, 0) << entry.name << ": " << option.err.toStdString();
        EXPECT_TRUE(option.out.startsWith(QStringLiteral("usage: quorvin-cli ") + name)) << option.out.toStdString();
        EXPECT_TRUE(option.out.contains(QStringLiteral("\nexit codes:\n  0  "))) << option.out.toStdString();
        EXPECT_TRUE(option.err.isEmpty()) << entry.name;
        EXPECT_EQ(helpCli({QStringLiteral("help"), name}).out, option.out) << entry.name;
    }
    // A subcommand's --help is the command's help.
    const HelpRun sub = helpCli({QStringLiteral("project"), QStringLiteral("new"), QStringLiteral("--help")});
    EXPECT_EQ(sub.exitCode, 0);
    EXPECT_TRUE(sub.out.contains(QStringLiteral("--force")));
    EXPECT_EQ(helpCli({QStringLiteral("generate"), QStringLiteral("-h")}).out,
              helpCli({QStringLiteral("help"), QStringLiteral("generate")}).out);
}

TEST(CliHelp, UnknownCommandsAndNoCommandAreBadUsage)
{
    const HelpRun none = helpCli({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_TRUE(none.err.startsWith(QStringLiteral("usage: quorvin-cli COMMAND")));
    EXPECT_EQ(helpCli({QStringLiteral("frobnicate")}).exitCode, 2);
    const HelpRun help = helpCli({QStringLiteral("help"), QStringLiteral("frobnicate")});
    EXPECT_EQ(help.exitCode, 2);
    EXPECT_TRUE(help.err.contains(QStringLiteral("frobnicate")));
    EXPECT_TRUE(help.out.isEmpty());
}

// The manual pages are written from the help table at build time: every command is in them, and
// groff reads them without a warning and prints the table's words as they are.
TEST(CliHelp, ManualPagesCarryEveryCommandAndFormatCleanly)
{
    TempDir dir;
    const auto simplified = [](const QString& text) { return text.simplified(); };
    for (const QString& program : {QStringLiteral("quorvin-cli"), QStringLiteral("quorvin")}) {
        const QString file = dir.file(program + QStringLiteral(".1"));
        const HelpRun r = helpCli({QStringLiteral("--man-page"), program, file});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QString page = QString::fromUtf8(readBytes(file));
        EXPECT_TRUE(page.startsWith(QStringLiteral(".TH ")));
        QProcess groff;
        groff.start(QStringLiteral("groff"), {QStringLiteral("-man"), QStringLiteral("-ww"), QStringLiteral("-rHY=0"),
                                              QStringLiteral("-Tascii"), QStringLiteral("-P-cbou"), file});
        if (!groff.waitForFinished(30000) || groff.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "groff did not run";
            continue;
        }
        EXPECT_EQ(groff.exitCode(), 0);
        EXPECT_EQ(QString::fromUtf8(groff.readAllStandardError()), QString()) << program.toStdString();
        const QString text = simplified(QString::fromUtf8(groff.readAllStandardOutput()));
        EXPECT_TRUE(text.contains(program + QStringLiteral(" - "))) << text.toStdString();
        if (program != QLatin1String("quorvin-cli"))
            continue;
        for (const CliHelpEntry& e : CliHelpTable()) {
            EXPECT_TRUE(page.contains(QStringLiteral("\n.SS ") + QLatin1String(e.name) + QLatin1Char('\n'))) << e.name;
            for (const char* part : {e.summary, e.details, e.exits})
                EXPECT_TRUE(text.contains(simplified(QString::fromUtf8(part)))) << e.name << ": " << part;
        }
    }
    const HelpRun unknown =
        helpCli({QStringLiteral("--man-page"), QStringLiteral("frobnicate"), dir.file(QStringLiteral("x.1"))});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_FALSE(unknown.err.isEmpty());
}

TEST(CliModels, APackageThatCannotBeOpenedIsNamedOnStandardErrorAndTheListStays)
{
    TempDir home;
    TempDir models;
    ASSERT_TRUE(writeBytes(models.file(QStringLiteral("broken.qvnm")), "not a zip"));
    const HelpRun r = helpCli({QStringLiteral("models"), models.path()}, &home);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^models: skipped .*broken\\.qvnm: .+\\n$")).match(r.err).hasMatch())
        << r.err.toStdString();
}

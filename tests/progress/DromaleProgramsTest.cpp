// The two programs as scripts and users meet them: dromale started directly, and dromale-ctl.

#include "ProgressTestSupport.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

namespace {
struct ProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ProgramRun run(const QString& program, const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start(appFolder() + QLatin1Char('/') + program, arguments);
    if (!process.waitForStarted(5000))
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}
} // namespace

TEST(DromaleProgram, StartedDirectlyItShowsTheNoticeAndEnds)
{
    const ProgramRun result =
        run(QStringLiteral("dromale"), {QStringLiteral("--notice-autoclose"), QStringLiteral("100")});
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.err);
    EXPECT_EQ(result.out, QStringLiteral("Message\nI am a ActiveX EXE !\n\nDon't execute me directly, please !\n"));
}

TEST(DromaleProgram, EmbeddingWithoutANameIsAUsageError)
{
    const ProgramRun result = run(QStringLiteral("dromale"), {QStringLiteral("--embedding")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(QStringLiteral("--embedding"))) << qPrintable(result.err);
}

TEST(DromaleCtl, RunsOneCallPerLineAndAnswersOnOneLineEach)
{
    const ProgramRun result = run(QStringLiteral("dromale-ctl"), {},
                                  "ShowProcess\tBuilding\n"
                                  "\n"
                                  "TestWindow\tCancelVisible\n"
                                  "SetProcessing\tline one\\nstill one\n"
                                  "TestWindow\tProcessing\n"
                                  "CancelCaption\n"
                                  "CancelCaption\t&Stop\n"
                                  "ShowProcess\tBuilding\tFalse\n"
                                  "TestWindow\tCancelVisible\n"
                                  "TestClickCancel\n"
                                  "ProcessCanceled\n"
                                  "EndProcess\r\n");
    EXPECT_EQ(result.exitCode, 1) << "the click on a hidden Cancel button failed";
    EXPECT_EQ(result.out, QStringLiteral("\n"
                                         "True\n"
                                         "\n"
                                         "line one\\nstill one\n"
                                         "&Cancel\n"
                                         "\n"
                                         "\n"
                                         "False\n"
                                         "ERROR\tThe Cancel button is not shown\n"
                                         "False\n"
                                         "\n"));
}

TEST(DromaleCtl, ReleasesTheObjectAndEndsTheServerAtEndOfInput)
{
    const ProgramRun result = run(QStringLiteral("dromale-ctl"), {}, "ShowProcess\tShort\nTestPid\n");
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.err);
    const QStringList lines = result.out.split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 2);
    const qint64 pid = lines.at(1).toLongLong();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(waitForProcessGone(pid, 3000));
}

TEST(DromaleCtl, ReportsACreationFailureOnStandardError)
{
    const ProgramRun result =
        run(QStringLiteral("dromale-ctl"), {QStringLiteral("--class"), QStringLiteral("No.Such")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, QString());
    EXPECT_TRUE(result.err.contains(QStringLiteral("\"No.Such\" is not registered"))) << qPrintable(result.err);
}

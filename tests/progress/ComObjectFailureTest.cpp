// How the client proxy fails: servers that cannot start, that die, that stop answering.

#include "ProgressTestSupport.h"
#include "QVNComObject.h"
#include "QVNProcess.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

namespace {
bool registerServer(const TempDir& dir, const QByteArray& script)
{
    return writeScript(dir.file(QStringLiteral("fake-server")), script) &&
           writeBytes(dir.file(QStringLiteral("activation.ini")), "[Classes]\nFake.Server=fake-server\n");
}
} // namespace

TEST(ComObjectFailure, CallsWithoutAnObjectFailWithAReason)
{
    QVNComObject object;
    EXPECT_FALSE(object.Call(QStringLiteral("ProcessCanceled")).isValid());
    EXPECT_TRUE(object.Failed());
    EXPECT_TRUE(object.LastError().contains(QStringLiteral("no object"))) << qPrintable(object.LastError());
}

TEST(ComObjectFailure, UnregisteredClassIsAClearError)
{
    QVNComObject object;
    EXPECT_FALSE(object.Create(QStringLiteral("Nobody.Home"), appFolder()));
    EXPECT_TRUE(object.LastError().contains(QStringLiteral("\"Nobody.Home\" is not registered")))
        << qPrintable(object.LastError());
    EXPECT_FALSE(object.IsCreated());
}

TEST(ComObjectFailure, ServerThatEndsAtStartIsReportedWithItsExitCode)
{
    TempDir dir;
    ASSERT_TRUE(registerServer(dir, "exit 3"));
    QVNComObject object;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(object.Create(QStringLiteral("Fake.Server"), dir.path()));
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_TRUE(object.LastError().contains(QStringLiteral("ended during start-up with exit code 3")))
        << qPrintable(object.LastError());
}

TEST(ComObjectFailure, ServerThatNeverListensTimesOutAndIsNotLeftRunning)
{
    TempDir dir;
    ASSERT_TRUE(registerServer(dir, "echo $$ > \"$(dirname \"$0\")/pid\"\nexec sleep 30"));
    QVNComObject object;
    object.SetStartTimeout(500);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(object.Create(QStringLiteral("Fake.Server"), dir.path()));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(object.LastError().contains(QStringLiteral("did not accept a connection within 500 ms")))
        << qPrintable(object.LastError());
    const qint64 pid = readBytes(dir.file(QStringLiteral("pid"))).trimmed().toLongLong();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(waitForProcessGone(pid, 2000));
}

TEST(ComObjectFailure, KilledServerMakesCallsFailAtOnce)
{
    QVNProcess process;
    ASSERT_TRUE(process.Create(appFolder())) << qPrintable(process.LastError());
    process.ShowProcess(QStringLiteral("Doomed"));
    const qint64 pid = process.Object().ServerProcessId();
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);

    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(process.ProcessCanceled());
    EXPECT_TRUE(process.LastError().contains(QStringLiteral("has ended"))) << qPrintable(process.LastError());
    EXPECT_FALSE(process.SetProcessing(QStringLiteral("next table")));
    EXPECT_TRUE(process.LastError().contains(QStringLiteral("has ended"))) << qPrintable(process.LastError());
    EXPECT_FALSE(process.IsCreated());
    EXPECT_LT(timer.elapsed(), 1000) << "no waiting for the call timeout when the peer is gone";
    process.Release();
}

TEST(ComObjectFailure, StoppedServerTimesOutAndLateAnswersAreNotMistakenForNewOnes)
{
    QVNProcess process;
    ASSERT_TRUE(process.Create(appFolder())) << qPrintable(process.LastError());
    process.Object().SetCallTimeout(300);
    const pid_t pid = static_cast<pid_t>(process.Object().ServerProcessId());
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(process.CancelCaption(), QString());
    const qint64 waited = timer.elapsed();
    EXPECT_GE(waited, 250);
    EXPECT_LT(waited, 2000);
    EXPECT_TRUE(process.LastError().contains(QStringLiteral("did not answer within 300 ms")))
        << qPrintable(process.LastError());

    // While the late answer is outstanding, calls fail at once instead of waiting again.
    timer.restart();
    EXPECT_FALSE(process.ProcessCanceled());
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_TRUE(process.LastError().contains(QStringLiteral("still not answered"))) << qPrintable(process.LastError());

    // Once the server runs again it answers the stale CancelCaption call first; the proxy drops
    // that answer and goes back to normal calls.
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    timer.restart();
    QVariant canceled;
    do {
        QThread::msleep(10);
        canceled = process.Object().Call(QStringLiteral("ProcessCanceled"));
    } while (process.Object().Failed() && timer.elapsed() < 3000);
    EXPECT_EQ(process.LastError(), QString());
    EXPECT_EQ(canceled.typeId(), QMetaType::Bool);
    EXPECT_EQ(process.CancelCaption(), QStringLiteral("&Cancel"));
}

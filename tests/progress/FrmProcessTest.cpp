// The progress window and the server-wide state, in-process with a clock the test moves.

#include "Frm_Process.h"
#include "ProcessServer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {
struct FakeClock
{
    std::shared_ptr<qint64> now = std::make_shared<qint64>(10000);
    Frm_Process::Clock clock() const
    {
        return [now = now] { return *now; };
    }
};

void runDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template <typename T> T* child(QWidget* window, const char* name)
{
    return window->findChild<T*>(QString::fromLatin1(name));
}
} // namespace

TEST(FrmProcess, CaptionThreeSecondsAfterLoadingReadsTitleAndSeconds)
{
    FakeClock fake;
    Frm_Process window(fake.clock());
    window.SetTitle(QStringLiteral("生成代码"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("生成代码"));

    *fake.now += 2999;
    window.Tick();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("生成代码    [ 2s ]"));
    *fake.now += 1;
    window.Tick();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("生成代码    [ 3s ]"));
}

TEST(FrmProcess, BarRunsInStepsOfFiveAndStartsAgainAfterItsMaximum)
{
    FakeClock fake;
    Frm_Process window(fake.clock());
    auto* bar = child<QProgressBar>(&window, "PB_Process");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->value(), 0);
    for (int i = 0; i < 20; ++i)
        window.Tick();
    EXPECT_EQ(bar->value(), 100);
    window.Tick();
    EXPECT_EQ(bar->value(), 0);
    window.Tick();
    EXPECT_EQ(bar->value(), 5);
}

TEST(FrmProcess, LoadedWindowIsTopmostWithItsTimerRunningEvenWhenHidden)
{
    Frm_Process window;
    EXPECT_EQ(window.objectName(), QStringLiteral("Frm_Process"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Processing ..."));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    auto* timer = window.findChild<QTimer*>(QStringLiteral("Timer_1"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 50);
    EXPECT_TRUE(timer->isActive());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(child<QLineEdit>(&window, "Txt_Title")->isHidden());
    for (const char* name : {"Lbl_Processing", "Cmd_Cancel"})
        EXPECT_NE(window.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST(ProcessServerState, CancelSetsTheFlagAndUnloadsTheWindow)
{
    ProcessServer server;
    server.ShowProcess(QStringLiteral("Build"), true, QStringLiteral("&Cancel"));
    QPointer<Frm_Process> window = server.Window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());

    child<QPushButton>(window, "Cmd_Cancel")->click();
    EXPECT_TRUE(server.Canceled());
    EXPECT_EQ(server.Window(), nullptr);
    EXPECT_FALSE(window->isVisible()) << "hidden at once";
    runDeferredDeletes();
    EXPECT_TRUE(window.isNull()) << "deleted once control is back in the event loop";

    server.EndProcess();
    EXPECT_TRUE(server.Canceled());
    server.ShowProcess(QStringLiteral("Build"), true, QStringLiteral("&Cancel"));
    EXPECT_FALSE(server.Canceled());
}

TEST(ProcessServerState, UserClosingTheWindowUnloadsItWithoutCancelling)
{
    ProcessServer server;
    server.ShowProcess(QStringLiteral("Build"), true, QStringLiteral("&Cancel"));
    QPointer<Frm_Process> window = server.Window();
    window->close();
    EXPECT_EQ(server.Window(), nullptr);
    EXPECT_FALSE(server.Canceled());
    runDeferredDeletes();
    EXPECT_TRUE(window.isNull());

    // The next call loads a fresh window.
    server.SetProcessing(QStringLiteral("next"));
    ASSERT_NE(server.Window(), nullptr);
    EXPECT_EQ(child<QLabel>(server.Window(), "Lbl_Processing")->text(), QStringLiteral("next"));
}

TEST(ProcessServerState, NewWindowStartsItsClockAndBarAfresh)
{
    FakeClock fake;
    ProcessServer server;
    server.SetClock(fake.clock());
    server.ShowProcess(QStringLiteral("One"), false, QStringLiteral("&Cancel"));
    Frm_Process* first = server.Window();
    first->Tick();
    *fake.now += 5000;
    server.ShowProcess(QStringLiteral("Two"), true, QStringLiteral("&Cancel"));
    EXPECT_EQ(server.Window(), first);
    EXPECT_EQ(first->StartTime(), 10000);
    server.Window()->Tick();
    EXPECT_EQ(server.Window()->windowTitle(), QStringLiteral("Two    [ 5s ]"));

    server.EndProcess();
    server.ShowProcess(QStringLiteral("Three"), true, QStringLiteral("&Cancel"));
    EXPECT_EQ(server.Window()->StartTime(), 15000);
    EXPECT_EQ(child<QProgressBar>(server.Window(), "PB_Process")->value(), 0);
}

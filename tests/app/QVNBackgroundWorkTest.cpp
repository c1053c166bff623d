// Work on a worker thread while the calling thread's events run: the last message always reaches
// the window, a cancel reaches the work, and work that ignores a cancel is abandoned after the grace.
#include "QVNBackgroundWork.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>

TEST(QVNBackgroundWork, LastMessageCancelAndAbandon)
{
    struct Case
    {
        const char* name;
        int workMs;     ///< how long the work runs unless cancelled
        bool cancel;    ///< the caller asks for a cancel
        int graceMs;    ///< -1: wait for the work's end
        bool workStops; ///< the work looks at its cancel flag
        QVNBackgroundWork::Outcome outcome;
        bool sawCancel;
    };
    const Case cases[] = {
        // Ends while the first poll is still under way: its last message is still shown.
        {"ends during the first poll", 0, false, -1, true, QVNBackgroundWork::Outcome::Finished, false},
        {"several polls", 120, false, -1, true, QVNBackgroundWork::Outcome::Finished, false},
        {"cancelled", 5000, true, -1, true, QVNBackgroundWork::Outcome::Finished, true},
        {"abandoned", 1500, true, 100, false, QVNBackgroundWork::Outcome::Abandoned, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QVNBackgroundWork work;
        QStringList shown;
        work.Show = [&](const QString& m) { shown << m; };
        // The work waits for the first question, which waits for the work's end.
        auto asked = std::make_shared<std::atomic<bool>>(false);
        work.CancelRequested = [&] {
            if (!asked->exchange(true) && c.workMs == 0)
                QThread::msleep(100);
            return c.cancel;
        };
        const QVNProgressListener listener = work.Listener();
        auto stoppedEarly = std::make_shared<std::atomic<bool>>(false);
        QElapsedTimer clock;
        clock.start();
        const auto outcome = work.Run(
            [=] {
                while (!*asked)
                    QThread::msleep(1);
                QElapsedTimer t;
                t.start();
                int step = 0;
                do {
                    bool cancel = false;
                    listener(QStringLiteral("step %1").arg(++step), cancel);
                    if (cancel && c.workStops) {
                        *stoppedEarly = true;
                        break;
                    }
                    QThread::msleep(5);
                } while (t.elapsed() < c.workMs);
                bool cancel = false;
                listener(QStringLiteral("last"), cancel);
            },
            c.graceMs);
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(work.Canceled(), c.sawCancel);
        if (c.outcome == QVNBackgroundWork::Outcome::Finished) {
            ASSERT_FALSE(shown.isEmpty());
            EXPECT_EQ(shown.last(), QStringLiteral("last"));
        }
        if (c.cancel) {
            EXPECT_LT(clock.elapsed(), 1000) << "the cancel did not end the wait";
        }
        EXPECT_EQ(*stoppedEarly, c.cancel && c.workStops);
    }
}

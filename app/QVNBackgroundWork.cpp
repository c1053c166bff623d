#include "QVNBackgroundWork.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <mutex>

struct QVNBackgroundWork::State
{
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::mutex mutex;
    QString message; ///< under mutex
    bool fresh = false;
};

namespace {
/// The workers' own pool: abandoned work may hold a thread for a while (until a server's login
/// time-out), which must not starve the program's other thread-pool users. The pool is destroyed
/// when the program ends and waits for what still runs.
QThreadPool& Pool()
{
    static QThreadPool pool;
    static const bool sized = [] {
        pool.setMaxThreadCount(16);
        pool.setExpiryTimeout(5000);
        return true;
    }();
    (void)sized;
    return pool;
}
} // namespace

QVNBackgroundWork::QVNBackgroundWork() : m_state(std::make_shared<State>()) {}

QVNBackgroundWork::~QVNBackgroundWork() = default;

QVNProgressListener QVNBackgroundWork::Listener() const
{
    // The listener keeps the state alive: abandoned work may call it after this object is gone.
    std::shared_ptr<State> state = m_state;
    return [state](const QString& message, bool& cancel) {
        if (!message.isEmpty()) {
            std::lock_guard lock(state->mutex);
            state->message = message;
            state->fresh = true;
        }
        if (state->cancel)
            cancel = true;
    };
}

bool QVNBackgroundWork::Canceled() const
{
    return m_state->cancel;
}

QVNBackgroundWork::Outcome QVNBackgroundWork::Run(std::function<void()> work, int graceMs)
{
    std::shared_ptr<State> state = m_state;
    Pool().start([state, work = std::move(work)] {
        work();
        state->done = true;
    });

    QEventLoop loop;
    QTimer poll;
    QElapsedTimer sinceCancel;
    Outcome outcome = Outcome::Finished;
    auto showFresh = [&] {
        if (!Show)
            return;
        QString message;
        {
            std::lock_guard lock(state->mutex);
            if (state->fresh)
                message = state->message;
            state->fresh = false;
        }
        if (!message.isEmpty())
            Show(message);
    };
    auto check = [&] {
        showFresh();
        if (state->done) {
            loop.quit();
            return;
        }
        if (!state->cancel && CancelRequested && CancelRequested()) {
            state->cancel = true;
            sinceCancel.start();
            if (OnCancel)
                OnCancel();
        }
        if (state->cancel && graceMs >= 0 && sinceCancel.elapsed() >= graceMs && !state->done) {
            outcome = Outcome::Abandoned;
            loop.quit();
        }
    };
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    poll.start(PollMs);
    check();
    if (!state->done && outcome == Outcome::Finished)
        loop.exec();
    poll.stop();
    if (state->done) {
        outcome = Outcome::Finished;
        // Work that ended between two polls (or before the first) still shows its last message.
        showFresh();
    }
    return outcome;
}

#pragma once

#include "QVNProgress.h"

#include <QString>

#include <functional>
#include <memory>

/**
 * @brief Runs one piece of work on a worker thread while the calling thread's events keep running,
 * so a window keeps painting and answering while a service waits on a server or a disk.
 *
 * Run returns when the work has ended, or when it was cancelled and did not end within the grace
 * time. Such work is abandoned: it runs on to its own end and nobody looks at its result, so it must
 * own everything it touches (hold it by shared_ptr) when the caller allows abandoning it at all.
 *
 * Progress: the work reports through Listener() (a QVNProgressListener that may be called on any
 * thread); the last message reaches Show on the calling thread, and the listener's cancel flag is
 * set once the calling thread saw CancelRequested answer true. Both are polled every PollMs, so
 * messages cost the work no round trips and no thread switches.
 */
class QVNBackgroundWork
{
public:
    enum class Outcome {
        Finished,  ///< the work ended (whether it was cancelled on the way is up to the work)
        Abandoned, ///< cancelled, and still running after the grace time
    };

    /// Asked on the calling thread whether the user wants the work stopped.
    std::function<bool()> CancelRequested;
    /// Called once on the calling thread when the cancel was seen: the place to stop a database
    /// call (QVNDatabase::Cancel) that no listener is asked during.
    std::function<void()> OnCancel;
    /// Shows the work's latest message on the calling thread.
    std::function<void(const QString& message)> Show;
    int PollMs = 20;

    QVNBackgroundWork();
    ~QVNBackgroundWork();
    QVNBackgroundWork(const QVNBackgroundWork&) = delete;
    QVNBackgroundWork& operator=(const QVNBackgroundWork&) = delete;

    /// The listener to hand to the services the work calls.
    QVNProgressListener Listener() const;
    /// Runs `work` on a worker thread; once per object, as the listener belongs to this run.
    /// graceMs < 0 waits for the work's end even after a cancel.
    Outcome Run(std::function<void()> work, int graceMs = -1);
    /// True once the cancel was seen during the run.
    bool Canceled() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

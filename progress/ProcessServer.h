#pragma once

#include "Frm_Process.h"

#include <QObject>
#include <QPointer>
#include <QString>

/**
 * @brief The state one dromale process shares among all its `Process` objects: the cancel flag and
 * the one progress window.
 *
 * The window is loaded on first use and unloaded by EndProcess, by Cancel and when the user closes
 * it; unloading hides it at once and deletes it from the event loop, so a window is never deleted
 * inside one of its own signal handlers. Lives on the GUI thread of the server.
 */
class ProcessServer : public QObject
{
    Q_OBJECT

public:
    explicit ProcessServer(QObject* parent = nullptr);
    ~ProcessServer() override;

    bool Canceled() const { return m_canceled; }
    /// Clears the cancel flag, sets title, status line and Cancel button, and shows the window.
    void ShowProcess(const QString& pStr_Title, bool pBol_CanCancel, const QString& pStr_CancelCaption);
    void SetProcessing(const QString& pStr_Processing);
    /// The native window id, truncated to 32 bits as the interface promises; loads the window.
    qint32 ProcessFormHwnd();
    void EndProcess();

    /// The loaded window, or nullptr.
    Frm_Process* Window() const { return m_window; }
    /// The clock handed to windows loaded from now on.
    void SetClock(Frm_Process::Clock clock) { m_clock = std::move(clock); }

    /// Members for tests only (clicking Cancel, reading the window) are answered when enabled.
    bool TestHooksEnabled() const { return m_testHooks; }
    void SetTestHooksEnabled(bool enabled) { m_testHooks = enabled; }

private:
    Frm_Process* load();
    void unload();
    void cancel();

    bool m_canceled = false;
    QPointer<Frm_Process> m_window;
    Frm_Process::Clock m_clock;
    bool m_testHooks = false;
};

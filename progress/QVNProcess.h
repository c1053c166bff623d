#pragma once

#include "QVNComObject.h"

#include <QString>

#include <functional>

/**
 * @brief Typed access to the progress server's "Dromale.Process" object.
 *
 * A thin layer over QVNComObject: each member makes the call of the same name. Every member
 * returns false (or an empty value) when the call failed and LastError() says why; callers that
 * only show progress may ignore that, as the progress window is a convenience and never the
 * reason an operation fails. Releasing the object closes the window.
 */
class QVNProcess
{
public:
    static QString ClassId() { return QStringLiteral("Dromale.Process"); }

    /// Creates the object; the activation file is looked up in `activationFolder`, by default the
    /// folder of the running program.
    bool Create(const QString& activationFolder = QString()) { return m_object.Create(ClassId(), activationFolder); }
    /// Create() in two halves: Start launches the server, FinishCreate waits until it answers.
    bool Start(const QString& activationFolder = QString()) { return m_object.Start(ClassId(), activationFolder); }
    bool FinishCreate() { return m_object.FinishCreate(); }
    void Release() { m_object.Release(); }
    bool IsCreated() const { return m_object.IsCreated(); }

    bool ShowProcess(const QString& pStr_Title, bool pBol_CanCancel = true);
    bool SetProcessing(const QString& pStr_Processing);
    bool EndProcess();
    bool Quit();
    /// The server's cancel flag; false when the call failed.
    bool ProcessCanceled();
    /// The native id of the progress window (loading it unshown); 0 when the call failed.
    qint32 ProcessFormHwnd();
    QString CancelCaption();
    bool SetCancelCaption(const QString& pStr_CancelCaption);

    QString LastError() const { return m_object.LastError(); }
    QVNComObject& Object() { return m_object; }

    /// A progress listener for long operations: a non-empty message becomes the status line, and
    /// `cancel` is set once the user pressed Cancel. The object must outlive the listener.
    std::function<void(const QString&, bool&)> Listener();

private:
    QVNComObject m_object;
};

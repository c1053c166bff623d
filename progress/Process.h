#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

class ProcessServer;

/**
 * @brief The object a client of dromale holds: one per connection, sharing the server-wide
 * state in ProcessServer.
 *
 * Invoke() is the late-bound entry: it finds the member by name (without regard to case), checks
 * and converts the arguments, and calls it. A property is read with no argument and written with
 * one. Wrong names and wrong arguments come back as an error text; nothing a client sends can end
 * the server. Releasing the object (destroying it) quits it, which closes the window.
 */
class Process
{
public:
    explicit Process(ProcessServer& server);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    /// Caption of the Cancel button at the next ShowProcess.
    QString CancelCaption = QStringLiteral("&Cancel");

    bool ProcessCanceled() const;
    qint32 ProcessFormHwnd();
    void ShowProcess(const QString& pStr_Title, bool pBol_CanCancel = true);
    void SetProcessing(const QString& pStr_Processing);
    void EndProcess();
    void Quit();

    /// Calls `member`; on success sets `result` (empty for operations) and returns true, otherwise
    /// sets `error` to one line and returns false.
    bool Invoke(const QString& member, const QVariantList& arguments, QVariant* result, QString* error);

private:
    bool invokeTestHook(const QString& member, const QVariantList& arguments, QVariant* result, QString* error);

    ProcessServer& m_server;
};

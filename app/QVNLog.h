#pragma once

#include "QVNError.h"

#include <QString>

/// Appends time-stamped lines to a text file.
class QVNLog
{
public:
    const QString& LogFile() const { return m_logFile; }
    void SetLogFile(const QString& pStr_LogFile) { m_logFile = pStr_LogFile; }

    /// Appends "yyyy-MM-dd HH:mm:ss message"; continuation lines are indented by 20 spaces.
    bool SaveLog(const QString& pStr_Mess, const QString& pStr_LogFile = QString());

    QVNError Exceptions;

private:
    QString m_logFile;
};

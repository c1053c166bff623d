#include "QVNLog.h"

#include "QVNFunction.h"

#include <QDateTime>
#include <QFile>

bool QVNLog::SaveLog(const QString& pStr_Mess, const QString& pStr_LogFile)
{
    Exceptions.Clear();
    QString file = pStr_LogFile.trimmed();
    if (file.isEmpty())
        file = m_logFile.trimmed();
    if (file.isEmpty()) {
        Exceptions.Add(QStringLiteral("No log file given"));
        return false;
    }
    // Continuation lines start under the message text: 19 characters of time stamp and a space.
    const bool crlf = pStr_Mess.contains(QStringLiteral("\r\n"));
    const QString newline = crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const QString indent(20, QLatin1Char(' '));
    QString message = pStr_Mess;
    if (crlf)
        message.replace(QStringLiteral("\r\n"), QStringLiteral("\r\n") + indent);
    else
        message.replace(QLatin1Char('\n'), QLatin1Char('\n') + indent);
    while (message.endsWith(QLatin1Char(' ')))
        message.chop(1);
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                         QLatin1Char(' ') + message + newline;

    QVNFunction fn;
    if (!fn.CreateParentFolder(file)) {
        Exceptions.AddExceptions(fn.Exceptions);
        return false;
    }
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        Exceptions.Add(QStringLiteral("Cannot open the log file \"%1\": %2").arg(file, f.errorString()));
        return false;
    }
    const QByteArray bytes = line.toUtf8();
    if (f.write(bytes) != bytes.size()) {
        Exceptions.Add(QStringLiteral("Cannot write the log file \"%1\": %2").arg(file, f.errorString()));
        return false;
    }
    return true;
}

#include "ProgressTestSupport.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>

QString appFolder()
{
    return QStringLiteral(QUORVIN_APP_DIR);
}

bool processExists(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH);
}

bool waitForProcessGone(qint64 pid, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (processExists(pid)) {
        if (timer.elapsed() > milliseconds)
            return false;
        QThread::msleep(10);
    }
    return true;
}

QVariant windowProperty(QVNComObject& object, const char* name)
{
    return object.Call(QStringLiteral("TestWindow"), {QString::fromLatin1(name)});
}

bool writeScript(const QString& path, const QByteArray& body)
{
    if (!writeBytes(path, "#!/bin/sh\n" + body + "\n"))
        return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

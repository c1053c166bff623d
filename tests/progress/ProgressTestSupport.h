#pragma once

#include "QVNComObject.h"

#include <QString>
#include <QVariant>

/// The application folder of the build, which holds dromale, dromale-ctl and activation.ini.
QString appFolder();
/// True while a process with this id exists.
bool processExists(qint64 pid);
/// Waits up to `milliseconds` for the process to disappear; true when it did.
bool waitForProcessGone(qint64 pid, int milliseconds);
/// Reads one property of the server's window through the test-only member.
QVariant windowProperty(QVNComObject& object, const char* name);
/// Writes an executable shell script; true on success.
bool writeScript(const QString& path, const QByteArray& body);

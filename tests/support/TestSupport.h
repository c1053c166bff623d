#pragma once

#include "QtPrinters.h"

#include <QByteArray>
#include <QHash>
#include <QString>

/// Writes raw bytes to a file (creating parent folders); true on success.
bool writeBytes(const QString& path, const QByteArray& bytes);
/// Reads raw bytes from a file; empty when it cannot be read.
QByteArray readBytes(const QString& path);
/// The folder of checked-in test fixtures (tests/data).
QString testDataDir();
/// The KEY=value lines of a server fixture's environment file; empty when it cannot be read.
QHash<QString, QString> readEnvFile(const QString& path);

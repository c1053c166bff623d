#pragma once

#include "QtPrinters.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

/// A temporary folder that is removed with everything in it when the test ends.
class TempDir
{
public:
    TempDir() : m_dir(QDir::tempPath() + QStringLiteral("/quorvin-test-XXXXXX")) {}

    bool isValid() const { return m_dir.isValid(); }
    /// The folder path without a trailing "/".
    QString path() const { return m_dir.path(); }
    /// A path below the folder.
    QString file(const QString& relative) const { return m_dir.path() + QLatin1Char('/') + relative; }

private:
    QTemporaryDir m_dir;
};

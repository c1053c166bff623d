#pragma once

// Shared by the fuzz targets: a private scratch folder per process and a way to hand bytes to
// readers that take a file name.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace fuzzsupport {

/// A folder private to this process, removed at exit; /dev/shm when available, to spare the disk.
inline const QString& ScratchFolder()
{
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                 ? QStringLiteral("/dev/shm/quorvin-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/quorvin-fuzz-XXXXXX"));
    static const QString path = dir.path() + QLatin1Char('/');
    return path;
}

/// Writes the input to `name` in the scratch folder and returns the file's path.
inline QString WriteInput(const std::uint8_t* data, std::size_t size, const QString& name)
{
    const QString path = ScratchFolder() + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    return path;
}

inline QByteArray Bytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

} // namespace fuzzsupport

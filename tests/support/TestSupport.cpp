#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

QString testDataDir()
{
    return QStringLiteral(QUORVIN_TEST_DATA_DIR);
}

QHash<QString, QString> readEnvFile(const QString& path)
{
    QHash<QString, QString> values;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return values;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)).trimmed());
    }
    return values;
}

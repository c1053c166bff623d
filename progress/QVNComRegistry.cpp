#include "QVNComRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString QVNComRegistry::Lookup(const QString& folder, const QString& classId, QString* error)
{
    const QString path = QDir(folder).filePath(FileName());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("Class \"%1\" is not registered: cannot read the activation file %2 (%3)")
                     .arg(classId, QDir::toNativeSeparators(path), file.errorString());
        return QString();
    }

    bool inClasses = false;
    QString executable;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inClasses =
                line.mid(1, line.size() - 2).trimmed().compare(QLatin1String("Classes"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inClasses || equals <= 0)
            continue;
        // The first entry wins, as in every other INI file the program reads.
        if (line.left(equals).trimmed().compare(classId.trimmed(), Qt::CaseInsensitive) == 0) {
            executable = line.mid(equals + 1).trimmed();
            break;
        }
    }

    if (executable.isEmpty()) {
        *error = QStringLiteral("Class \"%1\" is not registered in %2").arg(classId, QDir::toNativeSeparators(path));
        return QString();
    }
    const QFileInfo info(QDir(folder).filePath(executable));
    if (!info.isFile() || !info.isExecutable()) {
        *error = QStringLiteral("The server of class \"%1\" is missing or not executable: %2")
                     .arg(classId, QDir::toNativeSeparators(info.absoluteFilePath()));
        return QString();
    }
    return info.absoluteFilePath();
}

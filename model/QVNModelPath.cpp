#include "QVNModelPath.h"

#include <QStringList>

QString QVNModelPath::Normalize(const QString& path)
{
    QString s = path;
    s.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return s;
}

bool QVNModelPath::StaysInside(const QString& path)
{
    const QString s = Normalize(path);
    if (s.startsWith(QLatin1Char('/')))
        return false;
    if (s.size() >= 2 && s.at(1) == QLatin1Char(':') && s.at(0).isLetter())
        return false; // a drive letter, with or without a following separator
    if (s.contains(QChar(0)))
        return false;
    int depth = 0;
    for (const QString& part : s.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (--depth < 0)
                return false;
        } else {
            ++depth;
        }
    }
    return true;
}

QString QVNModelPath::Clean(const QString& path)
{
    const QString s = Normalize(path);
    QStringList kept;
    for (const QString& part : s.split(QLatin1Char('/'))) {
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(part);
    }
    QString out = kept.join(QLatin1Char('/'));
    if (!out.isEmpty() && s.endsWith(QLatin1Char('/')))
        out += QLatin1Char('/');
    return out;
}

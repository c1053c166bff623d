#include "QVNKeepTags.h"

#include <QRegularExpression>

QString QVNKeepTags::Apply(const QString& text)
{
    if (!text.contains(u"<ORVE_KEEP"))
        return text;
    // The name stays on the tag's line and holds no "<": a tag cut by a line break or holding
    // another tag is left for the leftover-tag check to report.
    static const QRegularExpression tag(QStringLiteral("<ORVE_KEEP(BEGIN|END)>([^<\\r\\n]*)</ORVE_KEEP\\1>"));
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QString result;
    result.reserve(text.size());
    qsizetype from = 0;
    for (auto it = tag.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        result.append(QStringView(text).mid(from, m.capturedStart() - from));
        QString name = m.captured(2).trimmed();
        name.replace(space, QStringLiteral("_"));
        result.append(m.captured(1) == QLatin1String("BEGIN") ? QStringView(kBeginMarker) : QStringView(kEndMarker));
        result.append(name);
        from = m.capturedEnd();
    }
    result.append(QStringView(text).mid(from));
    return result;
}

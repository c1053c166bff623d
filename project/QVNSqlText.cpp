#include "QVNSqlText.h"

qsizetype QVNSqlText::SplitList(const QString& sql, qsizetype open, QStringList& parts)
{
    parts.clear();
    QString current;
    int depth = 0;
    QChar quote;
    qsizetype i = open + 1;
    for (; i < sql.size(); ++i) {
        const QChar ch = sql.at(i);
        if (!quote.isNull()) {
            current += ch;
            if (ch == quote)
                quote = QChar();
            continue;
        }
        if (ch == QLatin1Char('\'') || ch == QLatin1Char('"') || ch == QLatin1Char('`')) {
            quote = ch;
        } else if (ch == QLatin1Char('[')) {
            quote = QLatin1Char(']');
        } else if (ch == QLatin1Char('(')) {
            ++depth;
        } else if (ch == QLatin1Char(')')) {
            if (depth == 0)
                break;
            --depth;
        } else if (ch == QLatin1Char(',') && depth == 0) {
            parts << current.trimmed();
            current.clear();
            continue;
        }
        current += ch;
    }
    parts << current.trimmed();
    return i;
}

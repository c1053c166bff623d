#include "QVNTableExport.h"

#include <QSaveFile>

QString QVNTableExport::CellHtml(const QString& text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1String("'"), QLatin1String("&#39;"));
    html.replace(QLatin1String("\r\n"), QLatin1String("<BR>"));
    html.replace(QLatin1Char('\n'), QLatin1String("<BR>"));
    html.replace(QLatin1Char('\r'), QLatin1String("<BR>"));
    return html;
}

QString QVNTableExport::ToHtml(const QString& title, const QStringList& headings, const QList<QStringList>& rows)
{
    QString html;
    html.reserve(256 + rows.size() * headings.size() * 24);
    html += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>") + CellHtml(title) +
            QStringLiteral("</title>\n<style>table{border-collapse:collapse}td,th{border:1px solid #999;"
                           "padding:2px 6px;vertical-align:top}</style>\n</head>\n<body>\n<table>\n<tr>");
    for (const QString& heading : headings)
        html += QStringLiteral("<th>") + CellHtml(heading) + QStringLiteral("</th>");
    html += QStringLiteral("</tr>\n");
    for (const QStringList& row : rows) {
        html += QStringLiteral("<tr>");
        for (int i = 0; i < headings.size(); ++i)
            html += QStringLiteral("<td>") + CellHtml(i < row.size() ? row[i] : QString()) + QStringLiteral("</td>");
        html += QStringLiteral("</tr>\n");
    }
    html += QStringLiteral("</table>\n</body>\n</html>\n");
    return html;
}

bool QVNTableExport::WriteHtml(const QString& file, const QString& title, const QStringList& headings,
                               const QList<QStringList>& rows)
{
    Exceptions.Clear();
    if (file.trimmed().isEmpty()) {
        Exceptions.Add(QStringLiteral("No file was named"));
        return false;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        Exceptions.Add(QStringLiteral("Cannot write %1: %2").arg(file, out.errorString()));
        return false;
    }
    out.write(ToHtml(title, headings, rows).toUtf8());
    if (!out.commit()) {
        Exceptions.Add(QStringLiteral("Cannot write %1: %2").arg(file, out.errorString()));
        return false;
    }
    return true;
}

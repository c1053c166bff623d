#include "QVNTableExport.h"

#include "QVNRecordset.h"

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

bool QVNTableExport::Open(QSaveFile& out)
{
    Exceptions.Clear();
    if (out.fileName().trimmed().isEmpty()) {
        Exceptions.Add(QStringLiteral("No file was named"));
        return false;
    }
    if (!out.open(QIODevice::WriteOnly)) {
        Exceptions.Add(QStringLiteral("Cannot write %1: %2").arg(out.fileName(), out.errorString()));
        return false;
    }
    return true;
}

bool QVNTableExport::WriteHtml(const QString& file, const QString& title, const QStringList& headings,
                               const QList<QStringList>& rows)
{
    QSaveFile out(file);
    if (!Open(out))
        return false;
    out.write(ToHtml(title, headings, rows).toUtf8());
    if (!out.commit()) {
        Exceptions.Add(QStringLiteral("Cannot write %1: %2").arg(file, out.errorString()));
        return false;
    }
    return true;
}

QString QVNTableExport::CsvField(const QString& text)
{
    if (text.isNull())
        return QString();
    if (text.isEmpty())
        return QStringLiteral("\"\"");
    bool quote = false;
    for (const QChar c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            quote = true;
            break;
        }
    }
    if (!quote)
        return text;
    QString field = text;
    field.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

bool QVNTableExport::WriteCsv(const QString& file, QVNRecordset& rs, const std::atomic<bool>& cancel)
{
    return Stream(file, rs, cancel, true, QString());
}

bool QVNTableExport::WriteHtml(const QString& file, const QString& title, QVNRecordset& rs,
                               const std::atomic<bool>& cancel)
{
    return Stream(file, rs, cancel, false, title);
}

bool QVNTableExport::Stream(const QString& file, QVNRecordset& rs, const std::atomic<bool>& cancel, bool csv,
                            const QString& title)
{
    QSaveFile out(file);
    if (!Open(out))
        return false;
    const int fields = rs.FieldCount();
    QString text;
    auto flush = [&out, &text](bool force) {
        if (!force && text.size() < 256 * 1024)
            return true;
        const QByteArray bytes = text.toUtf8();
        text.clear();
        return out.write(bytes) == bytes.size();
    };
    if (csv) {
        for (int i = 0; i < fields; ++i)
            text += (i ? QStringLiteral(",") : QString()) + CsvField(rs.FieldName(i).trimmed());
        text += QStringLiteral("\r\n");
    } else {
        text += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>") + CellHtml(title) +
                QStringLiteral("</title>\n<style>table{border-collapse:collapse}td,th{border:1px solid #999;"
                               "padding:2px 6px;vertical-align:top}</style>\n</head>\n<body>\n<table>\n<tr>");
        for (int i = 0; i < fields; ++i)
            text += QStringLiteral("<th>") + CellHtml(rs.FieldName(i).trimmed()) + QStringLiteral("</th>");
        text += QStringLiteral("</tr>\n");
    }
    bool ok = true;
    for (; ok && !rs.IsEof(); rs.MoveNext()) {
        if (cancel) {
            out.cancelWriting();
            Exceptions.Add(QStringLiteral("Cancelled"));
            return false;
        }
        if (!csv)
            text += QStringLiteral("<tr>");
        for (int i = 0; i < fields; ++i) {
            const QString value = rs.IsNull(i) ? QString() : rs.Value(i);
            if (csv)
                text += (i ? QStringLiteral(",") : QString()) + CsvField(rs.IsNull(i)      ? QString()
                                                                         : value.isEmpty() ? QStringLiteral("")
                                                                                           : value);
            else
                text += QStringLiteral("<td>") + CellHtml(value) + QStringLiteral("</td>");
        }
        text += csv ? QStringLiteral("\r\n") : QStringLiteral("</tr>\n");
        ok = flush(false);
    }
    if (!rs.Errors().isEmpty()) {
        out.cancelWriting();
        Exceptions.Add(rs.Errors().join(QStringLiteral("; ")));
        return false;
    }
    if (!csv)
        text += QStringLiteral("</table>\n</body>\n</html>\n");
    if (!ok || !flush(true) || !out.commit()) {
        Exceptions.Add(QStringLiteral("Cannot write %1: %2").arg(file, out.errorString()));
        return false;
    }
    return true;
}

#pragma once

#include "QVNError.h"

#include <QList>
#include <QString>
#include <QStringList>

/**
 * @brief A result set written as an HTML page: one table, the field names as its heading row.
 *
 * Every cell and heading is escaped (&, <, >, quotes) before its line breaks become <BR>, so a
 * value is shown exactly as stored and never read as markup. The page is UTF-8 and says so.
 */
class QVNTableExport
{
public:
    QVNError Exceptions;

    static QString ToHtml(const QString& title, const QStringList& headings, const QList<QStringList>& rows);
    /// Writes the page to `file` atomically (a failure leaves an existing file as it was).
    bool WriteHtml(const QString& file, const QString& title, const QStringList& headings,
                   const QList<QStringList>& rows);
    /// One cell's text as HTML: escaped, CR LF, LF and CR each made one <BR>.
    static QString CellHtml(const QString& text);
};

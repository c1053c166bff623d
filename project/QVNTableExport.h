#pragma once

#include "QVNError.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

class QSaveFile;
class QVNRecordset;

/**
 * @brief A result set written as an HTML page: one table, the field names as its heading row.
 *
 * Every cell and heading is escaped (&, <, >, quotes) before its line breaks become <BR>, so a
 * value is shown exactly as stored and never read as markup. The page is UTF-8 and says so.
 *
 * A result may also be written straight from an open cursor, record by record (HTML or CSV), so
 * a result of any size is exported without being held. CSV follows RFC 4180: UTF-8, CR LF after
 * every record, a field with a comma, quote, CR or LF quoted and its quotes doubled; a database
 * null is an empty field and the empty text a quoted empty field ("").
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

    /// One CSV field: a null QString (a database null) gives nothing, the empty text "".
    static QString CsvField(const QString& text);
    /// The records of rs from its current one on, as CSV with a heading record; stops without
    /// writing the file when cancel becomes true.
    bool WriteCsv(const QString& file, QVNRecordset& rs, const std::atomic<bool>& cancel);
    /// The same as an HTML page (null cells empty).
    bool WriteHtml(const QString& file, const QString& title, QVNRecordset& rs, const std::atomic<bool>& cancel);

private:
    /// Opens `out` for writing; false with one line when no file is named or it cannot be written.
    bool Open(QSaveFile& out);
    bool Stream(const QString& file, QVNRecordset& rs, const std::atomic<bool>& cancel, bool csv, const QString& title);
};

#pragma once

#include "TQXCols.h"
#include "TQXRows.h"

#include <QByteArray>
#include <QString>

/**
 * @brief The JSON data format of quorvin-cli: row and column sets as JSON (see docs/json-data-format.md).
 *
 * Sets are arrays because their order matters:
 *   column set: {"tag": "T", "cols": [COL, ...]}
 *   COL:        {"key": "K", "value": V, "name": "", "type": "", "tag": ""}   (all but "key"/"value" optional)
 *   V:          a string, a number, true/false, null (empty), a column set object or a row set object
 *   row set:    {"tag": "TABLES", "rows": [ROW, ...]}
 *   ROW:        {"key": "", "name": "", "tag": "", "cols": a column set object or a bare array of COL}
 *
 * Numbers keep VBScript's text form: an integral number within the 32-bit range becomes an integer
 * value, every other number a double (so 3 reads "3", 2.5 reads "2.5", 1e20 reads "1E+20").
 * Duplicate keys follow the sets' rule: the first element of a key wins, later ones are dropped.
 * Never throws; failures are reported through the result and one line of text.
 */
class QVNJsonData
{
public:
    /// Parses the format; result holds a TQXRowsPtr (row set) or a TQXColsPtr (column set).
    /// On failure false and one clear line in error.
    static bool Parse(const QByteArray& json, TQXValue& result, QString& error);
    /// The largest data file ReadFile accepts (256 MiB).
    static constexpr qint64 kMaxFileBytes = qint64(256) << 20;
    /// Reads the file and parses it; a missing or unreadable file, or one larger than
    /// kMaxFileBytes, is a failure like malformed JSON.
    static bool ReadFile(const QString& path, TQXValue& result, QString& error);
    /// A row set object, nested sets included (a set that contains itself is written as null there).
    static QByteArray Write(const TQXRowsPtr& rows);
    /// A column set object, nested sets included.
    static QByteArray Write(const TQXColsPtr& cols);
};

#pragma once

#include "OdbcHandle.h"

#include <QString>
#include <QStringList>

#include <vector>

class OdbcWatchdog;

/**
 * @brief A forward-only, read-only cursor over one executed statement.
 *
 * Owns its statement handle. The current record's values are read as text when the cursor moves
 * onto it, so field values can be asked for in any order. A failure while moving ends the cursor
 * (IsEof() becomes true) and leaves the driver's texts in Errors().
 */
class QVNRecordset
{
public:
    struct Field
    {
        QString name;
        int sqlType = 0;
        qint64 columnSize = 0;
        int decimalDigits = 0;
        int nullable = SQL_NULLABLE_UNKNOWN;
        QString typeName;
    };

    /// Takes over a statement that has just been executed; moves onto its first record.
    QVNRecordset(OdbcStatement statement, OdbcWatchdog* watchdog = nullptr, int timeoutSeconds = 0);

    bool IsOpen() const { return static_cast<bool>(m_statement); }
    bool IsEof() const { return m_eof; }
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    const Field& FieldInfo(int index) const { return m_fields[index]; }
    QString FieldName(int index) const { return m_fields[index].name; }
    /// The value as the driver renders it in text; the empty text for a database null.
    QString Value(int index) const { return m_values[index].isEmpty() ? QString() : m_values[index]; }
    bool IsNull(int index) const { return m_nulls[index]; }
    /// Position of the field with this name (ignoring case and surrounding spaces), or -1.
    int FieldIndex(const QString& name) const;

    /// Reads only these fields (positions; others read as null) from the next record on, for a
    /// caller that needs a few fields of a wide result. Empty = every field again.
    void ReadOnlyFields(const std::vector<int>& fields);

    bool MoveNext();
    void Close();
    const QStringList& Errors() const { return m_errors; }

private:
    bool Fetch();
    bool ReadValue(int index);

    OdbcStatement m_statement;
    OdbcWatchdog* m_watchdog;
    int m_timeout;
    std::vector<Field> m_fields;
    QStringList m_values;
    std::vector<bool> m_nulls;
    std::vector<int> m_read; // the fields Fetch reads, in order
    bool m_eof = true;
    QStringList m_errors;
};

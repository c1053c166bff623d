#pragma once

#include <QList>
#include <QString>

/**
 * @brief An ODBC connection string as an ordered list of key/value pairs.
 *
 * Parse and Build are inverse: a string parsed and built again keeps every key in its place, with
 * keys the editor does not know left as they were. A value in braces may hold ";" and "=", and
 * "}}" inside braces stands for one "}". Keys are compared without regard to case, as drivers do.
 */
class QVNConnectionString
{
public:
    struct Entry
    {
        QString key;
        QString value;
    };

    QVNConnectionString() = default;
    /// Parses `text`; false (with the reason in Error()) when a brace is not closed. The pairs read
    /// before the fault are kept.
    bool Parse(const QString& text);
    QString Error() const { return m_error; }

    /// The string again: "KEY=VALUE;" per pair, values quoted where they must be.
    QString Build() const;

    bool Contains(const QString& key) const { return IndexOf(key) >= 0; }
    QString Value(const QString& key) const;
    /// Replaces the value of the first pair with this key (its place and spelling kept) or appends
    /// the pair; an empty value removes the key.
    void SetValue(const QString& key, const QString& value);
    void Remove(const QString& key);
    const QList<Entry>& Entries() const { return m_entries; }

    /// A value as it must be written: in braces (with "}" doubled) when it holds ";", braces,
    /// surrounding spaces or starts with "{"; the driver's name is always written in braces.
    static QString Quote(const QString& key, const QString& value);

    /// Where a connection string leads, in the words a user knows it by: "database on
    /// server:port", the database file's name, or the data source's name; never the password.
    static QString Describe(const QString& text);

private:
    int IndexOf(const QString& key) const;

    QList<Entry> m_entries;
    QString m_error;
};

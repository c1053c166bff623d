#pragma once

#include <QString>
#include <QStringList>

#include <vector>

/// Reading the SQL texts a database keeps in its own catalog (SQLite's CREATE statements).
struct QVNSqlText
{
    /// Splits the text after the "(" at `open` at the commas outside parentheses and quotes ('…',
    /// "…", `…`, […]) up to the matching ")". `parts` gets the pieces trimmed, the last one too when
    /// the ")" is missing. Returns the position of that ")", or the text's length.
    static qsizetype SplitList(const QString& sql, qsizetype open, QStringList& parts);

    struct Check
    {
        /// The name after CONSTRAINT, unquoted; empty when the check has none.
        QString name;
        /// The condition inside CHECK's parentheses, as written.
        QString expression;
        /// The column whose definition holds the check; empty for a check of the table.
        QString column;
    };
    /// The CHECK constraints of a CREATE TABLE statement in the order written, those of the table
    /// and those of its columns alike. Quoted names and texts, comments and nested parentheses are
    /// read as such, so a word "check" inside them starts nothing.
    static std::vector<Check> Checks(const QString& createTable);

    /// MariaDB's and MySQL's `name` written the standard way, "name", so that every database can
    /// read the expression; texts in '…' and names already in "…" stay as they are.
    static QString StandardQuotes(const QString& expression);
};

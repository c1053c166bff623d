#pragma once

#include <QString>
#include <QStringList>

/// Reading the SQL texts a database keeps in its own catalog (SQLite's CREATE statements).
struct QVNSqlText
{
    /// Splits the text after the "(" at `open` at the commas outside parentheses and quotes ('…',
    /// "…", `…`, […]) up to the matching ")". `parts` gets the pieces trimmed, the last one too when
    /// the ")" is missing. Returns the position of that ")", or the text's length.
    static qsizetype SplitList(const QString& sql, qsizetype open, QStringList& parts);
};

#pragma once

#include "TQXCols.h"
#include "TQXRows.h"

#include <QString>

#include <initializer_list>
#include <utility>

// Small builders for the sets the engine tests feed in.

inline TQXColsPtr makeCols(std::initializer_list<std::pair<QString, TQXValue>> values, const QString& tag = QString())
{
    auto cols = TQXCols::Create();
    cols->SetTag(tag);
    for (const auto& [key, value] : values)
        cols->Add(value, key);
    return cols;
}

/// A row set tagged `tag` whose rows carry one column `key` with the given values.
inline TQXRowsPtr makeRows(const QString& tag, const QString& key, std::initializer_list<QString> values)
{
    auto rows = TQXRows::Create();
    rows->SetTag(tag);
    int n = 0;
    for (const QString& v : values)
        rows->Add(makeCols({{key, v}}), QStringLiteral("r%1").arg(++n));
    return rows;
}

/// The CR LF twin of a text written with LF.
inline QString crlf(QString text)
{
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

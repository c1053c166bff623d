#pragma once
// What the "tables" and "columns" commands share: opening a project with its table list, and
// printing a row set as aligned text or as JSON.
#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNJsonData.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace CmdProjectOutput {

/// Opens the project file and reads its tables; 0 when that worked, else the exit code (2: the
/// file is not a readable, intact project, 1: its database cannot be reached) after printing why.
inline int OpenWithTables(QVNProject& project, const QString& file, const QString& command)
{
    QVNProjectLifecycle lifecycle;
    if (lifecycle.Open(file, project))
        return 0;
    CliError(command + QStringLiteral(": ") + lifecycle.Exceptions.ToString());
    return lifecycle.LastFailure() == QVNProjectLifecycle::Failure::BadInput ? 2 : 1;
}

/// Rows of cells as columns padded to the widest cell, measured in display width (a Chinese
/// character counts two), separated by two spaces.
inline void PrintAligned(const QList<QStringList>& rows)
{
    QVNFunction& fn = Mdl_Main::Function();
    QList<int> widths;
    for (const QStringList& row : rows) {
        for (int i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = std::max(widths[i], fn.Length(row.at(i)));
        }
    }
    QString out;
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            line += row.at(i);
            if (i + 1 < row.size())
                line += QString(widths[i] - fn.Length(row.at(i)) + 2, QLatin1Char(' '));
        }
        out += line + QLatin1Char('\n');
    }
    std::fputs(out.toUtf8().constData(), stdout);
}

/// The row set in the JSON data format, nested sets included, followed by a line break.
inline void PrintJson(const TQXRowsPtr& rows)
{
    const QByteArray text = QVNJsonData::Write(rows);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    std::fputc('\n', stdout);
}

} // namespace CmdProjectOutput

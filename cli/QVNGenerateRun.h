#pragma once

#include "TQXCols.h"
#include "TQXRows.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The terminal face of a build: QVNGenerate runs it; this shows its progress on standard error and
// turns Ctrl-C into its cancel flag.

/**
 * @brief Runs one build headless and reports like the build dialog.
 *
 * `model` is a package file, `outDir` the output folder (made absolute; created by the build),
 * `tables` the table set (tag "TABLES"; null means no table chosen), `projectVars` and `overrides`
 * as for QVNGenerate::BuildVariables. The build's main progress messages (the dialog's log) go to
 * standard error, one per line; when standard error is a terminal, the engine's messages show on a
 * live progress line. Ctrl-C (SIGINT) cancels like the progress window's Cancel: the build stops at
 * its next check and the result is false (a second Ctrl-C ends the program). When the model names
 * a read-me page (MI_README), the page gets the log filled in as the dialog does. The absolute
 * output folder is written to standard output.
 *
 * The model's diagnostics ("file:line:column: reason") are lines of that log; `strict` makes a build
 * with diagnostics fail.
 *
 * Returns the exit code: 0 the build returned true, 1 it returned false, 2 bad input (a missing
 * package, a file that is not a model package, a malformed override).
 */
int RunGenerate(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides, bool strict = false);

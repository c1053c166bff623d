#pragma once

#include "TQXCols.h"
#include "TQXRows.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

/**
 * Headless generation: what the build dialog does around QVNModel::BuildProcess, without windows.
 * Shared by `quorvin-cli generate --data` and the project road (`--project`), which only differ in
 * where the table set and the project variables come from.
 */

/**
 * @brief The variable set the build dialog hands to a build.
 *
 * In order: RVG_DATE ("yyyy-MM-dd"), RVG_DATETIME ("yyyy-MM-dd hh:mm:ss"), one "RVG_" + name per
 * project variable (`projectVars` as (name, value) pairs, names without the prefix, e.g. ("P_NO",
 * "001"), exactly as the dialog's AddVariable receives them), RVG_FOLDER = `outFolder` (ending in
 * "/"), then one variable per record of the model's MI_VARIABLE list: key MV_NO, value MV_DEFAULT
 * expanded with the template engine against the dialog variables (dates and project variables).
 * Each "KEY=VALUE" of `overrides` then replaces the value of the variable KEY (any case), or is
 * appended when no such variable exists. False with one line in `error` for an override without "=".
 */
bool BuildGenerateVariables(const TQXColsPtr& modelInfo, const QString& outFolder,
                            const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides,
                            TQXColsPtr& variables, QString& error);

/**
 * @brief Runs one build headless and reports like the build dialog.
 *
 * `model` is a package file, `outDir` the output folder (made absolute; created by the build),
 * `tables` the table set (tag "TABLES"; null means no table chosen), `projectVars` and `overrides`
 * as for BuildGenerateVariables. The build's main progress messages (the dialog's log) go to
 * standard error, one per line; when standard error is a terminal, the engine's messages show on a
 * live progress line. Ctrl-C (SIGINT) cancels like the progress window's Cancel: the build stops at
 * its next check and the result is false (a second Ctrl-C ends the program). When the model names
 * a read-me page (MI_README), the page gets the log filled in as the dialog does. The absolute
 * output folder is written to standard output.
 *
 * Returns the exit code: 0 the build returned true, 1 it returned false, 2 bad input (a missing
 * package, a file that is not a model package, a malformed override).
 */
int RunGenerate(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides);

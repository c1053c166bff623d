#pragma once

#include "QVNError.h"
#include "QVNProgress.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

/**
 * @brief One generation as the build dialog runs it, without any window: the variables the dialog
 * passes, the check of the package, the build itself, the causes of a failure and the read-me log.
 *
 * The build dialog and `quorvin-cli generate` both run builds through this class; they differ only
 * in how they show progress and where the table set comes from. One object per build (it may be
 * reused; every Run starts afresh). Single-threaded; the build lets pending events run through
 * QVNEvents.
 *
 * Error contract: Run clears Exceptions and returns false with one line per failure. BadInput()
 * then tells whether the request itself was unusable (nothing was built) or the build failed or
 * was cancelled.
 */
class QVNGenerate
{
public:
    QVNError Exceptions;
    /// The build's main messages, each also a line of Log(), and the empty message of every cancel
    /// check. Set `cancel` to stop the build at its next check.
    QVNProgressListener Progress;
    /// The template engine's messages, as "<last main message>  [  <engine message>  ]".
    QVNProgressListener Detail;

    /**
     * @brief The variable set the build dialog hands to a build.
     *
     * In order: RVG_DATE ("yyyy-MM-dd"), RVG_DATETIME ("yyyy-MM-dd hh:mm:ss"), one "RVG_" + name per
     * project variable (`projectVars` as (name, value) pairs, names without the prefix, e.g. ("P_NO",
     * "001"), exactly as the dialog's AddVariable receives them), RVG_FOLDER = `outFolder` (ending in
     * "/"), then one variable per record of the model's MI_VARIABLE list: key MV_NO, value MV_DEFAULT
     * expanded with the template engine against the dialog variables (dates and project variables).
     * Each "KEY=VALUE" of `overrides` then replaces the value of the variable KEY (any case), or is
     * appended when no such variable exists. False with one line in `error` for an override without
     * "=".
     */
    static bool BuildVariables(const TQXColsPtr& modelInfo, const QString& outFolder,
                               const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides,
                               TQXColsPtr& variables, QString& error);

    /// The output folder proposed for a project: its P_PATH when set, else the output folder of the
    /// settings + the project file's name without its extension.
    static QString DefaultOutputFolder(const QString& projectFolder, const QString& projectFile);

    /// The folder a build dialog writes to: `wanted` (trimmed, ending in "/") when it exists or can be
    /// created, else the application folder's "out/" (created).
    static QString UsableOutputFolder(const QString& wanted);

    /**
     * @brief Runs one build.
     *
     * `model` is a package file, `outDir` the output folder (made absolute; created by the build),
     * `tables` the table set (tag "TABLES"; null means no table chosen), `projectVars` and
     * `overrides` as for BuildVariables. When the model names a read-me page (MI_README), the page
     * gets the log filled in as the dialog does, whether the build succeeded or not.
     * @return true when the build returned true.
     */
    bool Run(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
             const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides);

    /// True when the last Run failed before building: a missing package, a file that is not a model
    /// package, a malformed override.
    bool BadInput() const { return m_badInput; }
    /// True when the last Run was cancelled through a listener.
    bool Canceled() const { return m_canceled; }
    /// The main messages of the last build, each followed by CR LF (the dialog's log).
    const QString& Log() const { return m_log; }
    /// The absolute output folder of the last Run, ending in "/".
    const QString& OutputFolder() const { return m_out; }
    /// The model-list record of the package of the last Run (null when it could not be read).
    const TQXColsPtr& ModelInfo() const { return m_info; }
    /// After a failed build: the causes that are not already lines of the log, indented five spaces
    /// per level, for showing beneath it.
    QStringList FailureCauses() const;
    /// The read-me page of the last build (absolute path), or empty when the model names none.
    const QString& ReadmePage() const { return m_readme; }
    /// True when the read-me page got the log; false when it is missing or could not be written.
    bool ReadmeFilled() const { return m_readmeFilled; }
    /// Strict builds fail when the model's templates have diagnostics (the outputs are still written).
    void SetStrict(bool strict) { m_strict = strict; }
    /// The last build's diagnostics as "file:line:column: reason" (each also a line of the log).
    const QStringList& Diagnostics() const { return m_diagnostics; }

private:
    bool m_badInput = false;
    bool m_canceled = false;
    bool m_readmeFilled = false;
    bool m_strict = false;
    QStringList m_diagnostics;
    QString m_log;
    QString m_out;
    QString m_readme;
    TQXColsPtr m_info;
};

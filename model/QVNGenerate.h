#pragma once

#include "QVNBuildOutput.h"
#include "QVNError.h"
#include "QVNProgress.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

/// One build as the build dialog or `quorvin-cli generate` asks for it.
struct QVNBuildRequest
{
    QString model;     ///< the package file
    QString outDir;    ///< the output folder (made absolute)
    TQXRowsPtr tables; ///< the chosen tables (tag "TABLES"); null means none
    /// The caller's variables exactly as the build receives them (RVG_DATE, RVG_DATETIME, RVG_P_NO
    /// ...). Null: the two dates only.
    TQXColsPtr variables;
    /// Model variable (MV_NO, any case) -> the value to use instead of its default; a key that is
    /// no model variable is added.
    QMap<QString, QString> overrides;
    QVNBuildOutput::ConflictPolicy onConflict = QVNBuildOutput::ConflictPolicy::Merge;
    /// Mistakes found in the model's templates make the build fail.
    bool strict = false;
    /// The language number the model's texts are taken in; empty: the language the program runs in.
    QString language;

    /// RVG_DATE and RVG_DATETIME of now, then "RVG_" + each of `project`'s keys (P_NO ...).
    void SetProjectVariables(const TQXColsPtr& project);
};

/**
 * @brief One generation as the build dialog runs it, without any window: the variables, the check
 * of the package, the build into a staging folder, the checks of what it produced, the read-me log,
 * the classification of every file against the output folder, and publishing.
 *
 * The build dialog and `quorvin-cli generate` both run builds through this class. Prepare builds
 * into the staging folder and leaves the output folder untouched; the caller may look at Output()
 * and change the actions, then Publish or Discard. Run does both steps with the proposed actions.
 * One object per build (it may be reused; every Prepare starts afresh). Single-threaded; the build
 * lets pending events run through QVNEvents.
 *
 * Error contract: Prepare, Publish and Run clear Exceptions and return false with one line per
 * failure. BadInput() then tells whether the request itself was unusable (nothing was built) or the
 * build failed or was cancelled. A failed or cancelled build leaves the output folder as it was.
 */
class QVNGenerate
{
public:
    QVNError Exceptions;
    /// The build's main messages, each also a line of Log(), and the empty message of every cancel
    /// check (publishing included). Set `cancel` to stop the build at its next check.
    QVNProgressListener Progress;
    /// The template engine's messages, as "<last main message>  [  <engine message>  ]".
    QVNProgressListener Detail;

    /// A model variable's default (MV_DEFAULT, trimmed of spaces) expanded against the caller's
    /// variables: what the dialog shows and what a build uses when nothing overrides it.
    static QString ExpandDefault(const QString& mvDefault, const TQXColsPtr& callerVariables);

    /// The variable set of a build: the caller's variables (the dates when null), RVG_FOLDER =
    /// `outFolder` (ending in "/"), one variable per model variable (MV_NO, its expanded default),
    /// then the overrides.
    static TQXColsPtr Variables(const TQXColsPtr& modelInfo, const QString& outFolder,
                                const TQXColsPtr& callerVariables, const QMap<QString, QString>& overrides);

    /// The same from (name, value) project pairs (names without "RVG_") and "KEY=VALUE" overrides;
    /// false with one line in `error` for an override without "=".
    static bool BuildVariables(const TQXColsPtr& modelInfo, const QString& outFolder,
                               const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides,
                               TQXColsPtr& variables, QString& error);
    /// Parses "KEY=VALUE" texts into `overrides`; false with one line in `error` for one without "=".
    static bool ParseOverrides(const QStringList& items, QMap<QString, QString>& overrides, QString& error);
    /// A request from (name, value) project pairs (names without "RVG_") and "KEY=VALUE" overrides;
    /// false with one line in `error` for an override without "=".
    static bool MakeRequest(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                            const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides,
                            QVNBuildRequest& request, QString& error);

    /// The output folder proposed for a project: its P_PATH when set, else the output folder of the
    /// settings + the project file's name without its extension.
    static QString DefaultOutputFolder(const QString& projectFolder, const QString& projectFile);

    /// The folder a build dialog writes to: `wanted` (trimmed, ending in "/") when it exists or can be
    /// created, else the application folder's "out/" (created).
    static QString UsableOutputFolder(const QString& wanted);

    /// Builds into the staging folder, checks and classifies; the output folder is not touched.
    bool Prepare(const QVNBuildRequest& request);
    /// Publishes the prepared build with the actions of Output() (cancel through Progress).
    bool Publish();
    /// Drops the prepared build.
    void Discard();
    /// Prepare, then Publish (or Discard when `dryRun`).
    bool Run(const QVNBuildRequest& request, bool dryRun = false);
    /// The road of earlier callers: project pairs without the prefix and "KEY=VALUE" overrides.
    bool Run(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
             const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides);

    /// True when the last Run failed before building: a missing package, a file that is not a model
    /// package, a malformed override.
    bool BadInput() const { return m_badInput; }
    /// True when the last build or publishing was cancelled through a listener.
    bool Canceled() const { return m_canceled; }
    /// True when the last Publish wrote into the output folder.
    bool Published() const { return m_published; }
    /// The main messages of the last build, each followed by CR LF (the dialog's log).
    const QString& Log() const { return m_log; }
    /// The warnings of the last build (also lines of the log, without their "Warning: ").
    const QStringList& Warnings() const { return m_warnings; }
    /// The absolute output folder of the last Run, ending in "/".
    const QString& OutputFolder() const { return m_out; }
    /// The model-list record of the package of the last Run (null when it could not be read).
    const TQXColsPtr& ModelInfo() const { return m_info; }
    /// The staged files of the last Prepare, classified, with their proposed actions.
    QVNBuildOutput& Output() { return *m_output; }
    /// After a failed build: the causes that are not already lines of the log, indented five spaces
    /// per level, for showing beneath it.
    QStringList FailureCauses() const;
    /// The read-me page of the last build (absolute path in the output folder), or empty when the
    /// model names none.
    const QString& ReadmePage() const { return m_readme; }
    /// True when the read-me page got the log (it reaches the output folder when published).
    bool ReadmeFilled() const { return m_readmeFilled; }
    /// Strict builds fail when the model's templates have diagnostics (and so publish nothing).
    void SetStrict(bool strict) { m_strict = strict; }
    /// The last build's diagnostics as "file:line:column: reason" (each also a line of the log).
    const QStringList& Diagnostics() const { return m_diagnostics; }

private:
    void AddLogLine(const QString& line);
    void Warn(const QString& warning);

    bool m_badInput = false;
    bool m_canceled = false;
    bool m_published = false;
    bool m_readmeFilled = false;
    bool m_strict = false;
    QStringList m_diagnostics;
    QString m_log;
    QString m_out;
    QString m_readme;
    QStringList m_warnings;
    TQXColsPtr m_info;
    std::unique_ptr<QVNBuildOutput> m_output = std::make_unique<QVNBuildOutput>();
};

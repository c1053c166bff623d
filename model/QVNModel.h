#pragma once

#include "QVNDiagnostics.h"
#include "QVNError.h"
#include "QVNFunction.h"
#include "QVNParser.h"
#include "QVNProgress.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QHash>
#include <QList>
#include <QString>

/**
 * @brief Opens model packages, lists the models of a folder and runs a build.
 *
 * One object per use (the build dialog keeps one for its lifetime); it owns its template engine.
 * Single-threaded: everything runs on the user-interface thread, and the build lets pending events
 * run (QVNEvents::DoEvents) before every file entry and after every table of a per-table entry.
 *
 * Paths that come out of a package (MF_FILE and the expanded MF_TO) read "\" as "/" and must stay
 * inside the package and the output folder respectively: an entry that breaks this rule is refused
 * with a line in the log and in Exceptions, the build's result becomes false, and the other entries
 * are still produced. Each output of a template is written in the encoding the template was read in.
 */
class QVNModel
{
public:
    /// The fixed password of every model package.
    static QString ModelPassword() { return QStringLiteral("385027914463"); }

    QVNModel();
    QVNModel(const QVNModel&) = delete;
    QVNModel& operator=(const QVNModel&) = delete;

    /// Unpacks the package into a new temporary folder and returns that folder (ending in "/"), or
    /// the empty text on failure ("ERROR_OPEN_EMPTY", or "ERROR_OPEN" and the zip messages, are then
    /// added to Exceptions, which this member does not clear). The caller deletes the folder.
    QString OpenModel(const QString& pStr_Model, const QString& pStr_Password);
    /// One row per package directly in `folder` (sorted by name) that opens and has an info record.
    /// Keys are "MODEL_" + the file's 1-based number among all files, so failures leave gaps. Only
    /// the two description entries are read out of each archive; the whole archive is still checked
    /// as unpacking would check it. Never null.
    TQXRowsPtr GetAllModels(const QString& folder);
    /// The model-list record of one package: the first info record's columns, then MI_FILE and
    /// MI_VARIABLE (the variable records as a nested row set). Null when the package cannot be
    /// opened or has no info record (the reason is added to Exceptions).
    TQXColsPtr GetModelInfo(const QString& pStr_ModelFile);

    /// The language the model's texts are read in (its language files, see QVNModelText) and that a
    /// build publishes as RVG_LANGUAGE; empty (the default) means the language the program runs in.
    void SetLanguage(const QString& language) { m_language = language; }
    /// The language set, else the program's.
    QString Language() const;

    /// The build: true when every entry was produced and nothing was cancelled. Clears Exceptions
    /// first; each failure leaves a line there (and in the log through Progress).
    bool BuildProcess(const QString& pStr_ModelFile, const QString& folder, const TQXColsPtr& pCols_Variable,
                      const TQXRowsPtr& tables);

    bool Canceled() const { return m_canceled; }
    /// The outputs of the last build that were expanded from templates (not copied), relative to its
    /// output folder, in the order written.
    const QStringList& ExpandedOutputs() const { return m_expanded; }
    /// Progress of a build, on two listeners of the engine's shape: `main` gets the build's own
    /// messages (the lines of its log) and the empty message of every cancel check; `detail` gets the
    /// template engine's messages as "<last main message>  [  <engine message>  ]". In both, `cancel`
    /// is bound to Canceled(): set it to stop the build.
    void SetProgressListener(QVNProgressListener main, QVNProgressListener detail = {})
    {
        m_listener = std::move(main);
        m_detailListener = std::move(detail);
    }

    /// A package GetAllModels left out of its list, with the reason (the lines of Exceptions that
    /// opening it added, joined by "; ").
    struct SkippedModel
    {
        QString file;
        QString reason;
    };
    /// The packages the last GetAllModels could not list, in name order.
    const QList<SkippedModel>& SkippedModels() const { return m_skipped; }

    /// The completion step of a build with a read-me page: in the file `pStr_Readme` (MI_README,
    /// relative to the output folder `pStr_Folder`) replaces every "<ORVE>RVG_LOG</ORVE>" (any case)
    /// by the log and every "<ORVE>RVG_HTMLLOG</ORVE>" by the log as an HTML list (one item per
    /// line, HTML special characters escaped), without the log's final line break and with the
    /// page's own kind of line break, and writes the page back in the encoding it was read in.
    /// False when the page is missing, cannot be written, or its path leads outside the folder.
    static bool FillReadmeLog(const QString& pStr_Folder, const QString& pStr_Readme, const QString& pStr_Log);

    QVNError Exceptions;

    /// The mistakes the last build found in the model's templates and variable file (file names
    /// relative to the package). Each is also a line of the build's log; they never change an output.
    const QVNDiagnostics& Diagnostics() const { return m_diagnostics; }
    /// Strict builds fail (with a line in the log and in Exceptions) when any diagnostic is found;
    /// every output is still written.
    void SetStrict(bool strict) { m_strict = strict; }

private:
    QString Text(const QString& key) const;
    void RaiseProgress(QString message, bool self);
    bool CheckCanceled();
    /// One output with the model's section variables followed by `rest` (which holds none of their
    /// keys); false on failure (logged).
    bool ProduceFile(const QString& src, const QString& mfTo, bool convert, const QString& out,
                     const TQXColsPtr& sections, const TQXColsPtr& rest);
    /// A template (or target path) with the tag-line rule and the section variables applied, made
    /// once per build: the sections come first in every variable set, so this part of the expansion
    /// is the same for every table.
    struct Prepared
    {
        QString text;
        TextEncoding encoding = TextEncoding::Utf8;
        bool overLimit = false;
        QVNError exceptions;
    };
    const Prepared& Prepare(const QString& cacheKey, const QString& text, TextEncoding encoding,
                            const TQXColsPtr& sections);
    /// dest = out + the expanded, checked path; false (logged) when it would leave `out`.
    bool TargetPath(const QString& out, const QString& to, QString& dest);
    void LogFailure(const QString& key, const QString& detail, const QVNError* inner = nullptr);

    bool m_canceled = false;
    QString m_lastMessage;
    QVNProgressListener m_listener;
    QVNProgressListener m_detailListener;
    QList<SkippedModel> m_skipped;
    QStringList m_expanded;
    QVNFunction m_function;
    QVNParser mObj_QVNParser;
    QHash<QString, Prepared> m_prepared; // for one build: "F" + source file, "T" + target path
    QVNDiagnostics m_diagnostics;
    QString m_unpacked;        // the package's temporary folder during a build
    QString m_diagnosedSource; // the template m_diagnostics places its findings in
    bool m_strict = false;
    QString m_language;
    /// Sends the diagnostics found since the last call to the log.
    void LogDiagnostics();
    qsizetype m_loggedDiagnostics = 0;
};

#pragma once

#include "QVNGenerate.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The terminal face of a build: QVNGenerate runs it; this shows its progress on standard error and
// turns Ctrl-C into its cancel flag.

/**
 * @brief Ctrl-C for a whole command: from construction on, the first SIGINT only sets a flag that
 * every later step polls (start-up, connecting, collecting, building, publishing); a second one
 * ends the program at once. The previous handler comes back on destruction.
 */
class GenerateInterrupt
{
public:
    GenerateInterrupt();
    ~GenerateInterrupt();
    GenerateInterrupt(const GenerateInterrupt&) = delete;
    GenerateInterrupt& operator=(const GenerateInterrupt&) = delete;

    /// True once Ctrl-C was pressed.
    static bool Pressed();
    /// The one line a cancelled command prints, and its exit code (1).
    static int ReportCancelled();

private:
    void (*m_previous)(int) = nullptr;
};

/// How the terminal shows a build beyond its progress.
struct GenerateOptions
{
    bool dryRun = false; ///< classify and list, write nothing
    bool diff = false;   ///< print a unified diff of every file that would change
};

/**
 * @brief Runs one build headless and reports like the build dialog.
 *
 * The build's main progress messages (the dialog's log) go to standard error, one per line; when
 * standard error is a terminal, the engine's messages show on a live progress line. Ctrl-C cancels
 * like the progress window's Cancel, at any moment, publishing included: the output folder is left
 * as it was. Every file whose action is not "keep unchanged" is listed with its class and action on
 * standard output, then the absolute output folder. With a dry run nothing is written.
 *
 * The model's diagnostics ("file:line:column: reason") are lines of that log; a strict
 * request makes a build with diagnostics fail.
 *
 * Returns the exit code: 0 the build succeeded (a dry run: nothing would change), 1 it failed or was
 * cancelled, 2 bad input (a missing package, a file that is not a model package), 3 a dry run that
 * would change something.
 */
int RunGenerate(const QVNBuildRequest& request, const GenerateOptions& options = {});

/// The road of earlier callers: project (name, value) pairs without "RVG_" and "KEY=VALUE" overrides.
int RunGenerate(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides, bool strict = false);

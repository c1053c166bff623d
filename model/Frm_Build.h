#pragma once

#include "TQXCols.h"
#include "TQXRows.h"

#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <memory>

namespace Ui {
class Frm_Build;
}
class QAction;
class QToolBar;
class QVNProcess;
class BuildVariableModel;
class QVNBuildOutput;

/**
 * @brief The build dialog: picks a model of the models folder, edits its variables, takes the
 * output folder and runs the build through QVNGenerate (the service `quorvin-cli generate` uses),
 * with the progress server's window showing the build's messages and its Cancel stopping it.
 *
 * After a good build the model's read-me page (log filled in) is shown in Frm_IE, or a completion
 * message with the log when the model has none; a failed or cancelled build shows a failure message
 * with the log instead. Several builds may run in a row; each starts with an empty log.
 */
class Frm_Build : public QDialog
{
public:
    /// Opens a folder in the desktop's file manager; the default goes through QVNShell.
    using FolderOpener = std::function<void(const QString& folder)>;
    /// Shows a read-me page; the default opens Frm_IE modally.
    using PageViewer = std::function<void(const QString& page, QWidget* owner)>;
    /// Shows what a build changes before it is published; true to publish. The default opens
    /// Frm_BuildPreview modally.
    using Previewer = std::function<bool(QVNBuildOutput& output, QWidget* owner)>;

    /// `process` is the progress server shared with the main window; when null or not created the
    /// dialog creates its own on the first build (a build without it runs without progress window).
    explicit Frm_Build(QWidget* parent = nullptr, QVNProcess* process = nullptr);
    ~Frm_Build() override;

    /**
     * @brief The main window's entry: fills a fresh dialog with the project's variables (P_NO ...
     * P_CONNECTIONSTRING, keyed by these names), the output folder and the chosen tables, shows it
     * modally and returns its DialogResult.
     */
    static int ShowBuild(QWidget* owner, QVNProcess* process, const TQXRowsPtr& tables,
                         const TQXColsPtr& projectVariables, const QString& projectFolder);

    /// RVG_DATE and RVG_DATETIME of now as the only variables, and an empty table set.
    void ClearVariable();
    /// Adds the variable "RVG_" + `pStr_Name` (a name already present keeps its first value); the
    /// shown defaults are expanded again with it.
    void AddVariable(const QString& pStr_Value, const QString& pStr_Name);
    void SetFolder(const QString& folder);
    const TQXRowsPtr& ConvertDatas();
    void SetConvertDatas(const TQXRowsPtr& pRows_ConvertDatas) { m_tables = pRows_ConvertDatas; }
    int DialogResult() const { return m_dialogResult; }
    void SetDialogResult(int result) { m_dialogResult = result; }
    const TQXColsPtr& Variables() const { return m_variables; }

    /// Runs one build with the selected model (the tool bar's "ok"). False when no model is
    /// selected or the build failed or was cancelled.
    bool Build();
    /// The main messages of the last build, each followed by CR LF.
    const QString& Log() const { return m_log; }
    /// The model list as read when the dialog opened.
    const TQXRowsPtr& Models() const { return m_models; }

    /// A model list entry: name + "    (Version: " + version + ")" padded or cut to 100 characters,
    /// then the model's key. `versionWord` is the interface's word for "Version" (empty: English).
    static QString ModelEntry(const QString& name, const QString& version, const QString& key,
                              const QString& versionWord = QString());
    /// The key of an entry: its text from character 101 on.
    static QString ModelKey(const QString& entry);

    /// Replace the desktop actions (tests; an empty function restores the default).
    static void SetFolderOpener(FolderOpener opener);
    static void SetPageViewer(PageViewer viewer);
    static void SetPreviewer(Previewer preview);

    /// Closes the dialog with DialogResult 0 (Escape, the tool bar's "exit").
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowModel();
    void RefreshDefaults();
    void Browse();
    QString Text(const QString& key) const;
    void OnProgress(const QString& message, bool& cancel, bool main);

    std::unique_ptr<Ui::Frm_Build> m_ui;
    BuildVariableModel* m_grid = nullptr;
    QToolBar* m_toolBar = nullptr;
    QAction* m_ok = nullptr;
    QAction* m_exit = nullptr;
    QVNProcess* m_process = nullptr;
    std::unique_ptr<QVNProcess> m_ownProcess;
    TQXColsPtr m_variables;
    TQXRowsPtr m_tables;
    TQXRowsPtr m_models;
    QString m_log;
    int m_dialogResult = 0;
    QElapsedTimer m_clock;
    qint64 m_lastShown = 0;
    qint64 m_lastPolled = 0;
};

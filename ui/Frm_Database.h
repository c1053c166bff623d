#pragma once

#include "QVNError.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QDateTime>
#include <QMainWindow>

#include <functional>
#include <memory>

class Frm_Open;
class Grid;
class QVNPages;
class QAction;
class QLabel;
class QToolButton;
class QTreeWidgetItem;
class QVNProcess;
class QVNProject;

namespace Ui {
class Frm_Database;
}

/**
 * @brief The main window: the commands, the open project and its two "changed" flags, the recent
 * projects, the language switch and the layout of the panes.
 *
 * At most one project is open. Every call into the project layer goes through the few private
 * Project* functions, which use the same project services as the command line (the project's life
 * cycle and the build collector), so the window holds no project logic of its own.
 * The window runs on the user-interface thread; long steps report through the progress server
 * when one was handed over with SetProcess.
 */
class Frm_Database : public QMainWindow
{
public:
    /// The answer to a question. Cancel is Escape or closing the box: nothing may be lost by it.
    enum class Answer { Yes, No, Cancel };
    /// Answers a question instead of a message box, so tests can script the answers.
    using Question = std::function<Answer(const QString& text)>;
    /// Shows the connection dialog modally and returns its DialogResult. Replaceable for tests.
    using ConnectDialog = std::function<int(Frm_Open& dialog)>;
    /// Asked whether the user pressed Cancel in the progress window. Replaceable for tests.
    using CancelCheck = std::function<bool()>;
    /// Receives the plain-words text the progress window's body shows. For tests.
    using ProgressWatch = std::function<void(const QString& text)>;
    /// Receives what a build needs: the "TABLES" row set, the seven project variables in order
    /// and the project's folder.
    using BuildHandOver =
        std::function<void(const TQXRowsPtr& tables, const TQXColsPtr& variables, const QString& folder)>;

    explicit Frm_Database(QWidget* parent = nullptr);
    ~Frm_Database() override;

    bool PageChanged() const { return m_pageChanged; }
    /// Writing true also marks the project changed.
    void SetPageChanged(bool value);
    bool ProjectChanged() const { return m_projectChanged; }
    /// Shows or hides the changed indicator next to the tool bar's last button.
    void SetProjectChanged(bool value);

    /// Opens a project file: the previous project is offered for saving and closed, the file read,
    /// its tables read through the stored connection, and the file put on the recent list. The
    /// connection dialog is shown when the project lacks its number, name or database, when the
    /// stored connection fails, and always with `askSettings`.
    bool OpenProjectFile(const QString& path, bool askSettings = false);
    /// Puts a path at the newest place of the recent list (at most ten, letter case ignored).
    void AddRecentProject(const QString& path);
    /// Shows the recent projects whose files exist, newest first.
    void ShowRecentProjects();
    /// Switches to a language number, stores the choice and renews every caption and the title.
    void SwitchLanguage(const QString& number);
    /// Offers to save unsaved changes before the project is closed or read again. False means the
    /// caller must not go on: the user cancelled the question, or the save failed and the user did
    /// not explicitly give the changes up.
    bool CheckSave();
    /// Sets the splitter position (left pane width in pixels) within the limits.
    void ResizeControls(int x);

    bool HasProject() const { return m_project != nullptr; }
    void SetProcess(QVNProcess* process) { m_process = process; }
    void SetQuestion(Question question) { m_question = std::move(question); }
    void SetConnectDialog(ConnectDialog dialog) { m_connectDialog = std::move(dialog); }
    void SetCancelCheck(CancelCheck check) { m_cancelCheck = std::move(check); }
    void SetProgressWatch(ProgressWatch watch) { m_progressWatch = std::move(watch); }
    /// True while a step waits on the database or a disk (the window keeps painting meanwhile).
    bool Busy() const { return m_busy; }
    void SetBuildHandOver(BuildHandOver handOver) { m_buildHandOver = std::move(handOver); }
    /// The tree group of a table kind as the database reports it: 0 tables, 1 views, 2 the rest.
    static int TreeGroup(const QString& kind);
    /// The open project; null when none is open.
    const QVNProject* Project() const { return m_project.get(); }
    /// The program's build time shown in the title; recorded when the program was built.
    static void SetBuildTime(const QDateTime& time) { s_buildTime = time; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void InitWindow();
    void BuildLanguageMenu();
    void ApplyCaptions();
    void SetProjectState(int state);
    bool FileNew();
    bool FileOpen();
    bool FileSave();
    void FileRefresh();
    /// The connection dialog on the open project, which is then opened again with its values.
    void FileProjectSettings();
    void FileBuild();
    bool ShowDatabase();
    void NodeSelected(QTreeWidgetItem* item);
    void NodeChecked(QTreeWidgetItem* item);
    /// Shows only the tables whose name holds the filter box's text (letter case ignored).
    void FilterTree();
    /// The grid holding the focus, or null.
    Grid* FocusedGrid() const;
    /// The right pane for a group (`tableName` empty, `kind` "TABLE", "VIEW" or "SYSTEM TABLE")
    /// or for one table.
    void ShowPage(const QString& kind, const QString& tableName);
    void CommitPage();
    /// The table data viewer on one table of the project's database.
    void ShowTableData(const QString& tableName);
    /// Hands the collected data to the build dialog.
    void ShowBuildDialog(const TQXRowsPtr& tables, const TQXColsPtr& variables, const QString& folder);
    int RunConnectDialog();
    void ProgressShow(const QString& key, bool canCancel);
    void ProgressText(const QString& text);
    void ProgressEnd();
    bool ProgressCanceled();
    /// The progress window's Cancel, asked without letting events run (the caller runs them).
    bool ProgressCancelRequested();
    void ShowOptions();
    void ShowAbout();
    void ShowHelp();
    void ShowProjectSummary();
    void RestoreLayout();
    void SaveLayout();
    QString Text(const QString& key) const;
    /// A question box: Yes and No, with Cancel too when `canCancel`; `preferred` is the default
    /// button. Escape and closing the box answer Cancel, or No when there is no Cancel.
    Answer Ask(const QString& text, bool canCancel, Answer preferred);
    void ShowError(const QString& key, const QString& detail);

    // The project layer, in one place.
    bool ProjectCreate(const QString& path, QVNError& errors);
    std::shared_ptr<QVNProject> ProjectRead(const QString& path, QVNError& errors);
    /// Connects and reads the tables on a worker; the window keeps running meanwhile. A cancelled
    /// read returns false with `canceled` set; the project may then still be in use by the worker
    /// and must be dropped by the caller.
    bool ProjectReadTables(const std::shared_ptr<QVNProject>& project, QVNError& errors, bool& canceled);
    bool ProjectSave(QVNProject& project, QVNError& errors);
    bool ProjectCollect(QVNProject& project, const QStringList& tables, TQXRowsPtr& collected, TQXColsPtr& variables,
                        QString& folder, bool& canceled, QVNError& errors);
    int ProjectTableCount(const QVNProject& project, const QString& kind) const;

    std::unique_ptr<Ui::Frm_Database> m_ui;
    /// Shared with a worker that may still run after its read was cancelled.
    std::shared_ptr<QVNProject> m_project;
    bool m_tablesRead = false;
    bool m_pageChanged = false;
    bool m_projectChanged = false;
    bool m_filling = false;
    /// True while the tree fills or a build collects: both let events run, and no command may
    /// replace or close the project under them meanwhile.
    bool m_busy = false;
    QVNProcess* m_process = nullptr;
    Question m_question;
    ConnectDialog m_connectDialog;
    CancelCheck m_cancelCheck;
    ProgressWatch m_progressWatch;
    BuildHandOver m_buildHandOver;
    std::unique_ptr<QVNPages> m_pages; ///< the table and column pages of the right pane
    std::unique_ptr<Frm_Open> m_open;  ///< the connection dialog, one for the window's lifetime
    QString m_dialogFolder;
    QString m_pageTable; ///< the table whose summary the right pane shows
    QList<QAction*> m_recent;
    QAction* m_recentSeparator = nullptr;
    QToolButton* m_toolButton = nullptr;
    QToolButton* m_pictTool = nullptr;
    QAction* m_changedAction = nullptr;
    QLabel* m_pictChanged = nullptr;
    QLabel* m_lblChanged = nullptr;
    QLabel* m_panel1 = nullptr;
    QLabel* m_panel2 = nullptr;

    static inline QDateTime s_buildTime;
};

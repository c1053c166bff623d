#pragma once

#include "QVNError.h"

#include <QDateTime>
#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QToolButton;
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
 * Project* functions, so the window does not depend on how a project is created, read or saved.
 * The window runs on the user-interface thread; long steps report through the progress server
 * when one was handed over with SetProcess.
 */
class Frm_Database : public QMainWindow
{
public:
    /// Asks a yes/no question; true for yes. Replaceable so tests can script the answers.
    using Question = std::function<bool(const QString& text)>;

    explicit Frm_Database(QWidget* parent = nullptr);
    ~Frm_Database() override;

    bool PageChanged() const { return m_pageChanged; }
    /// Writing true also marks the project changed.
    void SetPageChanged(bool value);
    bool ProjectChanged() const { return m_projectChanged; }
    /// Shows or hides the changed indicator next to the tool bar's last button.
    void SetProjectChanged(bool value);

    /// Opens a project file: the previous project is offered for saving and closed, the file read,
    /// its tables read through the stored connection, and the file put on the recent list.
    bool OpenProjectFile(const QString& path);
    /// Puts a path at the newest place of the recent list (at most ten, letter case ignored).
    void AddRecentProject(const QString& path);
    /// Shows the recent projects whose files exist, newest first.
    void ShowRecentProjects();
    /// Switches to a language number, stores the choice and renews every caption and the title.
    void SwitchLanguage(const QString& number);
    /// Offers to save unsaved changes. `closing`: a failed save asks once more whether to close
    /// without saving; false means the caller must not close.
    bool CheckSave(bool closing = false);
    /// Sets the splitter position (left pane width in pixels) within the limits.
    void ResizeControls(int x);

    bool HasProject() const { return m_project != nullptr; }
    void SetProcess(QVNProcess* process) { m_process = process; }
    void SetQuestion(Question question) { m_question = std::move(question); }
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
    void ShowOptions();
    void ShowAbout();
    void ShowHelp();
    void ShowProjectSummary();
    void RestoreLayout();
    void SaveLayout();
    QString Text(const QString& key) const;
    bool Ask(const QString& text);
    void ShowError(const QString& key, const QString& detail);

    // The project layer, in one place.
    bool ProjectCreate(const QString& path, QVNError& errors);
    std::unique_ptr<QVNProject> ProjectRead(const QString& path, QVNError& errors);
    bool ProjectReadTables(QVNProject& project, QVNError& errors);
    bool ProjectSave(QVNProject& project, QVNError& errors);
    int ProjectTableCount(const QVNProject& project, const QString& kind) const;

    std::unique_ptr<Ui::Frm_Database> m_ui;
    std::unique_ptr<QVNProject> m_project;
    bool m_tablesRead = false;
    bool m_pageChanged = false;
    bool m_projectChanged = false;
    bool m_filling = false;
    QVNProcess* m_process = nullptr;
    Question m_question;
    QString m_dialogFolder;
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

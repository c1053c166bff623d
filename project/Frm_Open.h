#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QAction;
class QToolBar;

namespace Ui {
class Frm_Open;
}

/**
 * @brief The project's six settings: number, name, connection string, user, password and
 * output folder.
 *
 * The caller sets the six P_ values, calls Execute and, when DialogResult() is 1, reads them back
 * (trimmed) together with Changed(). Number, name and connection string are required; a missing
 * one keeps the dialog open with a numbered list of what is missing.
 */
class Frm_Open : public QDialog
{
public:
    /// The connection-string editor: owner and the text to start on; the built string, or empty
    /// when the user cancelled. Replaceable so tests can script it.
    using Editor = std::function<QString(QWidget* owner, const QString& connectionString)>;

    explicit Frm_Open(QWidget* parent = nullptr);
    ~Frm_Open() override;

    QString P_NO, P_NAME, P_DATABASE, P_USERID, P_PWD, P_PATH;

    bool Changed() const { return m_changed; }
    int DialogResult() const { return m_dialogResult; }
    void SetDialogResult(int value) { m_dialogResult = value; }

    /// Fills the boxes from the six values (an empty path shows the output folder) and localizes;
    /// afterwards nothing counts as changed and DialogResult is 0.
    void LoadFields();
    /// LoadFields, then shows the dialog modally; returns DialogResult.
    int Execute();
    /// The "ok" command: checks the required boxes and closes with DialogResult 1 when complete.
    bool Confirm();
    /// The problems Confirm found last ("1) [Project number] must not be empty" + CR LF, ...).
    QString Problems() const { return m_problems; }
    void SetEditor(Editor editor) { m_editor = std::move(editor); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void EditConnection();
    void PickFolder();
    QString Text(const QString& key) const;

    std::unique_ptr<Ui::Frm_Open> m_ui;
    QToolBar* m_toolBar = nullptr;
    QAction* m_ok = nullptr;
    QAction* m_exit = nullptr;
    bool m_changed = false;
    int m_dialogResult = 0;
    QString m_problems;
    Editor m_editor;
};

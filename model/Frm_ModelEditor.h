#pragma once

#include "QVNDiagnostics.h"
#include "QVNModelPreview.h"
#include "TextEncoding.h"

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QTimer>

#include <memory>
#include <vector>

namespace Ui {
class Frm_ModelEditor;
}
class QListWidgetItem;
class QSyntaxHighlighter;

/**
 * @brief The model editor: a model folder's files, a template editor that shows the tag language
 * and its mistakes as one types, a preview of the template expanded for one table, and the keys
 * usable where the cursor stands.
 *
 * Typing only restarts a short timer; the preview and the diagnostics are made when typing pauses
 * (kRefreshDelayMs), so a keystroke never waits for an expansion. Diagnostics are underlined with
 * their reason on hover and listed below the editor (activating one moves the cursor there, opening
 * its file when it is another). Files keep their encoding and their kind of line break when saved;
 * Pack packs the folder into FOLDER.qvnm beside it, as the packaging window does.
 */
class Frm_ModelEditor : public QMainWindow
{
public:
    static constexpr int kRefreshDelayMs = 60;

    explicit Frm_ModelEditor(QWidget* parent = nullptr);
    ~Frm_ModelEditor() override;

    /// Lists the folder's files and opens its first template; `tables` (tag TABLES, may be null)
    /// and `projectVars` are what the preview is expanded with. False when the folder is no model.
    bool OpenFolder(const QString& folder, const TQXRowsPtr& tables, const QList<QPair<QString, QString>>& projectVars);
    /// Opens a file of the folder (path relative to it), asking to save unsaved changes first.
    bool OpenFile(const QString& relative);
    /// Writes the open file back; false (with a message) when it cannot be written.
    bool Save();
    /// Saves, then packs the folder into FOLDER.qvnm beside it.
    bool Pack();
    /// The package Pack writes.
    QString PackagePath() const;
    /// Makes the preview and diagnostics of the current text now (the timer does this after typing).
    void RefreshNow();
    const std::vector<QVNDiagnostic>& Diagnostics() const { return m_diagnostics; }
    const QString& CurrentFile() const { return m_file; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool MaybeSave();
    void Refresh();
    void UpdateCursorViews();
    void ApplySelections();
    void JumpTo(QListWidgetItem* item);
    void FillKeys();

    struct Mark
    {
        int from = 0, to = 0;
        QString reason;
    };

    std::unique_ptr<Ui::Frm_ModelEditor> m_ui;
    QSyntaxHighlighter* m_highlighter = nullptr;
    QTimer m_refresh;
    QVNModelPreview m_preview;
    TQXColsPtr m_data; // the preview's variable set for the chosen table
    TQXRowsPtr m_tables;
    QList<QPair<QString, QString>> m_projectVars;
    QString m_folder;
    QString m_file;
    TextEncoding m_encoding = TextEncoding::Utf8;
    bool m_crlf = false;
    bool m_loading = false;
    std::vector<QVNDiagnostic> m_diagnostics;
    std::vector<Mark> m_marks;
};

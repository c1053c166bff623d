#pragma once

#include <QObject>

class QVNColumnPage;
class QVNProject;
class QVNTablePage;
class QWidget;

/**
 * @brief The right pane of the main window: the table page and the column page installed in
 * their frames, with the page's "changed" state.
 *
 * The window connects Changed to its own "page changed" mark, calls ShowTableList or
 * ShowColumnList on a node click and CommitPage before anything reads or replaces the project's
 * records. Pages write into the project's table list they were filled from, which is shared with
 * the project; ClearPage lets go of it.
 */
class QVNPages : public QObject
{
    Q_OBJECT

public:
    /// Puts the table page into `tableFrame` and the column page into `columnFrame` (each takes
    /// the whole frame) and applies the current language.
    QVNPages(QWidget* tableFrame, QWidget* columnFrame, QObject* parent = nullptr);
    ~QVNPages() override;

    QVNTablePage* TablePage() const { return m_tablePage; }
    QVNColumnPage* ColumnPage() const { return m_columnPage; }

    /// Headings, item lists and captions of both pages in the current language.
    void ApplyCaptions();
    /// Empties both pages (the key choice back to its first option).
    void ClearPage();
    /// kind: "TABLE", "VIEW" or "SYSTEM TABLE".
    void ShowTableList(QVNProject& project, const QString& kind);
    void ShowColumnList(QVNProject& project, const QString& tableName);
    /// When the page has user edits, writes back the page(s) whose frame is not hidden; the page
    /// counts as unchanged afterwards in every case. True when something was written.
    bool CommitPage();

    bool PageChanged() const { return m_changed; }
    bool Filling() const;

signals:
    /// The user changed the page.
    void Changed();
    /// The data button of a table row was pressed.
    void ShowTableData(const QString& tableName);

private:
    QWidget* m_tableFrame;
    QWidget* m_columnFrame;
    QVNTablePage* m_tablePage = nullptr;
    QVNColumnPage* m_columnPage = nullptr;
    bool m_changed = false;
};

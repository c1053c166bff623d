#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QToolBar;
class QVNDatabase;
class QVNProcess;

namespace Ui {
class Frm_TableData;
}

/**
 * @brief Shows the data of a table of the target database, runs any statement against it and
 * exports the result as an HTML page.
 *
 * The caller sets mObj_QVNDatabase (borrowed, must outlive the window), TableName and, when the
 * table lies in a named schema, TableSchema. Shortly after the window appears it runs
 * "select * from" the table, the name quoted with the database's identifier quote where needed.
 * Reading polls the progress server's Cancel at most every 50 ms; a cancel keeps the rows read.
 */
class Frm_TableData : public QDialog
{
public:
    /// Asked whether the user cancelled; replaceable so tests can cancel at a chosen moment.
    using CancelCheck = std::function<bool()>;
    /// Asks for the export file (empty = cancelled); replaceable so tests need no file dialog.
    using FileChooser = std::function<QString(QWidget* owner)>;

    explicit Frm_TableData(QWidget* parent = nullptr);
    ~Frm_TableData() override;

    QVNDatabase* mObj_QVNDatabase = nullptr;
    QString TableName;
    QString TableSchema;

    void SetProcess(QVNProcess* process) { m_process = process; }
    void SetCancelCheck(CancelCheck check) { m_cancelCheck = std::move(check); }
    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

    /// Puts the first statement into Txt_SQL and localizes; the timer then runs it once.
    void LoadWindow();
    /// Runs the statement of Txt_SQL and shows its rows; false when the database refused it.
    bool Execute();
    /// Writes the rows shown as an HTML page to a file the user chooses; false when cancelled or
    /// the page could not be written (reported to the user either way).
    bool ExportHtml();

    int RowCount() const;
    int ColumnCount() const;
    QString Cell(int row, int column) const; ///< 1-based like the grid; row 0 is the heading row
    bool LastReadCanceled() const { return m_canceled; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class RowsModel;
    QString Text(const QString& key) const;
    bool Canceled();
    void SetBusy(bool busy);

    std::unique_ptr<Ui::Frm_TableData> m_ui;
    std::unique_ptr<RowsModel> m_model;
    QToolBar* m_toolBar = nullptr;
    QAction* m_exec = nullptr;
    QAction* m_html = nullptr;
    QAction* m_exit = nullptr;
    QVNProcess* m_process = nullptr;
    CancelCheck m_cancelCheck;
    FileChooser m_chooser;
    bool m_timerDone = false;
    bool m_canceled = false;
    bool m_reading = false;
    bool m_stopRequested = false; ///< Escape or closing while rows are read: stop reading first
};

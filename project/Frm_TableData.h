#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>

class QAction;
class QToolBar;
class QVNDatabase;
class QVNProcess;
class QVNResultModel;
class QVNStatementRunner;

namespace Ui {
class Frm_TableData;
}

/**
 * @brief Shows the data of a table of the target database, runs any statement against it and
 * exports the result as an HTML page or a CSV file.
 *
 * The caller sets mObj_QVNDatabase (borrowed, must outlive the window), TableName and, when the
 * table lies in a named schema, TableSchema. Shortly after the window appears it runs
 * "select * from" the table, the name quoted with the database's identifier quote where needed.
 *
 * Statements run on a worker over a connection of their own (QVNResultModel); the window keeps
 * painting and its Cancel (or Escape) stops a statement the server is still executing. Rows are
 * read as the grid scrolls to them; the status line shows the rows so far and the time taken.
 * Exports read the statement again from a fresh cursor and write record by record.
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
    /// Runs the statement of Txt_SQL and waits (serving the window's events) until it has ended
    /// or its first rows are shown; false when the database refused it.
    bool Execute();
    /// Writes the statement's whole result to a file the user chooses; false when cancelled or
    /// the file could not be written (reported to the user either way).
    bool ExportHtml();
    bool ExportCsv();
    /// Stops the running statement or export.
    void CancelRun();

    int RowCount() const;
    int ColumnCount() const;
    QString Cell(int row, int column) const; ///< 1-based like the grid; row 0 is the heading row
    bool LastReadCanceled() const { return m_canceled; }
    QString StatusText() const;
    QVNResultModel* Model() const { return m_model.get(); }

    void reject() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QString Text(const QString& key) const;
    QString Text(const QString& key, const QString& fallback) const;
    bool Canceled();
    void SetBusy(bool busy);
    void ShowStatus();
    bool Export(bool csv);
    /// Serves the window's events until done() holds, polling Cancel every 50 ms.
    void WaitFor(const std::function<bool()>& done, QVNStatementRunner* runner);

    std::unique_ptr<Ui::Frm_TableData> m_ui;
    std::unique_ptr<QVNResultModel> m_model;
    QToolBar* m_toolBar = nullptr;
    QAction* m_exec = nullptr;
    QAction* m_cancel = nullptr;
    QAction* m_html = nullptr;
    QAction* m_csv = nullptr;
    QAction* m_exit = nullptr;
    QVNProcess* m_process = nullptr;
    CancelCheck m_cancelCheck;
    FileChooser m_chooser;
    bool m_timerDone = false;
    bool m_canceled = false;
    bool m_reading = false;
    bool m_sized = false;
    QVNStatementRunner* m_export = nullptr; ///< the export running, if any
    bool m_stopRequested = false;           ///< Escape or closing while a statement runs: stop it first
};

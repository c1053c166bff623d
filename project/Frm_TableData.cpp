#include "Frm_TableData.h"

#include "Mdl_Main.h"
#include "QVNDatabase.h"
#include "QVNDialogBar.h"
#include "QVNDialogSize.h"
#include "QVNFormLocalizer.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNOdbcSources.h"
#include "QVNProcess.h"
#include "QVNRecordset.h"
#include "QVNResultModel.h"
#include "QVNStatementRunner.h"
#include "QVNTableExport.h"
#include "ui_Frm_TableData.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFont>
#include <QHeaderView>
#include <QLocale>
#include <QPalette>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace {
const QString kSection = QStringLiteral("Frm_TableData");
constexpr int kPollMs = 50;

QString Seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}
} // namespace

Frm_TableData::Frm_TableData(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::Frm_TableData>()), m_model(std::make_unique<QVNResultModel>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    m_toolBar = QVNDialogBar::Create(this);
    m_exec = QVNDialogBar::AddAction(m_toolBar, "exec", QStyle::SP_MediaPlay, QKeySequence(Qt::Key_F5));
    m_cancel =
        QVNDialogBar::AddAction(m_toolBar, "cancel", QStyle::SP_BrowserStop, QKeySequence(Qt::CTRL | Qt::Key_Period));
    m_html =
        QVNDialogBar::AddAction(m_toolBar, "html", QStyle::SP_DialogSaveButton, QKeySequence(Qt::CTRL | Qt::Key_S));
    m_csv =
        QVNDialogBar::AddAction(m_toolBar, "csv", QStyle::SP_FileIcon, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    m_exit = QVNDialogBar::AddAction(m_toolBar, "exit", QStyle::SP_DialogCloseButton, QKeySequence(Qt::Key_Escape));
    m_cancel->setEnabled(false);
    m_ui->Lay_Main->insertWidget(0, m_toolBar);

    // A null is grey and italic, so it never looks like a text that reads "NULL" or like nothing.
    m_model->NullStyle = [this](int role) -> QVariant {
        if (role == Qt::ForegroundRole)
            return palette().color(QPalette::Disabled, QPalette::Text);
        if (role == Qt::FontRole) {
            QFont font = m_ui->Spd_Data->font();
            font.setItalic(true);
            return font;
        }
        return QVariant();
    };
    m_model->OnChanged = [this] { ShowStatus(); };
    m_ui->Spd_Data->setModel(m_model.get());
    QHeaderView* header = m_ui->Spd_Data->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setResizeContentsPrecision(200);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    m_ui->Spd_Data->verticalHeader()->setDefaultSectionSize(m_ui->Spd_Data->fontMetrics().height() + 6);
    connect(header, &QHeaderView::sectionClicked, this, [this, header](int section) {
        if (m_reading || m_model->Busy())
            return;
        // The first click sorts ascending, each further click on the same heading turns it round.
        const Qt::SortOrder order = header->isSortIndicatorShown() && header->sortIndicatorSection() == section &&
                                            header->sortIndicatorOrder() == Qt::AscendingOrder
                                        ? Qt::DescendingOrder
                                        : Qt::AscendingOrder;
        const bool byDatabase = !m_model->AtEnd();
        m_model->sort(section, order);
        header->setSortIndicatorShown(true);
        header->setSortIndicator(section, order);
        if (byDatabase) {
            SetBusy(true);
            WaitFor([this] { return !m_model->Busy(); }, nullptr);
            m_model->WaitAndTake(0);
            SetBusy(false);
            const QVNStatementRunner::Status s = m_model->Status();
            if (s.phase == QVNStatementRunner::Phase::Failed)
                QVNMessage::Show(Text(QStringLiteral("ERROR_EXECUTE_SQL")), 0, s.errors.join(QStringLiteral("\r\n")),
                                 true, 10, this);
        }
    });

    connect(m_exec, &QAction::triggered, this, &Frm_TableData::Execute);
    connect(m_cancel, &QAction::triggered, this, &Frm_TableData::CancelRun);
    connect(m_html, &QAction::triggered, this, &Frm_TableData::ExportHtml);
    connect(m_csv, &QAction::triggered, this, &Frm_TableData::ExportCsv);
    connect(m_exit, &QAction::triggered, this, &QDialog::close);
    resize(760 * logicalDpiX() / 96, 520 * logicalDpiY() / 96);
    QVNDialogSize::Remember(this);
}

Frm_TableData::~Frm_TableData()
{
    // Stops the worker and closes its connection before the window's parts go.
    m_model->OnChanged = nullptr;
    m_model->Clear();
}

QString Frm_TableData::Text(const QString& key) const
{
    return QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, key);
}

QString Frm_TableData::Text(const QString& key, const QString& fallback) const
{
    const QString text = Mdl_Main::Language().GetLocalizeMessage(kSection, key);
    return text.isEmpty() ? fallback : text;
}

void Frm_TableData::LoadWindow()
{
    QVNLanguage& language = Mdl_Main::Language();
    QVNFormLocalizer::Localize(this, language);
    QVNDialogBar::SetCaption(m_exec, Text(QStringLiteral("TB_TOOL_EXEC")));
    QVNDialogBar::SetCaption(m_cancel, Text(QStringLiteral("TB_TOOL_CANCEL"), QStringLiteral("Cancel")));
    QVNDialogBar::SetCaption(m_html, Text(QStringLiteral("TB_TOOL_HTML")));
    QVNDialogBar::SetCaption(m_csv, Text(QStringLiteral("TB_TOOL_CSV"), QStringLiteral("Export CSV")));
    QVNDialogBar::SetCaption(m_exit, Text(QStringLiteral("TB_TOOL_EXIT")));
    m_ui->Txt_SQL->setAccessibleName(Text(QStringLiteral("Txt_SQL")));
    m_ui->Spd_Data->setAccessibleName(Text(QStringLiteral("Spd_Data")));
    m_ui->Lbl_Status->setAccessibleName(Text(QStringLiteral("Lbl_Status_NAME"), QStringLiteral("Status")));
    m_ui->Lbl_Status->clear();
    // A name with capitals, spaces or a reserved word, or one in a named schema, is quoted with
    // the database's own identifier quote, so the first statement opens such tables too.
    QString quote;
    if (mObj_QVNDatabase)
        quote = QVNOdbcSources::IdentifierQuote(mObj_QVNDatabase->Connection());
    m_ui->Txt_SQL->setPlainText(QStringLiteral("select * from ") +
                                QVNOdbcSources::QuoteTableName(TableName, quote, TableSchema));
}

void Frm_TableData::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_timerDone)
        return;
    m_timerDone = true;
    // Timer1: once the window is on the screen, run the first statement.
    QTimer::singleShot(0, this, [this] { Execute(); });
}

void Frm_TableData::reject()
{
    if (m_reading) {
        m_stopRequested = true;
        CancelRun();
        return;
    }
    QDialog::reject();
}

void Frm_TableData::done(int result)
{
    // A closed viewer holds no rows and no connection: its memory goes back at once.
    m_model->Clear();
    QDialog::done(result);
}

void Frm_TableData::closeEvent(QCloseEvent* event)
{
    if (m_reading) {
        m_stopRequested = true;
        CancelRun();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Frm_TableData::CancelRun()
{
    m_model->Cancel();
    if (m_export)
        m_export->Cancel();
}

void Frm_TableData::SetBusy(bool busy)
{
    m_reading = busy;
    if (busy)
        m_stopRequested = false;
    m_exec->setEnabled(!busy);
    m_html->setEnabled(!busy);
    m_csv->setEnabled(!busy);
    m_cancel->setEnabled(busy);
    m_ui->Txt_SQL->setReadOnly(busy);
}

bool Frm_TableData::Canceled()
{
    if (m_stopRequested)
        return true;
    if (m_cancelCheck)
        return m_cancelCheck();
    return m_process && m_process->ProcessCanceled();
}

void Frm_TableData::WaitFor(const std::function<bool()>& done, QVNStatementRunner* runner)
{
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(kPollMs);
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (Canceled()) {
            m_model->Cancel();
            if (runner)
                runner->Cancel();
        }
        ShowStatus();
        if (done())
            loop.quit();
    });
    poll.start();
    if (!done())
        loop.exec();
    ShowStatus();
}

QString Frm_TableData::StatusText() const
{
    return m_ui->Lbl_Status->text();
}

void Frm_TableData::ShowStatus()
{
    using P = QVNStatementRunner::Phase;
    const QLocale locale;
    const QVNStatementRunner::Status s = m_model->Status();
    const QString rows = locale.toString(qint64(m_model->rowCount()));
    QString text;
    switch (s.phase) {
    case P::Idle:
        break;
    case P::Connecting:
    case P::Executing:
        text = Text(QStringLiteral("STATUS_RUNNING"), QStringLiteral("Executing... %1")).arg(Seconds(s.elapsedMs));
        break;
    case P::Open:
        text = m_model->LimitReached()
                   ? Text(QStringLiteral("STATUS_LIMIT"),
                          QStringLiteral("First %1 rows shown (memory limit); a heading click sorts in the database"))
                         .arg(rows)
                   : Text(QStringLiteral("STATUS_OPEN"), QStringLiteral("%1 rows so far, more as you scroll (%2)"))
                         .arg(rows, Seconds(s.elapsedMs));
        break;
    case P::Done:
        if (m_model->columnCount() == 0)
            text = s.rowsAffected >= 0
                       ? Text(QStringLiteral("STATUS_AFFECTED"), QStringLiteral("%1 rows affected (%2)"))
                             .arg(locale.toString(s.rowsAffected), Seconds(s.elapsedMs))
                       : Text(QStringLiteral("STATUS_DONE_NO_ROWS"), QStringLiteral("Done (%1)"))
                             .arg(Seconds(s.elapsedMs));
        else
            text = Text(QStringLiteral("STATUS_DONE"), QStringLiteral("%1 rows (%2)")).arg(rows, Seconds(s.elapsedMs));
        break;
    case P::Failed:
        text = Text(QStringLiteral("STATUS_FAILED"), QStringLiteral("Failed after %1")).arg(Seconds(s.elapsedMs));
        break;
    case P::Canceled:
        text = Text(QStringLiteral("STATUS_CANCELED"), QStringLiteral("Cancelled after %1 rows (%2)"))
                   .arg(rows, Seconds(s.elapsedMs));
        break;
    }
    if (m_export) {
        const QVNStatementRunner::Status e = m_export->CurrentStatus();
        text = Text(QStringLiteral("STATUS_EXPORT"), QStringLiteral("Exporting... %1")).arg(Seconds(e.elapsedMs));
    }
    m_ui->Lbl_Status->setText(text);
    // Columns fit their widest text among the first rows once they are in (measuring a long result
    // would hold the window).
    if (!m_sized && m_model->rowCount() > 0) {
        m_sized = true;
        m_ui->Spd_Data->resizeColumnsToContents();
    }
}

bool Frm_TableData::Execute()
{
    if (m_reading)
        return false;
    m_canceled = false;
    m_sized = false;
    m_ui->Spd_Data->horizontalHeader()->setSortIndicatorShown(false);
    m_model->Clear();
    if (!mObj_QVNDatabase)
        return false;
    SetBusy(true);
    const QString sql = m_ui->Txt_SQL->toPlainText().trimmed();
    m_model->Run(mObj_QVNDatabase->AdoConnectString, sql);
    // Until the statement has ended or its first rows are in; later rows come as the grid scrolls.
    WaitFor([this] { return !m_model->Busy(); }, nullptr);
    m_model->WaitAndTake(0); // the rows the worker announced last
    SetBusy(false);
    ShowStatus();
    const QVNStatementRunner::Status s = m_model->Status();
    if (s.phase == QVNStatementRunner::Phase::Canceled) {
        m_canceled = true;
        return true;
    }
    if (s.phase == QVNStatementRunner::Phase::Failed) {
        const bool opened = m_model->columnCount() > 0;
        QVNMessage::Show(Text(QStringLiteral("ERROR_EXECUTE_SQL")), 0, s.errors.join(QStringLiteral("\r\n")), true, 10,
                         this);
        if (!opened)
            m_model->Clear();
        return opened;
    }
    return true;
}

bool Frm_TableData::ExportHtml()
{
    return Export(false);
}

bool Frm_TableData::ExportCsv()
{
    return Export(true);
}

bool Frm_TableData::Export(bool csv)
{
    const QString error = csv ? Text(QStringLiteral("ERROR_CSV"), QStringLiteral("The CSV file could not be written."))
                              : Text(QStringLiteral("ERROR_HTML"));
    QString file;
    if (m_chooser) {
        file = m_chooser(this);
    } else if (csv) {
        file = QFileDialog::getSaveFileName(
            this, Text(QStringLiteral("CDG_FILE_CSV"), QStringLiteral("Save as CSV")), Mdl_Main::OutPath,
            Text(QStringLiteral("CDG_FILTER_CSV"), QStringLiteral("CSV files (*.csv)")));
    } else {
        file = QFileDialog::getSaveFileName(this, Text(QStringLiteral("CDG_FILE_HTML")), Mdl_Main::OutPath,
                                            Text(QStringLiteral("CDG_FILTER_HTML")));
    }
    file = file.trimmed();
    if (file.isEmpty() || !mObj_QVNDatabase) {
        QVNMessage::Show(error, 0, QString(), false, 10, this);
        return false;
    }
    // The whole result is read again from a fresh cursor and written record by record, so an
    // export never needs the rows in memory (nor only the rows fetched so far).
    QString sql = m_model->Statement();
    if (sql.isEmpty())
        sql = m_ui->Txt_SQL->toPlainText().trimmed();
    QVNTableExport exporter;
    const QString title = TableName;
    QVNStatementRunner runner;
    runner.Start(QVNStatementRunner::StreamingConnectString(mObj_QVNDatabase->AdoConnectString), sql, 5,
                 [&exporter, csv, file, title](QVNRecordset& rs, const std::atomic<bool>& cancel, QStringList& errors) {
                     const bool ok =
                         csv ? exporter.WriteCsv(file, rs, cancel) : exporter.WriteHtml(file, title, rs, cancel);
                     if (!ok)
                         errors << exporter.Exceptions.ToString();
                     return ok;
                 });
    m_export = &runner;
    SetBusy(true);
    using P = QVNStatementRunner::Phase;
    WaitFor(
        [&runner] {
            const P p = runner.CurrentStatus().phase;
            return p == P::Done || p == P::Failed || p == P::Canceled;
        },
        &runner);
    SetBusy(false);
    const QVNStatementRunner::Status s = runner.CurrentStatus();
    m_export = nullptr;
    ShowStatus();
    if (s.phase != P::Done) {
        QVNMessage::Show(error, 0, s.errors.join(QStringLiteral("\r\n")), s.phase == P::Failed, 10, this);
        return false;
    }
    QVNMessage::Show(csv ? Text(QStringLiteral("MESSAGE_CSV_OK"), QStringLiteral("The CSV file has been written."))
                         : Text(QStringLiteral("MESSAGE_HTML_OK")),
                     2, QString(), false, 10, this);
    return true;
}

int Frm_TableData::RowCount() const
{
    return m_model->rowCount();
}

int Frm_TableData::ColumnCount() const
{
    return m_model->columnCount();
}

QString Frm_TableData::Cell(int row, int column) const
{
    if (column < 1 || column > ColumnCount())
        return QString();
    if (row == 0)
        return m_model->Heading(column - 1);
    return m_model->Cell(row - 1, column - 1);
}

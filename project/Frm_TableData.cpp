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
#include "QVNTableExport.h"
#include "ui_Frm_TableData.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

namespace {
const QString kSection = QStringLiteral("Frm_TableData");
constexpr qint64 kPollMs = 50;
} // namespace

/// The rows read so far, shown by Spd_Data. Rows arrive in batches so a long read repaints
/// between batches without one model signal per record.
class Frm_TableData::RowsModel : public QAbstractTableModel
{
public:
    QStringList headings;
    QList<QStringList> rows;

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(rows.size()); }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(headings.size()); }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return QVariant();
        const QStringList& row = rows[index.row()];
        return index.column() < row.size() ? row[index.column()] : QString();
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole)
            return QVariant();
        if (orientation == Qt::Horizontal)
            return section < headings.size() ? headings[section] : QString();
        return section + 1;
    }
    void Reset(const QStringList& newHeadings)
    {
        beginResetModel();
        headings = newHeadings;
        rows.clear();
        endResetModel();
    }
    void Append(QList<QStringList>& batch)
    {
        if (batch.isEmpty())
            return;
        beginInsertRows(QModelIndex(), int(rows.size()), int(rows.size() + batch.size() - 1));
        rows.append(std::move(batch));
        endInsertRows();
        batch.clear();
    }
};

Frm_TableData::Frm_TableData(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::Frm_TableData>()), m_model(std::make_unique<RowsModel>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    m_toolBar = QVNDialogBar::Create(this);
    m_exec = QVNDialogBar::AddAction(m_toolBar, "exec", QStyle::SP_MediaPlay, QKeySequence(Qt::Key_F5));
    m_html =
        QVNDialogBar::AddAction(m_toolBar, "html", QStyle::SP_DialogSaveButton, QKeySequence(Qt::CTRL | Qt::Key_S));
    m_exit = QVNDialogBar::AddAction(m_toolBar, "exit", QStyle::SP_DialogCloseButton, QKeySequence(Qt::Key_Escape));
    m_ui->Lay_Main->insertWidget(0, m_toolBar);
    m_ui->Spd_Data->setModel(m_model.get());
    m_ui->Spd_Data->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_ui->Spd_Data->horizontalHeader()->setResizeContentsPrecision(200);
    m_ui->Spd_Data->verticalHeader()->setDefaultSectionSize(m_ui->Spd_Data->fontMetrics().height() + 6);

    connect(m_exec, &QAction::triggered, this, &Frm_TableData::Execute);
    connect(m_html, &QAction::triggered, this, &Frm_TableData::ExportHtml);
    connect(m_exit, &QAction::triggered, this, &QDialog::close);
    resize(760 * logicalDpiX() / 96, 520 * logicalDpiY() / 96);
    QVNDialogSize::Remember(this);
}

Frm_TableData::~Frm_TableData() = default;

QString Frm_TableData::Text(const QString& key) const
{
    return QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, key);
}

void Frm_TableData::LoadWindow()
{
    QVNLanguage& language = Mdl_Main::Language();
    QVNFormLocalizer::Localize(this, language);
    QVNDialogBar::SetCaption(m_exec, Text(QStringLiteral("TB_TOOL_EXEC")));
    QVNDialogBar::SetCaption(m_html, Text(QStringLiteral("TB_TOOL_HTML")));
    QVNDialogBar::SetCaption(m_exit, Text(QStringLiteral("TB_TOOL_EXIT")));
    m_ui->Txt_SQL->setAccessibleName(Text(QStringLiteral("Txt_SQL")));
    m_ui->Spd_Data->setAccessibleName(Text(QStringLiteral("Spd_Data")));
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
        return;
    }
    QDialog::reject();
}

void Frm_TableData::closeEvent(QCloseEvent* event)
{
    if (m_reading) {
        m_stopRequested = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Frm_TableData::SetBusy(bool busy)
{
    m_reading = busy;
    if (busy)
        m_stopRequested = false;
    m_toolBar->setEnabled(!busy);
    m_ui->Txt_SQL->setEnabled(!busy);
}

bool Frm_TableData::Canceled()
{
    if (m_stopRequested)
        return true;
    if (m_cancelCheck)
        return m_cancelCheck();
    return m_process && m_process->ProcessCanceled();
}

bool Frm_TableData::Execute()
{
    SetBusy(true);
    m_canceled = false;
    m_model->Reset(QStringList());
    if (!mObj_QVNDatabase) {
        SetBusy(false);
        return false;
    }
    if (m_process)
        m_process->ShowProcess(Text(QStringLiteral("MESSAGE_EXECUTE_SQL")), false);
    std::unique_ptr<QVNRecordset> rs;
    const bool ok = mObj_QVNDatabase->RunAdoSearch(m_ui->Txt_SQL->toPlainText().trimmed(), rs);
    if (m_process)
        m_process->EndProcess();
    if (!ok) {
        QVNMessage::Show(Text(QStringLiteral("ERROR_EXECUTE_SQL")), 0, mObj_QVNDatabase->Exceptions.ToString(), true,
                         10, this);
        SetBusy(false);
        return false;
    }
    if (rs && rs->IsOpen() && rs->FieldCount() > 0) {
        if (m_process)
            m_process->ShowProcess(Text(QStringLiteral("MESSAGE_SHOW_DATA")), true);
        QStringList headings;
        for (int i = 0; i < rs->FieldCount(); ++i)
            headings << rs->FieldName(i).trimmed();
        m_model->Reset(headings);
        QList<QStringList> batch;
        QElapsedTimer sincePoll;
        sincePoll.start();
        const int fields = rs->FieldCount();
        while (!rs->IsEof()) {
            QStringList row;
            row.reserve(fields);
            for (int i = 0; i < fields; ++i)
                row << rs->Value(i).trimmed();
            batch.append(std::move(row));
            rs->MoveNext();
            // Pending events and the Cancel button are served every 50 ms rather than once per
            // record: a round trip to the progress server per record would dominate long reads.
            if (sincePoll.elapsed() >= kPollMs) {
                m_model->Append(batch);
                QApplication::processEvents();
                sincePoll.restart();
                if (Canceled()) {
                    m_canceled = true;
                    break;
                }
            }
        }
        m_model->Append(batch);
        // Columns fit their widest text among the rows on the screen and the first 200 (measuring
        // all of a long result would hold the window for a noticeable time after Cancel).
        m_ui->Spd_Data->resizeColumnsToContents();
        if (m_process)
            m_process->EndProcess();
        if (!rs->Errors().isEmpty())
            QVNMessage::Show(Text(QStringLiteral("ERROR_EXECUTE_SQL")), 0, rs->Errors().join(QStringLiteral("\r\n")),
                             true, 10, this);
        // Freeing a long result takes the driver a while; the window is already up to date.
        rs->Close();
    }
    SetBusy(false);
    return true;
}

bool Frm_TableData::ExportHtml()
{
    QString file;
    if (m_chooser) {
        file = m_chooser(this);
    } else {
        file = QFileDialog::getSaveFileName(this, Text(QStringLiteral("CDG_FILE_HTML")), Mdl_Main::OutPath,
                                            Text(QStringLiteral("CDG_FILTER_HTML")));
    }
    file = file.trimmed();
    if (file.isEmpty()) {
        QVNMessage::Show(Text(QStringLiteral("ERROR_HTML")), 0, QString(), false, 10, this);
        return false;
    }
    QVNTableExport exporter;
    if (!exporter.WriteHtml(file, TableName, m_model->headings, m_model->rows)) {
        QVNMessage::Show(Text(QStringLiteral("ERROR_HTML")), 0, exporter.Exceptions.ToString(), true, 10, this);
        return false;
    }
    QVNMessage::Show(Text(QStringLiteral("MESSAGE_HTML_OK")), 2, QString(), false, 10, this);
    return true;
}

int Frm_TableData::RowCount() const
{
    return int(m_model->rows.size());
}

int Frm_TableData::ColumnCount() const
{
    return int(m_model->headings.size());
}

QString Frm_TableData::Cell(int row, int column) const
{
    if (column < 1 || column > ColumnCount())
        return QString();
    if (row == 0)
        return m_model->headings[column - 1];
    if (row < 1 || row > RowCount())
        return QString();
    const QStringList& values = m_model->rows[row - 1];
    return column - 1 < values.size() ? values[column - 1] : QString();
}

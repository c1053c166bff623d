#include "Frm_Build.h"

#include "Frm_BuildPreview.h"
#include "Frm_IE.h"
#include "Mdl_Main.h"
#include "QVNDialogBar.h"
#include "QVNDialogSize.h"
#include "QVNFormLocalizer.h"
#include "QVNFunction.h"
#include "QVNGenerate.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNModel.h"
#include "QVNParser.h"
#include "QVNProcess.h"
#include "QVNProgress.h"
#include "QVNShell.h"
#include "ui_Frm_Build.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDate>
#include <QDateEdit>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QRegularExpressionValidator>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolBar>

#include <algorithm>

namespace {
const QString kSection = QStringLiteral("Frm_Build");
constexpr int kEntryWidth = 100;
constexpr int kMultiLineHeight = 50;
constexpr qint64 kShowInterval = 50;
constexpr qint64 kPollInterval = 20;
constexpr qint64 kEventInterval = 10;

Frm_Build::FolderOpener& folderOpener()
{
    static Frm_Build::FolderOpener opener;
    return opener;
}

Frm_Build::PageViewer& pageViewer()
{
    static Frm_Build::PageViewer viewer;
    return viewer;
}

Frm_Build::Previewer& previewer()
{
    static Frm_Build::Previewer preview;
    return preview;
}
} // namespace

/// The model's variables as the grid shows them: label, value (edited by type), key (hidden).
class BuildVariableModel : public QAbstractTableModel
{
public:
    struct Row
    {
        QString name, value, type, key;
        bool editable = true;
    };

    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(QList<Row> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    const QList<Row>& Rows() const { return m_rows; }
    void SetHeadings(const QString& label, const QString& value)
    {
        m_headings = {label, value, QStringLiteral("Key")};
        emit headerDataChanged(Qt::Horizontal, 0, 2);
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_rows.size())
            return {};
        const Row& r = m_rows.at(index.row());
        if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::AccessibleTextRole) {
            switch (index.column()) {
            case 0:
                return r.name;
            case 1:
                return r.value;
            default:
                return r.key;
            }
        }
        if (role == Qt::BackgroundRole && index.column() == 1 && !r.editable)
            return QApplication::palette().color(QPalette::Button);
        if (role == Qt::UserRole)
            return r.type;
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        if (index.isValid() && index.column() == 1 && m_rows.at(index.row()).editable)
            f |= Qt::ItemIsEditable;
        return f;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
            return false;
        m_rows[index.row()].value = value.toString();
        emit dataChanged(index, index);
        return true;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_headings.size())
            return m_headings.at(section);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    QList<Row> m_rows;
    QStringList m_headings{QStringLiteral("Variable"), QStringLiteral("Value"), QStringLiteral("Key")};
};

namespace {
/// Editors by variable type: "D" a date picker (yyyy-MM-dd), "N" a number field, "M" several lines.
class VariableDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QString type = index.data(Qt::UserRole).toString().toUpper();
        QWidget* editor = nullptr;
        if (type == QLatin1String("D")) {
            auto* date = new QDateEdit(parent);
            date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
            date->setCalendarPopup(true);
            editor = date;
        } else if (type == QLatin1String("N")) {
            auto* number = new QLineEdit(parent);
            static const QRegularExpression rx(QStringLiteral("[-+]?[0-9]*([.][0-9]*)?([eE][-+]?[0-9]+)?"));
            number->setValidator(new QRegularExpressionValidator(rx, number));
            editor = number;
        } else if (type == QLatin1String("M")) {
            editor = new QPlainTextEdit(parent);
        } else {
            return QStyledItemDelegate::createEditor(parent, option, index);
        }
        editor->setObjectName(QStringLiteral("Spd_Data_Editor"));
        editor->setAccessibleName(index.siblingAtColumn(0).data().toString());
        return editor;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        const QString value = index.data(Qt::EditRole).toString();
        if (auto* date = qobject_cast<QDateEdit*>(editor)) {
            const QDate d = QDate::fromString(value.left(10), QStringLiteral("yyyy-MM-dd"));
            date->setDate(d.isValid() ? d : QDate::currentDate());
        } else if (auto* text = qobject_cast<QPlainTextEdit*>(editor)) {
            text->setPlainText(value);
        } else {
            QStyledItemDelegate::setEditorData(editor, index);
        }
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        if (auto* date = qobject_cast<QDateEdit*>(editor))
            model->setData(index, date->date().toString(QStringLiteral("yyyy-MM-dd")));
        else if (auto* text = qobject_cast<QPlainTextEdit*>(editor))
            model->setData(index, text->toPlainText());
        else
            QStyledItemDelegate::setModelData(editor, model, index);
    }
};
} // namespace

Frm_Build::Frm_Build(QWidget* parent, QVNProcess* process)
    : QDialog(parent), m_ui(std::make_unique<Ui::Frm_Build>()), m_process(process)
{
    m_ui->setupUi(this);
    m_toolBar = QVNDialogBar::Create(this);
    m_ok = QVNDialogBar::AddAction(m_toolBar, "ok", QStyle::SP_MediaPlay, QKeySequence(Qt::CTRL | Qt::Key_Return));
    // Escape is the dialog's own (reject): as a shortcut it would also fire while a drop-down is open.
    m_exit = QVNDialogBar::AddAction(m_toolBar, "exit", QStyle::SP_DialogCloseButton);
    QVNDialogBar::PlaceTopRight(m_ui->Lay_Main, m_toolBar);

    m_grid = new BuildVariableModel(this);
    QTableView* grid = m_ui->Spd_Data;
    grid->setModel(m_grid);
    grid->setItemDelegateForColumn(1, new VariableDelegate(grid));
    grid->setColumnHidden(2, true);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->setVisible(false);
    grid->setAccessibleName(QStringLiteral("Spd_Data"));
    m_ui->Cbo_Model->setAccessibleName(QStringLiteral("Cbo_Model"));
    m_ui->Txt_Folder->setAccessibleName(QStringLiteral("Txt_Folder"));

    ClearVariable();
    m_dialogResult = 0;

    QVNLanguage& language = Mdl_Main::Language();
    QVNFormLocalizer::Localize(this, language);
    QVNDialogBar::SetCaption(m_ok, Text(QStringLiteral("TB_TOOL_OK")));
    QVNDialogBar::SetCaption(m_exit, Text(QStringLiteral("TB_TOOL_EXIT")));
    m_grid->SetHeadings(Text(QStringLiteral("Spd_Data_0_1")), Text(QStringLiteral("Spd_Data_0_2")));
    m_ui->Cmd_OutPath->setText(QStringLiteral("..."));
    m_ui->Cmd_OutPath->setAccessibleName(m_ui->Lbl_Folder->text().remove(QLatin1Char('&')));
    m_ui->Cbo_Model->setAccessibleName(m_ui->Lbl_ModelName->text().remove(QLatin1Char('&')));
    grid->setAccessibleName(m_ui->Lbl_ModelProperty->text());
    m_ui->Txt_Folder->setAccessibleName(m_ui->Lbl_Folder->text().remove(QLatin1Char('&')));

    // The model list: the key sits behind the 100 characters of each entry and is never shown.
    QVNModel model;
    m_models = model.GetAllModels(Mdl_Main::ModelPath);
    if (!m_models)
        m_models = TQXRows::Create();
    for (const TQXRowPtr& r : *m_models) {
        const TQXColsPtr& cols = r->Cols();
        const QString entry =
            ModelEntry(cols->Text(QStringLiteral("MI_NAME")), cols->Text(QStringLiteral("MI_VERSION")), r->Key(),
                       Mdl_Main::Language().GetLocalizeMessage(kSection, QStringLiteral("MODEL_VERSION")));
        m_ui->Cbo_Model->addItem(entry.left(kEntryWidth).trimmed(), entry);
        m_ui->Cbo_Model->setItemData(m_ui->Cbo_Model->count() - 1, cols->Text(QStringLiteral("MI_DESC")),
                                     Qt::ToolTipRole);
    }
    // A package that cannot be opened stays in the list, disabled, with the reason; it has no key.
    const int usable = m_ui->Cbo_Model->count();
    for (const QVNModel::SkippedModel& skipped : model.SkippedModels()) {
        m_ui->Cbo_Model->addItem(QStringLiteral("%1  (%2 %3)")
                                     .arg(QFileInfo(skipped.file).fileName(),
                                          Text(QStringLiteral("MESSAGE_MODEL_UNREADABLE")), skipped.reason),
                                 QString());
        if (auto* items = qobject_cast<QStandardItemModel*>(m_ui->Cbo_Model->model()))
            items->item(m_ui->Cbo_Model->count() - 1)->setEnabled(false);
        m_ui->Cbo_Model->setItemData(m_ui->Cbo_Model->count() - 1, skipped.reason, Qt::ToolTipRole);
    }

    connect(m_ui->Cbo_Model, &QComboBox::currentIndexChanged, this, [this] { ShowModel(); });
    connect(m_ui->Cmd_OutPath, &QPushButton::clicked, this, [this] { Browse(); });
    connect(m_ok, &QAction::triggered, this, [this] { Build(); });
    connect(m_exit, &QAction::triggered, this, &Frm_Build::reject);
    // Enter builds; the folder button only opens its picker when pressed itself.
    m_ui->Cmd_OutPath->setAutoDefault(false);
    if (usable > 0) {
        m_ui->Cbo_Model->setCurrentIndex(0);
        ShowModel();
    }
    resize(width() * logicalDpiX() / 96, height() * logicalDpiY() / 96);
    QVNDialogSize::Remember(this);
}

Frm_Build::~Frm_Build() = default;

void Frm_Build::reject()
{
    m_dialogResult = 0;
    QDialog::reject();
}

void Frm_Build::keyPressEvent(QKeyEvent* event)
{
    // Enter reaches the dialog when the focused control has no use for it (an editor in the grid
    // and an open drop-down keep theirs): it starts the build, as the default button would.
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (m_ok->isEnabled())
            m_ok->trigger();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString Frm_Build::Text(const QString& key) const
{
    return QVNFormLocalizer::Text(Mdl_Main::Language(), kSection, key);
}

QString Frm_Build::ModelEntry(const QString& name, const QString& version, const QString& key,
                              const QString& versionWord)
{
    const QString word = versionWord.isEmpty() ? QStringLiteral("Version") : versionWord;
    QString text = name + QStringLiteral("    (") + word + QStringLiteral(": ") + version + QLatin1Char(')');
    text = text.left(kEntryWidth).leftJustified(kEntryWidth, QLatin1Char(' '));
    return text + key;
}

QString Frm_Build::ModelKey(const QString& entry)
{
    return entry.mid(kEntryWidth);
}

void Frm_Build::SetFolderOpener(FolderOpener opener)
{
    folderOpener() = std::move(opener);
}

void Frm_Build::SetPageViewer(PageViewer viewer)
{
    pageViewer() = std::move(viewer);
}

void Frm_Build::SetPreviewer(Previewer preview)
{
    previewer() = std::move(preview);
}

int Frm_Build::ShowBuild(QWidget* owner, QVNProcess* process, const TQXRowsPtr& tables,
                         const TQXColsPtr& projectVariables, const QString& projectFolder)
{
    Frm_Build dialog(owner, process);
    dialog.ClearVariable();
    if (projectVariables) {
        for (const TQXColPtr& col : *projectVariables)
            dialog.AddVariable(col->Value().ToText(), col->Key());
    }
    dialog.SetFolder(projectFolder);
    dialog.SetConvertDatas(tables);
    dialog.exec();
    const int result = dialog.DialogResult();
    dialog.ClearVariable();
    return result;
}

void Frm_Build::ClearVariable()
{
    const QDateTime now = QDateTime::currentDateTime();
    m_variables = TQXCols::Create();
    m_variables->Add(TQXValue(now.toString(QStringLiteral("yyyy-MM-dd"))), QStringLiteral("RVG_DATE"));
    m_variables->Add(TQXValue(now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))), QStringLiteral("RVG_DATETIME"));
    m_tables = TQXRows::Create();
    RefreshDefaults();
}

void Frm_Build::AddVariable(const QString& pStr_Value, const QString& pStr_Name)
{
    m_variables->Add(TQXValue(pStr_Value), QStringLiteral("RVG_") + pStr_Name);
    RefreshDefaults();
}

void Frm_Build::RefreshDefaults()
{
    // The caller adds its variables after the dialog was made: the shown defaults use them.
    if (m_models && m_ui->Cbo_Model->currentIndex() >= 0)
        ShowModel();
}

void Frm_Build::SetFolder(const QString& folder)
{
    m_ui->Txt_Folder->setText(folder);
}

const TQXRowsPtr& Frm_Build::ConvertDatas()
{
    if (!m_tables)
        m_tables = TQXRows::Create();
    return m_tables;
}

void Frm_Build::ShowModel()
{
    QList<BuildVariableModel::Row> rows;
    const TQXRowPtr model = m_models->Item(ModelKey(m_ui->Cbo_Model->currentData().toString()));
    const TQXColPtr list = model ? model->Cols()->Item(QStringLiteral("MI_VARIABLE")) : nullptr;
    if (list && list->Value().rows()) {
        for (const TQXRowPtr& record : *list->Value().rows()) {
            const TQXColsPtr& cols = record->Cols();
            BuildVariableModel::Row row;
            row.key = cols->Text(QStringLiteral("MV_NO")).trimmed();
            row.name = cols->Text(QStringLiteral("MV_NAME")).trimmed();
            row.type = cols->Text(QStringLiteral("MV_TYPE")).trimmed();
            row.editable = cols->Text(QStringLiteral("MV_EDIT")).trimmed() != QLatin1String("0");
            row.value = QVNGenerate::ExpandDefault(cols->Text(QStringLiteral("MV_DEFAULT")), m_variables);
            rows.append(row);
        }
    }
    QTableView* grid = m_ui->Spd_Data;
    grid->setUpdatesEnabled(false);
    m_grid->SetRows(rows);
    for (int i = 0; i < rows.size(); ++i) {
        if (rows.at(i).type.compare(QLatin1String("M"), Qt::CaseInsensitive) == 0)
            grid->setRowHeight(
                i, std::max(kMultiLineHeight * logicalDpiY() / 96, grid->verticalHeader()->defaultSectionSize()));
    }
    grid->resizeColumnToContents(0);
    grid->setUpdatesEnabled(true);
}

void Frm_Build::Browse()
{
    const QString folder = QVNShell::GetFolder(m_ui->Txt_Folder->text(), this);
    if (!folder.isEmpty())
        m_ui->Txt_Folder->setText(folder);
}

// The engine reports every block and column; each call to the progress server is a round trip, so
// engine messages are shown at most every 50 ms and Cancel is polled at most every 20 ms (the main
// messages are always shown). The window cannot show more than that anyway.
void Frm_Build::OnProgress(const QString& message, bool& cancel, bool main)
{
    if (!m_process)
        return;
    const qint64 now = m_clock.elapsed();
    if (!message.isEmpty() && (main || now - m_lastShown >= kShowInterval)) {
        m_process->SetProcessing(message);
        m_lastShown = now;
    }
    if (now - m_lastPolled >= kPollInterval) {
        m_lastPolled = now;
        if (m_process->ProcessCanceled())
            cancel = true;
    }
}

bool Frm_Build::Build()
{
    const QString key = ModelKey(m_ui->Cbo_Model->currentData().toString());
    const TQXRowPtr model = key.isEmpty() ? nullptr : m_models->Item(key);
    if (!model) {
        QVNMessage::Show(Text(QStringLiteral("MESSAGE_NO_MODEL")), 0, QString(), false, 0, this);
        return false;
    }
    m_ui->Fra_Main->setEnabled(false);
    m_toolBar->setEnabled(false);

    if (!m_process || !m_process->IsCreated()) {
        if (!m_ownProcess) {
            m_ownProcess = std::make_unique<QVNProcess>();
            m_ownProcess->Create();
        }
        m_process = m_ownProcess.get();
    }
    m_process->ShowProcess(Text(QStringLiteral("MESSAGE_START_GENERATE")), true);
    m_process->SetProcessing(Text(QStringLiteral("MESSAGE_COLLECT_DATA")));

    const QString file = model->Cols()->Text(QStringLiteral("MI_FILE")).trimmed();
    const QString wanted = Mdl_Main::Function().AddFolderMark(m_ui->Txt_Folder->text().trimmed());
    const QString out = QVNGenerate::UsableOutputFolder(m_ui->Txt_Folder->text());
    if (out != wanted)
        m_ui->Txt_Folder->setText(out);
    m_log.clear();

    // One request: the dialog's variables as they are, the grid's values over the model's defaults.
    QVNBuildRequest request;
    request.model = file;
    request.outDir = out;
    request.tables = ConvertDatas();
    request.variables = m_variables;
    for (const BuildVariableModel::Row& row : m_grid->Rows()) {
        if (!row.key.isEmpty())
            request.overrides.insert(row.key, row.value);
    }

    QVNGenerate generate;
    generate.Progress = [this](const QString& message, bool& cancel) { OnProgress(message, cancel, true); };
    generate.Detail = [this](const QString& message, bool& cancel) { OnProgress(message, cancel, false); };
    m_clock.start();
    m_lastShown = -kShowInterval;
    m_lastPolled = -kPollInterval;
    // The dialog keeps painting while the build runs; its inputs are disabled meanwhile. The engine
    // asks after every block, far more often than a window can paint, and each pass over the event
    // queue polls every socket the program holds: pending events run at most every 10 ms, and the
    // clock is read every 32nd time.
    QVNEvents::SetHook([this, last = -kEventInterval, calls = 0u]() mutable {
        if (++calls % 32 != 1)
            return;
        const qint64 now = m_clock.elapsed();
        if (now - last < kEventInterval)
            return;
        last = now;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    bool ok = generate.Prepare(request);
    QVNEvents::SetHook({});
    m_process->EndProcess();
    // Nothing is written before the user saw what the build changes in a folder that holds files.
    if (ok) {
        const auto& files = generate.Output().Files();
        const bool onlyNew = std::all_of(files.cbegin(), files.cend(), [](const QVNBuildOutput::File& f) {
            return f.kind == QVNBuildOutput::Kind::New;
        });
        const bool publish = onlyNew || (previewer() ? previewer()(generate.Output(), this)
                                                     : Frm_BuildPreview::Review(generate.Output(), this));
        ok = publish && generate.Publish();
        if (!publish)
            generate.Discard();
    }
    m_log = generate.Log();

    if (!ok) {
        // A failed or cancelled build says so; its log and causes are the detail.
        QString detail = m_log;
        const QStringList causes = generate.FailureCauses();
        if (!causes.isEmpty())
            detail += causes.join(QStringLiteral("\r\n"));
        QVNMessage::Show(Text(QStringLiteral("MESSAGE_CANCEL")), 0, detail, true, 0, this);
    } else {
        // Built, but with warnings (the templates' mistakes with file and line, tables the database no
        // longer has): they come first.
        if (!generate.Warnings().isEmpty())
            QVNMessage::Show(Text(QStringLiteral("MESSAGE_GENERATE_DIAGNOSTICS")).arg(generate.Warnings().size()), 1,
                             generate.Warnings().join(QStringLiteral("\r\n")), true, 0, this);
        if (generate.ReadmeFilled()) {
            if (pageViewer())
                pageViewer()(generate.ReadmePage(), this);
            else
                Frm_IE::ShowPage(generate.ReadmePage(), this);
        } else if (generate.Warnings().isEmpty()) {
            QVNMessage::Show(Text(QStringLiteral("MESSAGE_GENERATE_OK")), 2, m_log, true, 10, this);
        }
    }
    if (ok) {
        if (folderOpener())
            folderOpener()(out);
        else
            QVNShell::Execute(this, QStringLiteral("open"), out, QString(), QString(), 1);
    }

    m_ui->Fra_Main->setEnabled(true);
    m_toolBar->setEnabled(true);
    return ok;
}

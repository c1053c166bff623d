#include "QVNColumnPage.h"

#include "Frm_Choose.h"
#include "Frm_Convert.h"
#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNFormLocalizer.h"
#include "QVNFunction.h"
#include "QVNLanguage.h"
#include "QVNProject.h"
#include "TQXCol.h"
#include "TQXCols.h"
#include "ui_QVNColumnPage.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>

#include <cmath>

namespace {

const QString kSection = QStringLiteral("Frm_Database");
constexpr int kColumns = 17;
enum Col {
    KeyPicture = 1,
    Name,
    Caption,
    Type,
    Desc,
    Null,
    KeyMark,
    UpdateType,
    SearchType,
    MainType,
    ShowType,
    Conversions,
    Default,
    ConvertCaptions,
    ConvertValues,
    TypeClass,
    Length
};
constexpr int kRed = 255;
const char* const kTypeFields[] = {"CL_UPDATE_TYPE", "CL_SEARCH_TYPE", "CL_MAIN_TYPE", "CL_SHOW_TYPE"};
const char* const kScreenKinds[] = {"update", "search", "main", "show"};

QString trimmedText(const TQXColsPtr& cols, const char* key)
{
    const TQXColPtr col = cols->Item(key);
    return col ? col->Value().ToText().trimmed() : QString();
}

void setValue(const TQXColsPtr& cols, const QString& key, const TQXValue& value)
{
    if (const TQXColPtr col = cols->Item(key))
        col->SetValue(value);
    else
        cols->Add(value, key);
}

/// An item list without the spaces around it and without one trailing TAB.
QString itemList(const QString& list)
{
    QString text = QVNFunction::TrimSpaces(list).toString();
    if (text.endsWith(QLatin1Char('\t')))
        text.chop(1);
    return text;
}

/// The key shown on primary-key columns.
QIcon keyIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x80, 0x60, 0x00), 1.2));
    p.setBrush(QColor(0xe8, 0xb8, 0x20));
    QPainterPath key;
    key.addEllipse(QRectF(1.5, 4.5, 7, 7));
    key.addRect(QRectF(8, 7, 7, 2));
    key.addRect(QRectF(12, 9, 1.5, 3));
    key.addRect(QRectF(10, 9, 1.5, 2));
    p.drawPath(key.simplified());
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(3.5, 6.5, 3, 3));
    return QIcon(pixmap);
}

} // namespace

QVNColumnPage::QVNColumnPage(QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::QVNColumnPage>()), m_runModal([](QDialog& d) { d.exec(); })
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("Pnl_ColumnList"));
    Grid* grid = m_ui->Spd_ColumnList;
    grid->SetMaxCols(kColumns);
    grid->SetColumnType(KeyPicture, Grid::Picture);
    grid->SetColumnPicture(KeyPicture, keyIcon());
    grid->SetColumnType(KeyMark, Grid::Check);
    for (int c = UpdateType; c <= ShowType; ++c)
        grid->SetColumnType(c, Grid::DropDown);
    grid->SetColumnType(Conversions, Grid::Button);
    // The name is the key the annotations are saved under; type and null come from the database.
    for (int c : {Name, Type, Null})
        grid->SetColumnLocked(c, true);
    for (int c = ConvertCaptions; c <= Length; ++c) {
        grid->SetColumnLocked(c, true);
        grid->SetColumnHidden(c, true);
    }

    connect(grid, &Grid::Changed, this, [this] { MarkChanged(); });
    connect(grid, &Grid::ButtonClicked, this, [this](int col, int row) {
        if (col == Conversions)
            EditConversions(row);
    });
    connect(grid, &Grid::HeadingClicked, this, [this] {
        // Only a click that leaves exactly one whole column selected counts.
        int c1 = 0, c2 = 0, r1 = 0, r2 = 0;
        if (m_ui->Spd_ColumnList->SelectedBlock(c1, c2, r1, r2) && c1 == c2 && r1 == -1)
            ChooseColumnType(c1);
    });
    connect(m_ui->Cbo_PK, &QComboBox::activated, this, [this] { MarkChanged(); });
    for (QRadioButton* b : {m_ui->RB_PK1, m_ui->RB_PK2, m_ui->RB_PK3})
        connect(b, &QRadioButton::clicked, this, [this] { MarkChanged(); });
}

QVNColumnPage::~QVNColumnPage() = default;

Grid* QVNColumnPage::ColumnGrid() const
{
    return m_ui->Spd_ColumnList;
}

Frm_Convert& QVNColumnPage::ConvertDialog()
{
    if (!m_convert)
        m_convert = std::make_unique<Frm_Convert>(window());
    return *m_convert;
}

Frm_Choose& QVNColumnPage::ChooseDialog()
{
    if (!m_choose)
        m_choose = std::make_unique<Frm_Choose>(window());
    return *m_choose;
}

void QVNColumnPage::MarkChanged()
{
    if (!m_filling)
        emit Changed();
}

void QVNColumnPage::ApplyCaptions(QVNLanguage& language)
{
    auto text = [&language](const QString& key) { return QVNFormLocalizer::Text(language, kSection, key); };
    Grid* grid = m_ui->Spd_ColumnList;
    for (int c = Name; c <= Default; ++c)
        grid->SetText(c, 0, text(QStringLiteral("Spd_ColumnList_0_%1").arg(c)));
    grid->SetBlockButtonText(Conversions, -1, Conversions, -1, text(QStringLiteral("Spd_ColumnList_A_12")));
    for (int c = UpdateType; c <= ShowType; ++c) {
        QString items = language.GetLocalizeMessage(kSection, QStringLiteral("Spd_ColumnList_A_%1").arg(c));
        grid->SetBlockItemList(c, -1, c, -1, items.replace(QStringLiteral("\\t"), QStringLiteral("\t")));
    }
    grid->setAccessibleName(text(QStringLiteral("Spd_ColumnList")));
    grid->SetColumnPicture(KeyPicture, keyIcon(), text(QStringLiteral("Lbl_PK")));
    m_ui->Lbl_TL_NAME->setText(text(QStringLiteral("Lbl_TL_NAME")));
    m_ui->Lbl_TL_CNAME->setText(text(QStringLiteral("Lbl_TL_CNAME")));
    m_ui->Lbl_PK->setText(text(QStringLiteral("Lbl_PK")));
    m_ui->Lbl_PKType->setText(text(QStringLiteral("Lbl_PK_Type")));
    m_ui->RB_PK1->setText(text(QStringLiteral("RB_PK1")));
    m_ui->RB_PK2->setText(text(QStringLiteral("RB_PK2")));
    m_ui->RB_PK3->setText(text(QStringLiteral("RB_PK3")));
    // The three options are read as one group: its label names them for a screen reader.
    for (QRadioButton* b : {m_ui->RB_PK1, m_ui->RB_PK2, m_ui->RB_PK3})
        b->setAccessibleDescription(m_ui->Lbl_PKType->text());
}

void QVNColumnPage::Clear()
{
    m_ui->Txt_TL_NAME->clear();
    m_ui->Txt_TL_CNAME->clear();
    m_ui->Cbo_PK->clear();
    m_ui->RB_PK1->setChecked(true);
    m_ui->Spd_ColumnList->SetMaxRows(0);
    m_tables.reset();
}

void QVNColumnPage::Show(QVNProject& project, const QString& tableName)
{
    m_filling = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Clear();
    const QString name = tableName.trimmed();
    m_tables = project.TABLES;
    const TQXRowPtr table = m_tables ? m_tables->Item(name) : nullptr;
    m_ui->Txt_TL_NAME->setText(name);
    m_ui->Txt_TL_CNAME->setText(table ? trimmedText(table->Cols(), "TL_CNAME") : QString());

    const TQXRowsPtr columns = project.GetColumns(name);
    const QString keyKind = table ? trimmedText(table->Cols(), "TL_PKTYPE") : QString();
    (keyKind == QLatin1String("2")   ? m_ui->RB_PK2
     : keyKind == QLatin1String("3") ? m_ui->RB_PK3
                                     : m_ui->RB_PK1)
        ->setChecked(true);

    QVNFunction& fn = Mdl_Main::Function();
    Grid* grid = m_ui->Spd_ColumnList;
    QStringList names;
    int marked = 0;
    grid->BeginUpdate();
    grid->SetMaxRows(columns ? columns->Count() : 0);
    int row = 0;
    if (columns) {
        for (const TQXRowPtr& column : *columns) {
            const TQXColsPtr& cols = column->Cols();
            names << trimmedText(cols, "CL_NAME");
            ++row;
            if (trimmedText(cols, "CL_PK") != QLatin1String("1"))
                grid->SetCellType(KeyPicture, row, Grid::Static);
            if (trimmedText(cols, "CL_PKMARK") == QLatin1String("1"))
                marked = int(names.size()) - 1;
            grid->SetText(Name, row, names.last());
            grid->SetText(Caption, row, trimmedText(cols, "CL_CNAME"));
            grid->SetText(Type, row,
                          trimmedText(cols, "CL_TYPE") + QLatin1Char('(') + trimmedText(cols, "CL_LENGTH2") +
                              QLatin1Char(')'));
            grid->SetText(Desc, row, trimmedText(cols, "CL_DESC"));
            grid->SetText(Null, row, trimmedText(cols, "CL_NULL"));
            grid->SetText(KeyMark, row, trimmedText(cols, "CL_PKMARK"));
            for (int k = 0; k < 4; ++k)
                grid->SetValue(UpdateType + k, row, int(fn.ToNumeric(trimmedText(cols, kTypeFields[k]))));
            const QString captions = trimmedText(cols, "CL_CONVERT_CAPTION");
            grid->SetButtonColor(Conversions, row, captions.isEmpty() ? 0 : kRed);
            grid->SetText(Default, row, trimmedText(cols, "CL_DEFAULT"));
            grid->SetItemList(ConvertCaptions, row, captions);
            grid->SetItemList(ConvertValues, row, trimmedText(cols, "CL_CONVERT_VALUE"));
            grid->SetText(TypeClass, row, trimmedText(cols, "CL_TYPE2"));
            grid->SetText(Length, row, trimmedText(cols, "CL_LENGTH"));
        }
    }
    grid->EndUpdate();
    grid->AutoFit();
    m_ui->Cbo_PK->addItems(names);
    if (!names.isEmpty())
        m_ui->Cbo_PK->setCurrentIndex(marked);
    QApplication::restoreOverrideCursor();
    m_filling = false;
}

void QVNColumnPage::Save()
{
    const QString name = m_ui->Txt_TL_NAME->text().trimmed();
    const TQXRowPtr table = m_tables ? m_tables->Item(name) : nullptr;
    Grid* grid = m_ui->Spd_ColumnList;
    // A page without rows means the columns could not be read (the database was out of reach):
    // writing it back would erase every saved annotation of the table.
    if (!table || grid->MaxRows() == 0)
        return;
    const QString kind = m_ui->RB_PK1->isChecked()   ? QStringLiteral("1")
                         : m_ui->RB_PK2->isChecked() ? QStringLiteral("2")
                                                     : QStringLiteral("3");
    auto rows = TQXRows::Create();
    rows->SetTag(QStringLiteral("COLUMNS"));
    rows->Reserve(grid->MaxRows());
    for (int r = 1; r <= grid->MaxRows(); ++r) {
        const QString column = grid->CellText(Name, r).trimmed();
        const QString caption = grid->CellText(Caption, r).trimmed();
        auto cols = TQXCols::Create();
        cols->Reserve(12);
        cols->Add(column, QStringLiteral("CL_NAME"));
        cols->Add(grid->CellText(KeyMark, r) == QLatin1String("1") ? QStringLiteral("1") : QStringLiteral("0"),
                  QStringLiteral("CL_PKMARK"));
        cols->Add(caption, QStringLiteral("CL_CNAME"));
        cols->Add(caption.isEmpty() ? column : caption, QStringLiteral("CL_CNAME2"));
        cols->Add(grid->CellText(Desc, r).trimmed(), QStringLiteral("CL_DESC"));
        for (int k = 0; k < 4; ++k)
            cols->Add(QString::number(grid->Value(UpdateType + k, r)), QLatin1String(kTypeFields[k]));
        cols->Add(grid->CellText(Default, r).trimmed(), QStringLiteral("CL_DEFAULT"));
        cols->Add(itemList(grid->ItemList(ConvertCaptions, r)), QStringLiteral("CL_CONVERT_CAPTION"));
        cols->Add(itemList(grid->ItemList(ConvertValues, r)), QStringLiteral("CL_CONVERT_VALUE"));
        rows->Add(cols, column);
    }
    const TQXColsPtr& tableCols = table->Cols();
    setValue(tableCols, QStringLiteral("COLUMNS"), TQXValue(rows));
    setValue(tableCols, QStringLiteral("TL_PK"), m_ui->Cbo_PK->currentText());
    setValue(tableCols, QStringLiteral("TL_PKTYPE"), kind);
}

void QVNColumnPage::EditConversions(int row)
{
    Grid* grid = m_ui->Spd_ColumnList;
    if (row < 1 || row > grid->MaxRows())
        return;
    Frm_Convert& dialog = ConvertDialog();
    dialog.ClearData();
    const QStringList captions = grid->ItemList(ConvertCaptions, row).split(QLatin1Char('\t'));
    const QStringList values = grid->ItemList(ConvertValues, row).split(QLatin1Char('\t'));
    for (qsizetype i = 0; i < std::min(captions.size(), values.size()); ++i)
        if (!captions.at(i).isEmpty() && !values.at(i).isEmpty())
            dialog.AddData(captions.at(i), values.at(i));
    m_runModal(dialog);
    if (dialog.DialogResult != 1)
        return;
    QStringList newCaptions, newValues;
    for (const TQXRowPtr& pair : *dialog.ConvertDatas) {
        newCaptions << trimmedText(pair->Cols(), "Caption");
        newValues << trimmedText(pair->Cols(), "Value");
    }
    const QString captionList = newCaptions.join(QLatin1Char('\t'));
    grid->SetButtonColor(Conversions, row, captionList.isEmpty() ? 0 : kRed);
    grid->SetItemList(ConvertCaptions, row, captionList);
    grid->SetItemList(ConvertValues, row, newValues.join(QLatin1Char('\t')));
    MarkChanged();
}

void QVNColumnPage::ChooseColumnType(int col)
{
    Grid* grid = m_ui->Spd_ColumnList;
    if (col < UpdateType || col > ShowType || grid->MaxRows() == 0)
        return;
    Frm_Choose& dialog = ChooseDialog();
    dialog.ClearData();
    const QString items = grid->ItemList(col, 1);
    if (!items.isEmpty())
        for (const QString& item : items.split(QLatin1Char('\t')))
            dialog.AddData(item);
    if (grid->Value(col, 1) >= 0)
        dialog.SetRow(grid->Value(col, 1) + 1);
    dialog.SetDataType(0);
    m_runModal(dialog);
    if (dialog.DialogResult != 1)
        return;
    // The choice is applied as one edit of the user's, so Ctrl+Z takes the whole column back.
    QList<int> values;
    if (dialog.DataType() == 1) {
        QVNFunction& fn = Mdl_Main::Function();
        const QString kind = QLatin1String(kScreenKinds[col - UpdateType]);
        for (int r = 1; r <= grid->MaxRows(); ++r) {
            const QString typeClass = grid->CellText(TypeClass, r).trimmed();
            const double length = std::nearbyint(fn.ToNumeric(grid->CellText(Length, r)));
            const QString code = QVNProject::AutoColumnType(kind, typeClass, QString::number(qint64(length)));
            values.append(int(fn.ToNumeric(code)));
        }
    } else if (dialog.DataType() == 2 && dialog.Row() >= 1) {
        // With no item chosen there is nothing to apply (it would store -1 in every row).
        values.fill(dialog.Row() - 1, grid->MaxRows());
    } else {
        return;
    }
    {
        // One change for the page, not one per row.
        const QSignalBlocker quiet(grid);
        grid->UserSetColumnValues(col, values);
    }
    MarkChanged();
}

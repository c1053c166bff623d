#include "QVNTablePage.h"

#include "Grid.h"
#include "QVNFormLocalizer.h"
#include "QVNLanguage.h"
#include "TQXCol.h"
#include "TQXCols.h"

#include <QApplication>
#include <QVBoxLayout>

namespace {

const QString kSection = QStringLiteral("Frm_Database");
constexpr int kColumns = 7;
constexpr int kDataButton = 7;
const char* const kFields[] = {"TABLE_NAME", "TABLE_TYPE", "TL_CNAME", "TL_USER", "TL_DATE", "TL_DESC"};

QString trimmedText(const TQXColsPtr& cols, const char* key)
{
    const TQXColPtr col = cols->Item(key);
    return col ? col->Value().ToText().trimmed() : QString();
}

void setText(const TQXColsPtr& cols, const QString& key, const QString& value)
{
    if (const TQXColPtr col = cols->Item(key))
        col->SetValue(value);
    else
        cols->Add(value, key);
}

} // namespace

QVNTablePage::QVNTablePage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Pnl_TableList"));
    m_grid = new Grid(this);
    m_grid->setObjectName(QStringLiteral("Spd_TableList"));
    m_grid->SetMaxCols(kColumns);
    m_grid->SetColumnType(kDataButton, Grid::Button);
    for (int c : {1, 2})
        m_grid->SetColumnLocked(c, true); // the name is the row's key; the type comes from the database
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_grid);

    connect(m_grid, &Grid::Changed, this, [this] {
        if (!m_filling)
            emit Changed();
    });
    connect(m_grid, &Grid::ButtonClicked, this, [this](int col, int row) {
        if (col == kDataButton)
            emit ShowData(m_grid->CellText(1, row).trimmed());
    });
}

QVNTablePage::~QVNTablePage() = default;

void QVNTablePage::ApplyCaptions(QVNLanguage& language)
{
    for (int c = 1; c <= kColumns; ++c)
        m_grid->SetText(c, 0, QVNFormLocalizer::Text(language, kSection, QStringLiteral("Spd_TableList_0_%1").arg(c)));
    m_grid->SetBlockButtonText(kDataButton, -1, kDataButton, -1,
                               QVNFormLocalizer::Text(language, kSection, QStringLiteral("Spd_TableList_A_7")));
    m_grid->setAccessibleName(QVNFormLocalizer::Text(language, kSection, QStringLiteral("Spd_TableList")));
}

void QVNTablePage::Clear()
{
    m_grid->SetMaxRows(0);
    m_tables.reset();
}

void QVNTablePage::Show(const TQXRowsPtr& tables, const QString& kind)
{
    m_filling = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString wanted = kind.toUpper();
    m_grid->SetMaxRows(0);
    m_tables = tables;
    m_grid->BeginUpdate();
    int row = 0;
    if (tables) {
        for (const TQXRowPtr& table : *tables) {
            const TQXColsPtr& cols = table->Cols();
            if (trimmedText(cols, "TABLE_TYPE").toUpper().compare(wanted, Qt::CaseInsensitive) != 0)
                continue;
            m_grid->SetMaxRows(++row);
            for (int c = 0; c < 6; ++c)
                m_grid->SetText(c + 1, row, trimmedText(cols, kFields[c]));
        }
    }
    m_grid->EndUpdate();
    m_grid->AutoFit();
    QApplication::restoreOverrideCursor();
    m_filling = false;
}

void QVNTablePage::Save()
{
    if (!m_tables)
        return;
    for (int r = 1; r <= m_grid->MaxRows(); ++r) {
        const QString name = m_grid->CellText(1, r).trimmed();
        const TQXRowPtr table = m_tables->Item(name);
        if (!table)
            continue;
        const TQXColsPtr& cols = table->Cols();
        const QString caption = m_grid->CellText(3, r).trimmed();
        setText(cols, QStringLiteral("TL_CNAME"), caption);
        setText(cols, QStringLiteral("TL_CNAME2"), caption.isEmpty() ? name : caption);
        setText(cols, QStringLiteral("TL_USER"), m_grid->CellText(4, r).trimmed());
        setText(cols, QStringLiteral("TL_DATE"), m_grid->CellText(5, r).trimmed());
        setText(cols, QStringLiteral("TL_DESC"), m_grid->CellText(6, r).trimmed());
    }
}

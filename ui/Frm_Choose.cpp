#include "Frm_Choose.h"

#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNDialogBar.h"
#include "QVNDialogSize.h"
#include "QVNFormLocalizer.h"
#include "QVNLanguage.h"
#include "ui_Frm_Choose.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QRadioButton>
#include <QStyle>
#include <QToolBar>

namespace {
const QString kSection = QStringLiteral("Frm_Choose");
}

Frm_Choose::Frm_Choose(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_Choose>())
{
    m_ui->setupUi(this);
    m_toolBar = QVNDialogBar::Create(this);
    m_ok = QVNDialogBar::AddAction(m_toolBar, "ok", QStyle::SP_DialogOkButton, QKeySequence(Qt::CTRL | Qt::Key_Return));
    m_exit = QVNDialogBar::AddAction(m_toolBar, "exit", QStyle::SP_DialogCancelButton);
    QVNDialogBar::PlaceTopRight(m_ui->Lay_Main, m_toolBar);

    Grid* grid = m_ui->Spd_Data;
    grid->SetMaxCols(2);
    grid->SetColumnType(1, Grid::Check);
    grid->SetColumnLocked(1, true);
    grid->SetColumnLocked(2, true);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    grid->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    connect(grid, &Grid::CurrentCellChanged, this, [this](int, int r) {
        if (!m_marking)
            Mark(r);
    });
    QRadioButton* options[] = {m_ui->Opt_Type_0, m_ui->Opt_Type_1, m_ui->Opt_Type_2};
    for (int i = 0; i < 3; ++i)
        connect(options[i], &QRadioButton::clicked, this, [this, i] { OptionClicked(i); });
    connect(m_ok, &QAction::triggered, this, [this] { Confirm(); });
    connect(m_exit, &QAction::triggered, this, [this] { Cancel(); });
    EnsureLoaded();
    QVNDialogSize::Remember(this);
}

Frm_Choose::~Frm_Choose() = default;

Grid* Frm_Choose::DataGrid() const
{
    return m_ui->Spd_Data;
}

void Frm_Choose::EnsureLoaded()
{
    if (m_loaded)
        return;
    m_loaded = true;
    ClearData();
    DialogResult = 0;
    QVNLanguage& language = Mdl_Main::Language();
    QVNFormLocalizer::Localize(this, language);
    QVNDialogBar::SetCaption(m_ok, QVNFormLocalizer::Text(language, kSection, QStringLiteral("TB_TOOL_OK")));
    QVNDialogBar::SetCaption(m_exit, QVNFormLocalizer::Text(language, kSection, QStringLiteral("TB_TOOL_EXIT")));
    for (int c = 1; c <= 2; ++c)
        m_ui->Spd_Data->SetText(c, 0,
                                QVNFormLocalizer::Text(language, kSection, QStringLiteral("Spd_Data_0_%1").arg(c)));
    m_ui->Spd_Data->setAccessibleName(windowTitle());
    SetDataType(m_dataType);
}

void Frm_Choose::SetDataType(int value)
{
    EnsureLoaded();
    // First option 0, then the wanted one, so the selection always takes effect.
    QRadioButton* options[] = {m_ui->Opt_Type_0, m_ui->Opt_Type_1, m_ui->Opt_Type_2};
    OptionClicked(0);
    options[0]->setChecked(true);
    if (value >= 0 && value <= 2) {
        options[value]->setChecked(true);
        OptionClicked(value);
    }
}

void Frm_Choose::OptionClicked(int index)
{
    m_ui->Spd_Data->setEnabled(index == 2);
    m_dataType = index;
}

void Frm_Choose::SetRow(int value)
{
    EnsureLoaded();
    m_row = value;
    Grid* grid = m_ui->Spd_Data;
    m_marking = true;
    if (value >= 1 && value <= grid->MaxRows())
        grid->SetActiveCell(2, value);
    else
        grid->setCurrentIndex(QModelIndex());
    m_marking = false;
    Mark(value);
}

void Frm_Choose::Mark(int row)
{
    Grid* grid = m_ui->Spd_Data;
    grid->SetBlockText(1, -1, 1, -1, QStringLiteral("0"));
    if (row >= 1)
        grid->SetText(1, row, QStringLiteral("1"));
    m_row = row;
}

void Frm_Choose::ClearData()
{
    EnsureLoaded();
    m_ui->Spd_Data->SetMaxRows(0);
    m_row = 0;
}

void Frm_Choose::AddData(const QString& item)
{
    EnsureLoaded();
    Grid* grid = m_ui->Spd_Data;
    const int row = grid->MaxRows() + 1;
    grid->SetMaxRows(row);
    grid->SetText(2, row, item);
    SetRow(row);
}

void Frm_Choose::Confirm()
{
    EnsureLoaded();
    DialogResult = 1;
    done(QDialog::Accepted);
}

void Frm_Choose::Cancel()
{
    EnsureLoaded();
    DialogResult = 0;
    done(QDialog::Rejected);
}

void Frm_Choose::done(int result)
{
    if (result != QDialog::Accepted)
        DialogResult = 0;
    QDialog::done(result);
    m_loaded = false;
}

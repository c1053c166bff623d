#include "Frm_Convert.h"

#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNDialogBar.h"
#include "QVNDialogSize.h"
#include "QVNFormLocalizer.h"
#include "QVNLanguage.h"
#include "TQXCols.h"
#include "ui_Frm_Convert.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyle>
#include <QToolBar>

namespace {
const QString kSection = QStringLiteral("Frm_Convert");
constexpr int kRows = 20;
} // namespace

Frm_Convert::Frm_Convert(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_Convert>())
{
    m_ui->setupUi(this);
    m_toolBar = QVNDialogBar::Create(this);
    m_ok = QVNDialogBar::AddAction(m_toolBar, "ok", QStyle::SP_DialogOkButton, QKeySequence(Qt::CTRL | Qt::Key_Return));
    m_exit = QVNDialogBar::AddAction(m_toolBar, "exit", QStyle::SP_DialogCancelButton);
    // The tool bar sits at the top right.
    QVNDialogBar::PlaceTopRight(m_ui->Lay_Main, m_toolBar);

    Grid* grid = m_ui->Spd_Data;
    grid->SetMaxCols(2);
    grid->SetRefuseTabs(true);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    connect(grid, &Grid::TextRefused, this, [this] { m_ui->Lbl_Hint->setVisible(true); });
    connect(m_ok, &QAction::triggered, this, [this] { Confirm(); });
    connect(m_exit, &QAction::triggered, this, [this] { Cancel(); });
    EnsureLoaded();
    QVNDialogSize::Remember(this);
}

Frm_Convert::~Frm_Convert() = default;

Grid* Frm_Convert::DataGrid() const
{
    return m_ui->Spd_Data;
}

void Frm_Convert::EnsureLoaded()
{
    if (!ConvertDatas)
        ConvertDatas = TQXRows::Create();
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
    m_ui->Lbl_Hint->setVisible(false);
}

void Frm_Convert::ClearData()
{
    EnsureLoaded();
    m_ui->Spd_Data->SetMaxRows(0);
    m_ui->Spd_Data->SetMaxRows(kRows);
    m_pairs = 0;
}

void Frm_Convert::AddData(const QString& pStr_Caption, const QString& pStr_Value)
{
    EnsureLoaded();
    Grid* grid = m_ui->Spd_Data;
    if (m_pairs >= grid->MaxRows())
        grid->SetMaxRows(m_pairs + 1);
    ++m_pairs;
    QString caption = pStr_Caption.trimmed();
    QString value = pStr_Value.trimmed();
    grid->SetText(1, m_pairs, caption.replace(QLatin1Char('\t'), QLatin1Char(' ')));
    grid->SetText(2, m_pairs, value.replace(QLatin1Char('\t'), QLatin1Char(' ')));
}

void Frm_Convert::Confirm()
{
    EnsureLoaded();
    Grid* grid = m_ui->Spd_Data;
    grid->CommitEdit(); // an open editor holds the last typing
    ConvertDatas->Clear();
    for (int r = 1; r <= grid->MaxRows(); ++r) {
        QString caption = grid->CellText(1, r).trimmed();
        QString value = grid->CellText(2, r).trimmed();
        if (caption.isEmpty() || value.isEmpty())
            continue;
        auto cols = TQXCols::Create();
        cols->Add(caption.replace(QLatin1Char('\t'), QLatin1Char(' ')), QStringLiteral("Caption"));
        cols->Add(value.replace(QLatin1Char('\t'), QLatin1Char(' ')), QStringLiteral("Value"));
        ConvertDatas->Add(cols);
    }
    DialogResult = 1;
    done(QDialog::Accepted);
}

void Frm_Convert::Cancel()
{
    EnsureLoaded();
    DialogResult = 0;
    done(QDialog::Rejected);
}

void Frm_Convert::done(int result)
{
    if (result != QDialog::Accepted)
        DialogResult = 0;
    QDialog::done(result);
    m_loaded = false; // the next use loads the window again
}

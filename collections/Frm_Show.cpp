#include "Frm_Show.h"

#include "TQXShow.h"
#include "ui_Frm_Show.h"

#include <cxxabi.h>

#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>

namespace {
/// The class name of an object a column refers to.
QString typeName(const TQXObject& object)
{
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(object).name(), nullptr, nullptr, &status);
    QString result = QString::fromLatin1(status == 0 && name ? name : typeid(object).name());
    std::free(name);
    // The class's own name, as a script's TypeName gives it: no namespaces, no template arguments.
    result = result.left(result.indexOf(QLatin1Char('<')) >= 0 ? result.indexOf(QLatin1Char('<')) : result.size());
    return result.mid(result.lastIndexOf(QStringLiteral("::")) + (result.contains(QStringLiteral("::")) ? 2 : 0));
}

QList<QStandardItem*> line(const QStringList& cells)
{
    QList<QStandardItem*> items;
    for (const QString& text : cells) {
        auto* item = new QStandardItem(text);
        item->setEditable(false);
        items.append(item);
    }
    return items;
}

void setUpGrid(QTableView* grid, QStandardItemModel* model, const QStringList& headings)
{
    model->setHorizontalHeaderLabels(headings);
    grid->setModel(model);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setAccessibleName(grid->objectName());
}
} // namespace

Frm_Show::Frm_Show(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::Frm_Show>())
{
    m_ui->setupUi(this);
    m_caption = windowTitle();
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    m_rowsModel = new QStandardItemModel(this);
    m_colsModel = new QStandardItemModel(this);
    setUpGrid(m_ui->Spd_Rows, m_rowsModel,
              {QStringLiteral("Row Key"), QStringLiteral("Row Name"), QStringLiteral("Row Tag")});
    setUpGrid(m_ui->Spd_Cols, m_colsModel,
              {QStringLiteral("Column Key"), QStringLiteral("Column Name"), QStringLiteral("Column Tag"),
               QStringLiteral("Column Value")});
    connect(m_ui->Spd_Rows->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!current.isValid())
                    return;
                const TQXRowPtr row = Rows_Show()->Item(current.row() + 1);
                ShowCols(row ? row->Cols() : TQXCols::Create());
            });
    // Enter on a line of the columns grid does what a click on its button does (keyboard users).
    connect(m_ui->Spd_Cols, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index) { OpenNested(index.row() + 1); });
}

Frm_Show::~Frm_Show() = default;

void Frm_Show::Register()
{
    TQXShow::SetViewer([](const TQXRowsPtr& rows, const TQXColsPtr& cols) { Open(rows, cols); });
}

void Frm_Show::Open(const TQXRowsPtr& rows, const TQXColsPtr& cols, QWidget* owner)
{
    Frm_Show viewer(owner);
    viewer.SetRows_Show(rows);
    viewer.SetCols_Show(cols);
    viewer.Load();
    viewer.exec();
}

const TQXRowsPtr& Frm_Show::Rows_Show()
{
    if (!m_rows)
        m_rows = TQXRows::Create();
    return m_rows;
}

const TQXColsPtr& Frm_Show::Cols_Show()
{
    if (!m_cols)
        m_cols = TQXCols::Create();
    return m_cols;
}

void Frm_Show::Load()
{
    if (Rows_Show()->Count() > 0) {
        setWindowTitle(m_caption + QStringLiteral("  ") + Rows_Show()->Tag());
        m_ui->Spd_Rows->setVisible(true);
        ShowRows(Rows_Show());
    } else {
        setWindowTitle(m_caption + QStringLiteral("  ") + Cols_Show()->Tag());
        m_ui->Spd_Rows->setVisible(false);
        ShowCols(Cols_Show());
    }
    Arrange();
}

void Frm_Show::ShowRows(const TQXRowsPtr& rows)
{
    m_rowsModel->removeRows(0, m_rowsModel->rowCount());
    m_colsModel->removeRows(0, m_colsModel->rowCount());
    if (!rows)
        return;
    for (const TQXRowPtr& row : *rows)
        m_rowsModel->appendRow(line({row->Key().trimmed(), row->Name().trimmed(), row->Tag().trimmed()}));
    if (m_rowsModel->rowCount() > 0) {
        m_ui->Spd_Rows->setCurrentIndex(m_rowsModel->index(0, 0));
        const TQXRowPtr first = rows->Item(1);
        ShowCols(first ? first->Cols() : TQXCols::Create());
    }
}

void Frm_Show::ShowCols(const TQXColsPtr& cols)
{
    m_colsModel->removeRows(0, m_colsModel->rowCount());
    if (!cols)
        return;
    int n = 0;
    for (const TQXColPtr& col : *cols) {
        const TQXValue& value = col->Value();
        QString text;
        QString button;
        if (value.rows())
            button = QStringLiteral("TQXRows");
        else if (value.cols())
            button = QStringLiteral("TQXCols");
        else if (value.object())
            text = typeName(*value.object());
        else if (value.isObject())
            text = QStringLiteral("Nothing");
        else
            text = value.ToText();
        m_colsModel->appendRow(line({col->Key().trimmed(), col->Name().trimmed(), col->Tag().trimmed(), text}));
        ++n;
        if (!button.isEmpty()) {
            auto* cell = new QPushButton(button);
            cell->setObjectName(QStringLiteral("Cmd_Nested_%1").arg(n));
            cell->setAccessibleName(col->Key() + QLatin1Char(' ') + button);
            const int lineNo = n;
            connect(cell, &QPushButton::clicked, this, [this, lineNo] { OpenNested(lineNo); });
            m_ui->Spd_Cols->setIndexWidget(m_colsModel->index(n - 1, 3), cell);
        }
    }
}

TQXColsPtr Frm_Show::CurrentCols()
{
    if (Rows_Show()->Count() > 0) {
        const int current = m_ui->Spd_Rows->currentIndex().isValid() ? m_ui->Spd_Rows->currentIndex().row() + 1 : 1;
        const TQXRowPtr row = Rows_Show()->Item(current);
        return row ? row->Cols() : TQXCols::Create();
    }
    return Cols_Show();
}

void Frm_Show::OpenNested(int lineNo)
{
    const TQXColPtr col = CurrentCols()->Item(lineNo);
    if (!col)
        return;
    if (const TQXRowsPtr rows = col->Value().rows())
        Open(rows, TQXCols::Create(), this);
    else if (const TQXColsPtr cols = col->Value().cols())
        Open(TQXRows::Create(), cols, this);
}

void Frm_Show::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Arrange();
}

// The rows grid at the top left, as high as the window less 400 twips; the columns grid right of
// it, as high, filling the width less 100 twips.
void Frm_Show::Arrange()
{
    const int twipY = 400 * logicalDpiY() / 1440;
    const int twipX = 100 * logicalDpiX() / 1440;
    const int height = std::max(0, this->height() - twipY);
    const int rowsWidth = !m_ui->Spd_Rows->isHidden() ? std::max(0, width() * 3 / 8) : 0;
    m_ui->Spd_Rows->setGeometry(0, 0, rowsWidth, height);
    m_ui->Spd_Cols->setGeometry(rowsWidth, 0, std::max(0, width() - rowsWidth - twipX), height);
}

#include "Grid.h"

#include "Mdl_Main.h"
#include "QVNFormLocalizer.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

constexpr int kUndoLimit = 100;

struct Cell
{
    QString text;
    QString items;  ///< own item list (hasItems); otherwise the column's
    QString button; ///< own button text (hasButton); otherwise the column's
    int value = 0;
    int color = 0;
    qint8 type = -1; ///< own kind; -1: the column's
    bool hasItems = false;
    bool hasButton = false;
};

struct Column
{
    Grid::CellType type = Grid::Text;
    bool locked = false;
    QString heading;
    QString items;
    QStringList itemList; ///< items split once, for painting
    QString button;
    QIcon picture;
    QString spoken; ///< what a screen reader says for a picture cell
};

struct UndoEntry
{
    int col;
    int row;
    Cell before;
};

QColor rgbColor(int rgb)
{
    // The RGB number of the button colours: red in the low byte.
    return QColor(rgb & 0xff, (rgb >> 8) & 0xff, (rgb >> 16) & 0xff);
}

} // namespace

/// The cells of one grid; rows and columns 0-based inside, 1-based at the Grid's surface.
class GridModel : public QAbstractTableModel
{
public:
    explicit GridModel(Grid* grid) : m_grid(grid) {}

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_columns.size());
    }

    Grid::CellType kind(int c, int r) const
    {
        const Cell& cell = m_rows[r][c];
        return cell.type >= 0 ? Grid::CellType(cell.type) : m_columns[c].type;
    }
    const QString& items(int c, int r) const
    {
        const Cell& cell = m_rows[r][c];
        return cell.hasItems ? cell.items : m_columns[c].items;
    }
    QStringList itemList(int c, int r) const
    {
        const Cell& cell = m_rows[r][c];
        if (!cell.hasItems)
            return m_columns[c].itemList;
        return cell.items.isEmpty() ? QStringList() : cell.items.split(QLatin1Char('\t'));
    }
    const QString& button(int c, int r) const
    {
        const Cell& cell = m_rows[r][c];
        return cell.hasButton ? cell.button : m_columns[c].button;
    }
    QString shownText(int c, int r) const
    {
        switch (kind(c, r)) {
        case Grid::Text:
            return m_rows[r][c].text;
        case Grid::DropDown: {
            const int v = m_rows[r][c].value;
            const QStringList list = itemList(c, r);
            return v >= 0 && v < list.size() ? list.at(v) : QString::number(v);
        }
        case Grid::Check:
            return m_rows[r][c].text == QLatin1String("1") ? QStringLiteral("1") : QStringLiteral("0");
        case Grid::Button:
            return button(c, r);
        default:
            return QString();
        }
    }
    bool editable(int c, int r) const
    {
        const Grid::CellType k = kind(c, r);
        return !m_columns[c].locked && (k == Grid::Text || k == Grid::DropDown || k == Grid::Check);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const int c = index.column();
        const int r = index.row();
        const Grid::CellType k = kind(c, r);
        switch (role) {
        case Qt::DisplayRole:
            return k == Grid::Check ? QVariant() : QVariant(shownText(c, r));
        case Qt::EditRole:
            return k == Grid::DropDown ? QVariant(m_rows[r][c].value) : QVariant(m_rows[r][c].text);
        case Qt::AccessibleTextRole:
            return k == Grid::Picture ? m_columns[c].spoken : shownText(c, r);
        case Qt::CheckStateRole:
            if (k == Grid::Check)
                return m_rows[r][c].text == QLatin1String("1") ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::DecorationRole:
            if (k == Grid::Picture)
                return m_columns[c].picture;
            return {};
        case Qt::ForegroundRole:
            if (k == Grid::Button)
                return rgbColor(m_rows[r][c].color);
            return {};
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        const int c = index.column();
        const int r = index.row();
        if (!editable(c, r))
            return f;
        return kind(c, r) == Grid::Check ? f | Qt::ItemIsUserCheckable : f | Qt::ItemIsEditable;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!index.isValid() || !editable(index.column(), index.row()))
            return false;
        const int col = index.column() + 1;
        const int row = index.row() + 1;
        if (role == Qt::CheckStateRole) {
            m_grid->UserSetText(col, row, value.toInt() == Qt::Checked ? QStringLiteral("1") : QStringLiteral("0"));
            return true;
        }
        if (role != Qt::EditRole)
            return false;
        if (kind(index.column(), index.row()) == Grid::DropDown)
            m_grid->UserSetValue(col, row, value.toInt());
        else
            m_grid->UserSetText(col, row, value.toString());
        return true;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
            return {};
        if (orientation == Qt::Vertical)
            return section + 1;
        return section >= 0 && section < m_columns.size() ? QVariant(m_columns[section].heading) : QVariant();
    }

    void beginFill()
    {
        beginResetModel();
        m_updating = true;
    }
    void endFill()
    {
        m_updating = false;
        endResetModel();
    }

    /// Announces a change of cells to the view, unless the whole model is being reset.
    void touch(int c1, int r1, int c2, int r2)
    {
        if (m_updating || r1 > r2 || c1 > c2)
            return;
        emit dataChanged(index(r1, c1), index(r2, c2));
    }

    void setRowCount(int rows)
    {
        rows = std::max(rows, 0);
        const int old = int(m_rows.size());
        if (rows == old)
            return;
        if (rows == 0 && !m_updating) {
            beginResetModel();
            m_rows.clear();
            endResetModel();
            return;
        }
        if (rows > old) {
            if (!m_updating)
                beginInsertRows({}, old, rows - 1);
            m_rows.reserve(rows);
            for (int r = old; r < rows; ++r)
                m_rows.emplace_back(m_columns.size());
            if (!m_updating)
                endInsertRows();
        } else {
            if (!m_updating)
                beginRemoveRows({}, rows, old - 1);
            m_rows.resize(rows);
            if (!m_updating)
                endRemoveRows();
        }
    }

    void setColumnCount(int cols)
    {
        cols = std::max(cols, 0);
        if (!m_updating)
            beginResetModel();
        m_columns.resize(cols);
        for (QList<Cell>& row : m_rows)
            row.resize(cols);
        if (!m_updating)
            endResetModel();
    }

    Grid* m_grid;
    QList<Column> m_columns;
    QList<QList<Cell>> m_rows;
    bool m_updating = false;
    QList<QList<UndoEntry>> m_undo;
    QList<UndoEntry>* m_group = nullptr; ///< the undo step being recorded
    int m_groupDepth = 0;
};

/// Paints button and drop-down cells and edits drop-down cells with a combo box.
class GridDelegate : public QStyledItemDelegate
{
public:
    GridDelegate(Grid* grid, GridModel* model) : QStyledItemDelegate(grid), m_grid(grid), m_model(model) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const Grid::CellType k = m_model->kind(index.column(), index.row());
        if (k == Grid::Button) {
            QStyleOptionButton button;
            button.rect = option.rect.adjusted(1, 1, -1, -1);
            button.text = m_model->button(index.column(), index.row());
            button.state = QStyle::State_Enabled | QStyle::State_Raised;
            if (option.state & QStyle::State_HasFocus)
                button.state |= QStyle::State_HasFocus;
            button.palette = option.palette;
            button.palette.setColor(QPalette::ButtonText, rgbColor(m_model->m_rows[index.row()][index.column()].color));
            m_grid->style()->drawControl(QStyle::CE_PushButton, &button, painter, m_grid);
            return;
        }
        QStyledItemDelegate::paint(painter, option, index);
        if (k == Grid::DropDown && m_model->editable(index.column(), index.row())) {
            QStyleOption arrow;
            const int side = std::min(option.rect.height() - 6, 10);
            arrow.rect = QRect(option.rect.right() - side - 3, option.rect.center().y() - side / 2, side, side);
            arrow.palette = option.palette;
            arrow.state = QStyle::State_Enabled;
            m_grid->style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, m_grid);
        }
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (m_model->kind(index.column(), index.row()) != Grid::DropDown)
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto* box = new QComboBox(parent);
        box->setObjectName(QStringLiteral("GridDropDown"));
        box->addItems(m_model->itemList(index.column(), index.row()));
        box->setAccessibleName(m_model->headerData(index.column(), Qt::Horizontal, Qt::DisplayRole).toString());
        // A choice made with the mouse (or Enter in the open list) is the end of the edit.
        connect(box, &QComboBox::activated, this, [this, box] {
            emit const_cast<GridDelegate*>(this)->commitData(box);
            emit const_cast<GridDelegate*>(this)->closeEditor(box);
        });
        m_lastCombo = box;
        return box;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            box->setCurrentIndex(m_model->m_rows[index.row()][index.column()].value);
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            if (box->currentIndex() >= 0 && box->currentIndex() != m_model->m_rows[index.row()][index.column()].value)
                model->setData(index, box->currentIndex(), Qt::EditRole);
            return;
        }
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            if (line->text() != m_model->m_rows[index.row()][index.column()].text)
                model->setData(index, line->text(), Qt::EditRole);
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

    mutable QPointer<QComboBox> m_lastCombo;

private:
    Grid* m_grid;
    GridModel* m_model;
};

Grid::Grid(QWidget* parent) : QTableView(parent), m_model(std::make_unique<GridModel>(this))
{
    setModel(m_model.get());
    setItemDelegate(new GridDelegate(this, m_model.get()));
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setTabKeyNavigation(true);
    setWordWrap(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    horizontalHeader()->setHighlightSections(true);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { emit HeadingClicked(section + 1); });
}

Grid::~Grid()
{
    // The view must let go of the model before the model is destroyed.
    setModel(nullptr);
}

int Grid::MaxRows() const
{
    return m_model->rowCount();
}

void Grid::SetMaxRows(int rows)
{
    if (rows == 0)
        ClearUndo();
    m_model->setRowCount(rows);
}

int Grid::MaxCols() const
{
    return m_model->columnCount();
}

void Grid::SetMaxCols(int cols)
{
    m_model->setColumnCount(cols);
}

void Grid::BeginUpdate()
{
    if (!m_model->m_updating)
        m_model->beginFill();
}

void Grid::EndUpdate()
{
    if (m_model->m_updating)
        m_model->endFill();
}

QModelIndex Grid::Index(int col, int row) const
{
    return m_model->index(row - 1, col - 1);
}

void Grid::SetColumnType(int col, CellType type)
{
    if (col < 1 || col > MaxCols())
        return;
    m_model->m_columns[col - 1].type = type;
    m_model->touch(col - 1, 0, col - 1, MaxRows() - 1);
}

Grid::CellType Grid::ColumnType(int col) const
{
    return col >= 1 && col <= MaxCols() ? m_model->m_columns[col - 1].type : Text;
}

Grid::CellType Grid::CellKind(int col, int row) const
{
    if (col < 1 || col > MaxCols() || row < 1 || row > MaxRows())
        return Static;
    return m_model->kind(col - 1, row - 1);
}

void Grid::SetCellType(int col, int row, CellType type)
{
    if (col < 1 || col > MaxCols() || row < 1 || row > MaxRows())
        return;
    Cell& cell = m_model->m_rows[row - 1][col - 1];
    cell.type = qint8(type);
    if (type == Static)
        cell.text.clear();
    m_model->touch(col - 1, row - 1, col - 1, row - 1);
}

void Grid::SetColumnLocked(int col, bool locked)
{
    if (col >= 1 && col <= MaxCols())
        m_model->m_columns[col - 1].locked = locked;
}

void Grid::SetColumnHidden(int col, bool hidden)
{
    setColumnHidden(col - 1, hidden);
}

void Grid::SetColumnWidthPx(int col, int width)
{
    setColumnWidth(col - 1, width);
}

void Grid::SetColumnPicture(int col, const QIcon& icon, const QString& spoken)
{
    if (col < 1 || col > MaxCols())
        return;
    m_model->m_columns[col - 1].picture = icon;
    m_model->m_columns[col - 1].spoken = spoken;
}

QString Grid::CellText(int col, int row) const
{
    if (col < 1 || col > MaxCols())
        return QString();
    if (row == 0)
        return m_model->m_columns[col - 1].heading;
    if (row < 1 || row > MaxRows())
        return QString();
    return m_model->shownText(col - 1, row - 1);
}

void Grid::SetText(int col, int row, const QString& text)
{
    if (col < 1 || col > MaxCols())
        return;
    if (row == 0) {
        m_model->m_columns[col - 1].heading = text;
        if (!m_model->m_updating)
            emit m_model->headerDataChanged(Qt::Horizontal, col - 1, col - 1);
        return;
    }
    if (row < 1 || row > MaxRows())
        return;
    m_model->m_rows[row - 1][col - 1].text = text;
    m_model->touch(col - 1, row - 1, col - 1, row - 1);
}

int Grid::Value(int col, int row) const
{
    if (col < 1 || col > MaxCols() || row < 1 || row > MaxRows())
        return 0;
    if (m_model->kind(col - 1, row - 1) == DropDown)
        return m_model->m_rows[row - 1][col - 1].value;
    return m_model->m_rows[row - 1][col - 1].text.trimmed().toInt();
}

void Grid::SetValue(int col, int row, int value)
{
    if (col < 1 || col > MaxCols() || row < 1 || row > MaxRows())
        return;
    m_model->m_rows[row - 1][col - 1].value = value;
    m_model->touch(col - 1, row - 1, col - 1, row - 1);
}

QString Grid::ItemList(int col, int row) const
{
    if (col < 1 || col > MaxCols())
        return QString();
    if (row < 1 || row > MaxRows())
        return m_model->m_columns[col - 1].items;
    return m_model->items(col - 1, row - 1);
}

void Grid::SetItemList(int col, int row, const QString& items)
{
    if (col < 1 || col > MaxCols() || row < 1 || row > MaxRows())
        return;
    Cell& cell = m_model->m_rows[row - 1][col - 1];
    cell.items = items;
    cell.hasItems = true;
    m_model->touch(col - 1, row - 1, col - 1, row - 1);
}

QString Grid::ButtonText(int col, int row) const
{
    if (col < 1 || col > MaxCols())
        return QString();
    if (row < 1 || row > MaxRows())
        return m_model->m_columns[col - 1].button;
    return m_model->button(col - 1, row - 1);
}

void Grid::SetButtonText(int col, int row, const QString& text)
{
    if (col < 1 || col > MaxCols() || row < 1 || row > MaxRows())
        return;
    Cell& cell = m_model->m_rows[row - 1][col - 1];
    cell.button = text;
    cell.hasButton = true;
    m_model->touch(col - 1, row - 1, col - 1, row - 1);
}

int Grid::ButtonColor(int col, int row) const
{
    if (col < 1 || col > MaxCols() || row < 1 || row > MaxRows())
        return 0;
    return m_model->m_rows[row - 1][col - 1].color;
}

void Grid::SetButtonColor(int col, int row, int rgb)
{
    if (col < 1 || col > MaxCols() || row < 1 || row > MaxRows())
        return;
    m_model->m_rows[row - 1][col - 1].color = rgb;
    m_model->touch(col - 1, row - 1, col - 1, row - 1);
}

namespace {
/// The rows a block covers, 0-based; row -1 means every data row.
bool blockRows(int row1, int row2, int rows, int& first, int& last)
{
    if (row1 < 0) {
        first = 0;
        last = rows - 1;
    } else {
        first = std::max(row1, 1) - 1;
        last = std::min(std::max(row2, row1), rows) - 1;
    }
    return first <= last;
}
} // namespace

void Grid::SetBlockText(int col1, int row1, int col2, int row2, const QString& text)
{
    int first = 0, last = -1;
    if (!blockRows(row1, row2, MaxRows(), first, last))
        return;
    for (int c = std::max(col1, 1); c <= std::min(col2, MaxCols()); ++c)
        for (int r = first; r <= last; ++r)
            m_model->m_rows[r][c - 1].text = text;
    m_model->touch(std::max(col1, 1) - 1, first, std::min(col2, MaxCols()) - 1, last);
}

void Grid::SetBlockValue(int col1, int row1, int col2, int row2, int value)
{
    int first = 0, last = -1;
    if (!blockRows(row1, row2, MaxRows(), first, last))
        return;
    for (int c = std::max(col1, 1); c <= std::min(col2, MaxCols()); ++c)
        for (int r = first; r <= last; ++r)
            m_model->m_rows[r][c - 1].value = value;
    m_model->touch(std::max(col1, 1) - 1, first, std::min(col2, MaxCols()) - 1, last);
}

void Grid::SetBlockItemList(int col1, int row1, int col2, int row2, const QString& items)
{
    // A whole column keeps its list for the rows added later, as its cells' own lists are dropped.
    for (int c = std::max(col1, 1); c <= std::min(col2, MaxCols()); ++c) {
        if (row1 < 0) {
            Column& column = m_model->m_columns[c - 1];
            column.items = items;
            column.itemList = items.isEmpty() ? QStringList() : items.split(QLatin1Char('\t'));
            for (QList<Cell>& row : m_model->m_rows)
                row[c - 1].hasItems = false;
        } else {
            for (int r = row1; r <= std::max(row1, row2); ++r)
                SetItemList(c, r, items);
        }
    }
    m_model->touch(std::max(col1, 1) - 1, 0, std::min(col2, MaxCols()) - 1, MaxRows() - 1);
}

void Grid::SetBlockButtonText(int col1, int row1, int col2, int row2, const QString& text)
{
    for (int c = std::max(col1, 1); c <= std::min(col2, MaxCols()); ++c) {
        if (row1 < 0) {
            m_model->m_columns[c - 1].button = text;
            for (QList<Cell>& row : m_model->m_rows)
                row[c - 1].hasButton = false;
        } else {
            for (int r = row1; r <= std::max(row1, row2); ++r)
                SetButtonText(c, r, text);
        }
    }
    m_model->touch(std::max(col1, 1) - 1, 0, std::min(col2, MaxCols()) - 1, MaxRows() - 1);
}

int Grid::CurrentRow() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() + 1 : 0;
}

int Grid::CurrentCol() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.column() + 1 : 0;
}

void Grid::SetActiveCell(int col, int row)
{
    const QModelIndex i = Index(col, row);
    if (!i.isValid())
        return;
    setCurrentIndex(i);
    scrollTo(i);
}

bool Grid::SelectedBlock(int& col1, int& col2, int& row1, int& row2) const
{
    const QItemSelection selection = selectionModel()->selection();
    if (selection.size() != 1)
        return false;
    const QItemSelectionRange& range = selection.first();
    col1 = range.left() + 1;
    col2 = range.right() + 1;
    if (range.top() == 0 && range.bottom() == MaxRows() - 1 && MaxRows() > 0) {
        row1 = row2 = -1;
    } else {
        row1 = range.top() + 1;
        row2 = range.bottom() + 1;
    }
    return true;
}

void Grid::AutoFit(int maxWidth)
{
    const QFontMetrics text(font());
    const QFontMetrics heading(horizontalHeader()->font());
    const int rows = std::min(MaxRows(), 2000); // enough to judge a column; keeps 5 000 rows quick
    for (int c = 0; c < MaxCols(); ++c) {
        if (isColumnHidden(c))
            continue;
        int width = heading.horizontalAdvance(m_model->m_columns[c].heading) + 24;
        const CellType type = m_model->m_columns[c].type;
        if (type == Picture || type == Check || type == Static) {
            setColumnWidth(c, std::max(width, 28));
            continue;
        }
        int widest = 0;
        for (int r = 0; r < rows; ++r) {
            const QString shown = m_model->shownText(c, r);
            if (shown.size() * 16 > widest) // cheap bound before measuring
                widest = std::max(widest, text.horizontalAdvance(shown));
        }
        width = std::max(width, widest + (type == Text ? 12 : 30));
        setColumnWidth(c, std::min(width, maxWidth));
    }
}

QString Grid::CopyBlock() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return QString();
    int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
    for (const QModelIndex& i : selected) {
        top = std::min(top, i.row());
        bottom = std::max(bottom, i.row());
        left = std::min(left, i.column());
        right = std::max(right, i.column());
    }
    QString result;
    for (int r = top; r <= bottom; ++r) {
        bool first = true;
        for (int c = left; c <= right; ++c) {
            if (isColumnHidden(c))
                continue;
            if (!first)
                result += QLatin1Char('\t');
            first = false;
            const CellType k = m_model->kind(c, r);
            if (k == Text || k == DropDown || k == Check)
                result += m_model->shownText(c, r);
        }
        result += QStringLiteral("\r\n");
    }
    return result;
}

void Grid::PasteBlock(const QString& text)
{
    QString clip = text;
    clip.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (clip.endsWith(QLatin1Char('\n')))
        clip.chop(1);
    if (clip.isEmpty() && text.isEmpty())
        return;
    QList<QStringList> lines;
    for (const QString& line : clip.split(QLatin1Char('\n')))
        lines << line.split(QLatin1Char('\t'));
    if (MaxRows() == 0 || !currentIndex().isValid())
        return;

    int top = currentIndex().row();
    int left = currentIndex().column();
    int bottom = top + int(lines.size()) - 1;
    int right = -1;
    const QItemSelection selection = selectionModel()->selection();
    const bool single = lines.size() == 1 && lines.first().size() == 1;
    if (selection.size() == 1) {
        const QItemSelectionRange& range = selection.first();
        top = range.top();
        left = range.left();
        if (single) { // one value fills the whole selection, as spreadsheets do
            bottom = range.bottom();
            right = range.right();
        }
    }
    if (!single)
        bottom = top + int(lines.size()) - 1;

    BeginUndoGroup();
    for (int r = top; r <= std::min(bottom, MaxRows() - 1); ++r) {
        const QStringList& fields = lines.at(single ? 0 : r - top);
        // Hidden columns take no field: the block lands on the columns the user sees.
        const int last = single ? std::max(right, left) : MaxCols() - 1;
        qsizetype f = 0;
        for (int c = left; c <= last && c < MaxCols() && f < fields.size(); ++c) {
            if (isColumnHidden(c))
                continue;
            const QString value = fields.at(single ? 0 : f++);
            if (!m_model->editable(c, r))
                continue;
            const CellType k = m_model->kind(c, r);
            if (k == DropDown) {
                const QStringList items = m_model->itemList(c, r);
                int item = items.indexOf(value.trimmed());
                if (item < 0) {
                    for (int i = 0; i < items.size(); ++i)
                        if (items.at(i).compare(value.trimmed(), Qt::CaseInsensitive) == 0)
                            item = i;
                }
                bool number = false;
                const int n = value.trimmed().toInt(&number);
                if (item < 0 && number && n >= 0 && n < items.size())
                    item = n;
                if (item >= 0 && item != m_model->m_rows[r][c].value)
                    UserSetValue(c + 1, r + 1, item);
            } else if (k == Check) {
                UserSetText(c + 1, r + 1,
                            value.trimmed() == QLatin1String("1") ? QStringLiteral("1") : QStringLiteral("0"));
            } else if (value != m_model->m_rows[r][c].text) {
                UserSetText(c + 1, r + 1, value);
            }
        }
    }
    EndUndoGroup();
}

void Grid::BeginUndoGroup()
{
    if (m_model->m_groupDepth++ == 0) {
        m_model->m_undo.append(QList<UndoEntry>());
        m_model->m_group = &m_model->m_undo.last();
    }
}

void Grid::EndUndoGroup()
{
    if (--m_model->m_groupDepth > 0)
        return;
    m_model->m_group = nullptr;
    if (!m_model->m_undo.isEmpty() && m_model->m_undo.last().isEmpty())
        m_model->m_undo.removeLast();
    while (m_model->m_undo.size() > kUndoLimit)
        m_model->m_undo.removeFirst();
}

void Grid::UserSetText(int col, int row, const QString& text)
{
    QString value = text;
    if (m_refuseTabs && value.contains(QLatin1Char('\t'))) {
        value.replace(QLatin1Char('\t'), QLatin1Char(' '));
        emit TextRefused(col, row);
    }
    BeginUndoGroup();
    m_model->m_group->append({col, row, m_model->m_rows[row - 1][col - 1]});
    EndUndoGroup();
    SetText(col, row, value);
    emit Changed(col, row);
}

void Grid::UserSetValue(int col, int row, int value)
{
    BeginUndoGroup();
    m_model->m_group->append({col, row, m_model->m_rows[row - 1][col - 1]});
    EndUndoGroup();
    SetValue(col, row, value);
    emit Changed(col, row);
}

void Grid::UserSetColumnValues(int col, const QList<int>& values)
{
    if (col < 1 || col > MaxCols())
        return;
    BeginUndoGroup();
    for (int r = 1; r <= std::min(MaxRows(), int(values.size())); ++r)
        if (m_model->m_rows[r - 1][col - 1].value != values.at(r - 1))
            UserSetValue(col, r, values.at(r - 1));
    EndUndoGroup();
}

bool Grid::Undo()
{
    if (m_model->m_undo.isEmpty())
        return false;
    const QList<UndoEntry> group = m_model->m_undo.takeLast();
    for (auto it = group.crbegin(); it != group.crend(); ++it) {
        if (it->row > MaxRows() || it->col > MaxCols())
            continue;
        m_model->m_rows[it->row - 1][it->col - 1] = it->before;
        m_model->touch(it->col - 1, it->row - 1, it->col - 1, it->row - 1);
        emit Changed(it->col, it->row);
    }
    if (!group.isEmpty())
        SetActiveCell(group.first().col, group.first().row);
    return true;
}

void Grid::CommitEdit()
{
    if (state() != EditingState)
        return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void Grid::ClearUndo()
{
    m_model->m_undo.clear();
}

void Grid::SetRefuseTabs(bool refuse)
{
    m_refuseTabs = refuse;
}

void Grid::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("Mnu_Grid"));
    auto add = [&](const char* name, const QKeySequence& keys) {
        QAction* action =
            menu.addAction(QVNFormLocalizer::Text(Mdl_Main::Language(), QStringLiteral("Grid"), QLatin1String(name)));
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        return action;
    };
    QAction* undo = add("Mnu_Undo", QKeySequence::Undo);
    undo->setEnabled(!m_model->m_undo.isEmpty());
    menu.addSeparator();
    QAction* copy = add("Mnu_Copy", QKeySequence::Copy);
    QAction* paste = add("Mnu_Paste", QKeySequence::Paste);
    paste->setEnabled(!QApplication::clipboard()->text().isEmpty());
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == undo)
        Undo();
    else if (chosen == copy)
        QApplication::clipboard()->setText(CopyBlock());
    else if (chosen == paste)
        PasteBlock(QApplication::clipboard()->text());
}

void Grid::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    if (event->matches(QKeySequence::Copy)) {
        QApplication::clipboard()->setText(CopyBlock());
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        PasteBlock(QApplication::clipboard()->text());
        return;
    }
    if (event->matches(QKeySequence::Undo)) {
        Undo();
        return;
    }
    if (event->key() == Qt::Key_Space && (event->modifiers() & Qt::ControlModifier) && current.isValid()) {
        selectColumn(current.column());
        emit HeadingClicked(current.column() + 1);
        return;
    }
    if (current.isValid() && state() != EditingState) {
        const CellType k = m_model->kind(current.column(), current.row());
        const int key = event->key();
        if (k == Button && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
            emit ButtonClicked(current.column() + 1, current.row() + 1);
            return;
        }
        if (k == DropDown && (key == Qt::Key_F4 || (key == Qt::Key_Down && (event->modifiers() & Qt::AltModifier)))) {
            OpenDropDown(current);
            return;
        }
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            BeginUndoGroup();
            for (const QModelIndex& i : selectionModel()->selectedIndexes())
                if (m_model->kind(i.column(), i.row()) == Text && m_model->editable(i.column(), i.row()) &&
                    !m_model->m_rows[i.row()][i.column()].text.isEmpty())
                    UserSetText(i.column() + 1, i.row() + 1, QString());
            EndUndoGroup();
            return;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
            if (current.row() + 1 < MaxRows())
                setCurrentIndex(m_model->index(current.row() + 1, current.column()));
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void Grid::mouseReleaseEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    QTableView::mouseReleaseEvent(event);
    if (!index.isValid() || event->button() != Qt::LeftButton)
        return;
    emit CellClicked(index.column() + 1, index.row() + 1);
    const CellType k = m_model->kind(index.column(), index.row());
    if (k == Button) {
        emit ButtonClicked(index.column() + 1, index.row() + 1);
    } else if (k == DropDown && m_model->editable(index.column(), index.row()) && state() != EditingState) {
        OpenDropDown(index); // one click opens the list, as on a drop-down button
    }
}

void Grid::OpenDropDown(const QModelIndex& index)
{
    if (!m_model->editable(index.column(), index.row()))
        return;
    edit(index);
    auto* delegate = static_cast<GridDelegate*>(itemDelegate());
    if (delegate->m_lastCombo)
        delegate->m_lastCombo->showPopup();
}

void Grid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    // Enter commits and goes to the cell below, as in a spreadsheet.
    if (hint == QAbstractItemDelegate::SubmitModelCache) {
        const QModelIndex current = currentIndex();
        if (current.isValid() && current.row() + 1 < MaxRows())
            setCurrentIndex(m_model->index(current.row() + 1, current.column()));
    }
}

void Grid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        emit CurrentCellChanged(current.column() + 1, current.row() + 1);
}

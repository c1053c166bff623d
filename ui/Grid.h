#pragma once

#include <QTableView>

#include <memory>

class GridModel;

/**
 * @brief The spreadsheet-style grid of the windows: a QTableView over its own table model, spoken
 * to in cells.
 *
 * Addressing: columns from 1, data rows from 1, row 0 is the heading row, and row -1 in a block
 * means every data row. Each column has a cell kind (text, drop-down, button, check, picture,
 * static); a single cell may be turned into a static one. A drop-down cell holds its item list
 * (items joined with TAB) and its value, the 0-based item number; a value outside the list is kept
 * and shown as the number, so it is written back unchanged. Button cells carry a text and a text
 * colour (RGB number, 255 red).
 *
 * Code changes cells without raising Changed; the user's edits (typing, a drop-down choice, a
 * check, a paste, Delete, an undo) raise Changed once per cell. Filling inside BeginUpdate /
 * EndUpdate resets the model once, so thousands of rows appear at once.
 *
 * Keyboard: arrows and Tab move, F2 or typing edits (F4 or Alt+Down opens a drop-down's list),
 * Enter commits and moves down, Escape cancels, Space or Enter presses a button cell, Ctrl+C /
 * Ctrl+V copy and paste a block as tab-separated text, Delete empties the selected text cells,
 * Ctrl+Z undoes the last edit, Ctrl+Space stands for a click on the current column's heading.
 */
class Grid : public QTableView
{
    Q_OBJECT

public:
    enum CellType { Text, DropDown, Button, Check, Picture, Static };

    explicit Grid(QWidget* parent = nullptr);
    ~Grid() override;

    int MaxRows() const;
    /// 0 empties the grid; a larger count appends empty rows, a smaller one drops the last rows.
    void SetMaxRows(int rows);
    int MaxCols() const;
    void SetMaxCols(int cols);

    /// Fills without a model signal per cell: the view is reset once, at EndUpdate.
    void BeginUpdate();
    void EndUpdate();

    void SetColumnType(int col, CellType type);
    CellType ColumnType(int col) const;
    /// The kind of one cell (its column's kind unless changed, e.g. to Static).
    CellType CellKind(int col, int row) const;
    void SetCellType(int col, int row, CellType type);
    /// Locked columns cannot be edited by the user (code still writes them).
    void SetColumnLocked(int col, bool locked);
    void SetColumnHidden(int col, bool hidden);
    void SetColumnWidthPx(int col, int width);
    /// Picture shown by the picture cells of a column, and what a screen reader says for it.
    void SetColumnPicture(int col, const QIcon& icon, const QString& spoken = QString());

    /// Cell text; row 0 is the heading. A check cell reads "1" or "0"; a drop-down cell its
    /// item's text.
    QString CellText(int col, int row) const;
    void SetText(int col, int row, const QString& text);
    /// The 0-based item number of a drop-down cell; for other cells the number the text starts with.
    int Value(int col, int row) const;
    void SetValue(int col, int row, int value);
    QString ItemList(int col, int row) const;
    void SetItemList(int col, int row, const QString& items);
    QString ButtonText(int col, int row) const;
    void SetButtonText(int col, int row, const QString& text);
    int ButtonColor(int col, int row) const;
    void SetButtonColor(int col, int row, int rgb);

    // Block operations: columns col1..col2, rows row1..row2 (row1 = -1: every data row).
    void SetBlockText(int col1, int row1, int col2, int row2, const QString& text);
    void SetBlockValue(int col1, int row1, int col2, int row2, int value);
    void SetBlockItemList(int col1, int row1, int col2, int row2, const QString& items);
    void SetBlockButtonText(int col1, int row1, int col2, int row2, const QString& text);

    int CurrentRow() const;
    int CurrentCol() const;
    /// Makes (col, row) the current cell and scrolls to it.
    void SetActiveCell(int col, int row);
    /// The selected block: first and last column and the row, -1 when whole columns are selected;
    /// false when nothing is selected or the selection is not one rectangle.
    bool SelectedBlock(int& col1, int& col2, int& row1, int& row2) const;

    /// Column widths from the headings and the texts (button and drop-down cells included).
    void AutoFit(int maxWidth = 360);

    /// Text cells (and drop-down cells, by item text) as tab-separated lines, CR LF between rows.
    QString CopyBlock() const;
    /// Pastes tab-separated lines at the current cell (or fills a larger selection with a single
    /// value); only editable cells take a value. One undo step.
    void PasteBlock(const QString& text);
    /// Ends an edit in progress, keeping what was typed (before the grid's cells are read back).
    void CommitEdit();
    /// Sets a column's values (`values[0]` for row 1) as the user's edit: one undo step, Changed for
    /// each cell whose value changes. For a choice applied to a whole column.
    void UserSetColumnValues(int col, const QList<int>& values);
    /// Takes back the last user edit (one cell, or the whole of a paste, Delete or column choice).
    bool Undo();
    void ClearUndo();

    /// Text that an editor of this grid must not hold (TAB in conversion lists): it is replaced by
    /// a space and TextRefused is raised.
    void SetRefuseTabs(bool refuse);

signals:
    /// A cell's content was changed by the user.
    void Changed(int col, int row);
    void ButtonClicked(int col, int row);
    /// A click on a column heading (the column is selected) or Ctrl+Space in a column.
    void HeadingClicked(int col);
    void CellClicked(int col, int row);
    void CurrentCellChanged(int col, int row);
    /// A TAB was taken out of a typed or pasted text (SetRefuseTabs).
    void TextRefused(int col, int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    /// Undo, copy and paste, as the keys do.
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class GridDelegate;
    friend class GridModel;
    QModelIndex Index(int col, int row) const;
    void OpenDropDown(const QModelIndex& index);
    /// A user's edit of one cell: recorded for undo, then Changed.
    void UserSetText(int col, int row, const QString& text);
    void UserSetValue(int col, int row, int value);
    void BeginUndoGroup();
    void EndUndoGroup();

    std::unique_ptr<GridModel> m_model;
    bool m_refuseTabs = false;
};

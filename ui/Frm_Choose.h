#pragma once

#include <QDialog>

#include <memory>

class QAction;
class QToolBar;
class Grid;

namespace Ui {
class Frm_Choose;
}

/**
 * @brief Picks one item of a list and how to apply it to a whole grid column: not at all (0),
 * automatically per row (1), or the chosen item for every row (2).
 *
 * One instance serves the program's lifetime. Touching it after it closed loads it again (the list
 * emptied, DialogResult 0); DataType, Row and DialogResult stay readable after it closes. The
 * item list is enabled only while DataType is 2. Row is 1-based, 0 for none; column 1 marks the
 * chosen row with "1".
 */
class Frm_Choose : public QDialog
{
public:
    explicit Frm_Choose(QWidget* parent = nullptr);
    ~Frm_Choose() override;

    int DialogResult = 0;

    int DataType() const { return m_dataType; }
    void SetDataType(int value);
    int Row() const { return m_row; }
    /// Remembers the row, makes it the list's current row and marks it (0 marks none).
    void SetRow(int value);

    void ClearData();
    /// Appends an item; the last added item is the chosen one until Row is written.
    void AddData(const QString& item);

    void Confirm();
    void Cancel();

    Grid* DataGrid() const;

protected:
    void done(int result) override;

private:
    void EnsureLoaded();
    void Mark(int row);
    void OptionClicked(int index);

    std::unique_ptr<Ui::Frm_Choose> m_ui;
    QToolBar* m_toolBar = nullptr;
    QAction* m_ok = nullptr;
    QAction* m_exit = nullptr;
    int m_dataType = 0;
    int m_row = 0;
    bool m_loaded = false;
    bool m_marking = false;
};

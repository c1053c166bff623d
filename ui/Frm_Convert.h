#pragma once

#include "TQXRows.h"

#include <QDialog>

#include <memory>

class QAction;
class QToolBar;

namespace Ui {
class Frm_Convert;
}

/**
 * @brief Edits the value conversions of one column: pairs of a caption and the stored value it
 * stands for.
 *
 * One instance serves the program's lifetime. Touching it after it closed loads it again (the grid
 * emptied to twenty rows, DialogResult 0); ConvertDatas and DialogResult stay readable after it
 * closes. Calling order: ClearData, AddData per pair, show modally, then read DialogResult and
 * ConvertDatas.
 *
 * The conversions are stored as two TAB-joined lists, so a TAB inside a caption or value would
 * split it and shift every later pair: a TAB typed or pasted into a cell is replaced by a space
 * and a hint says so. Pairs beyond the twentieth get rows of their own rather than being dropped,
 * so confirming the dialog never loses stored pairs.
 */
class Frm_Convert : public QDialog
{
public:
    explicit Frm_Convert(QWidget* parent = nullptr);
    ~Frm_Convert() override;

    /// The confirmed pairs after OK: one row per pair, cols "Caption" and "Value".
    TQXRowsPtr ConvertDatas;
    int DialogResult = 0;

    /// Twenty empty rows, no pair placed.
    void ClearData();
    /// Places a pair (trimmed) in the next row.
    void AddData(const QString& pStr_Caption, const QString& pStr_Value);

    /// The "ok" and "exit" tool-bar buttons, for callers that drive the dialog by code.
    void Confirm();
    void Cancel();

    class Grid* DataGrid() const;

protected:
    void done(int result) override;

private:
    void EnsureLoaded();

    std::unique_ptr<Ui::Frm_Convert> m_ui;
    QToolBar* m_toolBar = nullptr;
    QAction* m_ok = nullptr;
    QAction* m_exit = nullptr;
    int m_pairs = 0;
    bool m_loaded = false;
};

#pragma once

#include "TQXCols.h"
#include "TQXRows.h"

#include <QDialog>

#include <memory>

namespace Ui {
class Frm_Show;
}
class QStandardItemModel;

/**
 * @brief The collection viewer: a row set in one grid, the columns of its current row in the other;
 * a column holding a nested row or column set shows a button that opens a further viewer.
 *
 * Register() makes TQXRows::Show and TQXCols::Show open it. It only reads the sets.
 */
class Frm_Show : public QDialog
{
public:
    explicit Frm_Show(QWidget* parent = nullptr);
    ~Frm_Show() override;

    /// Installs this window as the viewer of TQXRows::Show and TQXCols::Show.
    static void Register();
    /// Opens a viewer modally on the two sets (null ones are replaced by empty sets).
    static void Open(const TQXRowsPtr& rows, const TQXColsPtr& cols, QWidget* owner = nullptr);

    const TQXRowsPtr& Rows_Show();
    void SetRows_Show(const TQXRowsPtr& pRows_Show) { m_rows = pRows_Show; }
    const TQXColsPtr& Cols_Show();
    void SetCols_Show(const TQXColsPtr& pCols_Show) { m_cols = pCols_Show; }

    /// Caption and grids from the two sets (what loading the window does).
    void Load();
    void ShowRows(const TQXRowsPtr& rows);
    void ShowCols(const TQXColsPtr& cols);
    /// The button cell of line `line` (1-based) of the columns grid, as a click on it does.
    void OpenNested(int line);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    TQXColsPtr CurrentCols();
    void Arrange();

    std::unique_ptr<Ui::Frm_Show> m_ui;
    QStandardItemModel* m_rowsModel = nullptr;
    QStandardItemModel* m_colsModel = nullptr;
    TQXRowsPtr m_rows;
    TQXColsPtr m_cols;
    QString m_caption;
};

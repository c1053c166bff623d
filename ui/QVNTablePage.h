#pragma once

#include "TQXRows.h"

#include <QWidget>

class Grid;
class QVNLanguage;

/**
 * @brief The table page of the main window: the tables of one kind with their caption, owner,
 * date and description, and a button per row that shows the table's data.
 *
 * Filling raises no Changed; the user's edits raise Changed once per cell. Save writes the
 * page back into the table rows it was filled from (the project's table list, shared).
 */
class QVNTablePage : public QWidget
{
    Q_OBJECT

public:
    explicit QVNTablePage(QWidget* parent = nullptr);
    ~QVNTablePage() override;

    /// Headings and the button text of the grid in the current language.
    void ApplyCaptions(QVNLanguage& language);
    /// The rows of `tables` whose TABLE_TYPE is `kind` (letter case ignored), in their order.
    void Show(const TQXRowsPtr& tables, const QString& kind);
    /// Caption (with TL_CNAME2: the caption, or the name when it is empty), owner, date and
    /// description of every row into the table list; rows whose table is gone are skipped.
    void Save();
    void Clear();
    bool Filling() const { return m_filling; }

    Grid* TableGrid() const { return m_grid; }

signals:
    /// A user edit (never raised while filling).
    void Changed();
    /// The data button of a row was pressed.
    void ShowData(const QString& tableName);

private:
    Grid* m_grid = nullptr;
    TQXRowsPtr m_tables;
    bool m_filling = false;
};

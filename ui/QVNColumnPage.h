#pragma once

#include "TQXRows.h"

#include <QWidget>

#include <functional>
#include <memory>

class Frm_Choose;
class Frm_Convert;
class Grid;
class QDialog;
class QVNLanguage;
class QVNProject;

namespace Ui {
class QVNColumnPage;
}

/**
 * @brief The column page of the main window: one table's columns with the user's annotations
 * (caption, description, the four screen types, default, value conversions, key mark) and the
 * key choice above them.
 *
 * Grid columns: 1 key picture (primary-key columns only), 2 name, 3 caption, 4 type and length,
 * 5 description, 6 null, 7 key mark, 8-11 the update, search, main and show screen types as
 * drop-downs (the value is the stored code), 12 the conversions button (red text while the column
 * has conversions), 13 default; hidden working columns 14 and 15 hold the conversion captions and
 * values as TAB-joined item lists, 16 the type class and 17 the length.
 *
 * Filling raises no Changed; the user's edits, a key choice, confirmed conversions and a whole
 * column set through the choice dialog raise Changed. The two dialogs are created on first use and
 * kept for the page's lifetime.
 */
class QVNColumnPage : public QWidget
{
    Q_OBJECT

public:
    /// Shows a dialog modally; replaceable so tests can drive the dialogs.
    using ModalRunner = std::function<void(QDialog&)>;

    explicit QVNColumnPage(QWidget* parent = nullptr);
    ~QVNColumnPage() override;

    void ApplyCaptions(QVNLanguage& language);
    /// The columns of one table as the project reads them (GetColumns, merged with the saved
    /// annotations), with the table's key choice.
    void Show(QVNProject& project, const QString& tableName);
    /// Writes the page back: the table's COLUMNS (annotations only), TL_PK and TL_PKTYPE.
    void Save();
    void Clear();
    bool Filling() const { return m_filling; }

    /// The conversions button of row `row`: edits that column's conversions in Frm_Convert.
    void EditConversions(int row);
    /// A heading click on a screen-type column (8 to 11) sets that column for every row through
    /// Frm_Choose; other columns do nothing.
    void ChooseColumnType(int col);

    void SetModalRunner(ModalRunner runner) { m_runModal = std::move(runner); }
    Frm_Convert& ConvertDialog();
    Frm_Choose& ChooseDialog();
    Grid* ColumnGrid() const;

signals:
    void Changed();

private:
    void MarkChanged();

    std::unique_ptr<Ui::QVNColumnPage> m_ui;
    std::unique_ptr<Frm_Convert> m_convert;
    std::unique_ptr<Frm_Choose> m_choose;
    TQXRowsPtr m_tables;
    ModalRunner m_runModal;
    bool m_filling = false;
};

// The grid, the table and column pages and their two dialogs, over the sample project and over a
// generated database with a wide table.
#include "Frm_Choose.h"
#include "Frm_Convert.h"
#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNColumnPage.h"
#include "QVNDatabase.h"
#include "QVNLanguage.h"
#include "QVNPages.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "QVNTablePage.h"
#include "TQXCol.h"
#include "TQXCols.h"
#include "TQXRow.h"
#include "TQXRows.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

/// A user's edit of a cell, the way the view's editors and check boxes deliver it.
void userEdit(Grid* grid, int col, int row, const QVariant& value, int role = Qt::EditRole)
{
    ASSERT_TRUE(grid->model()->setData(grid->model()->index(row - 1, col - 1), value, role));
}

void press(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(w, &event);
}

/// Row of the grid whose column 2 (the column name) is `name`; 0 when absent.
int rowOf(Grid* grid, const QString& name, int col = 2)
{
    for (int r = 1; r <= grid->MaxRows(); ++r)
        if (grid->CellText(col, r) == name)
            return r;
    return 0;
}

QString field(const TQXRowsPtr& rows, const QString& key, const char* name)
{
    const TQXRowPtr row = rows ? rows->Item(key) : nullptr;
    return row ? row->Cols()->Text(QLatin1String(name)) : QStringLiteral("<missing>");
}

TQXRowsPtr columnsOf(QVNProject& project, const QString& table)
{
    const TQXRowPtr row = project.TABLES->Item(table);
    return row ? row->Cols()->Item("COLUMNS")->Value().rows() : nullptr;
}

class GridPagesTest : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        m_host = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(m_host.get());
        m_tableFrame = new QGroupBox(m_host.get());
        m_tableFrame->setObjectName(QStringLiteral("Fra_TableList"));
        m_columnFrame = new QGroupBox(m_host.get());
        m_columnFrame->setObjectName(QStringLiteral("Fra_ColumnList"));
        layout->addWidget(m_tableFrame);
        layout->addWidget(m_columnFrame);
        m_pages = std::make_unique<QVNPages>(m_tableFrame, m_columnFrame);
        QObject::connect(m_pages.get(), &QVNPages::Changed, [this] { ++m_changes; });
        columnPage()->SetModalRunner([this](QDialog& dialog) {
            ++m_dialogsShown;
            if (m_runner)
                m_runner(dialog);
        });
    }

    void TearDown() override
    {
        m_pages.reset();
        m_host.reset();
        UiTest::TearDown();
    }

    void Open(const QString& file)
    {
        m_project = std::make_unique<QVNProject>();
        QVNProjectLifecycle lifecycle;
        ASSERT_TRUE(lifecycle.Open(file, *m_project)) << lifecycle.Exceptions.ToString().toStdString();
    }

    void Save()
    {
        QVNProjectLifecycle lifecycle;
        ASSERT_TRUE(lifecycle.Save(*m_project)) << lifecycle.Exceptions.ToString().toStdString();
    }

    /// Shows the column page of a table, as a node click does (table frame hidden).
    void ShowColumns(const QString& table)
    {
        m_tableFrame->hide();
        m_columnFrame->show();
        m_pages->ShowColumnList(*m_project, table);
    }

    void ShowTables(const QString& kind)
    {
        m_columnFrame->hide();
        m_tableFrame->show();
        m_pages->ShowTableList(*m_project, kind);
    }

    /// Makes a SQLite database with one table of `columns` columns (c1 the primary key) and a
    /// project for it.
    QString WideProject(int columns)
    {
        m_database = m_dir.file(QStringLiteral("wide.db"));
        QString sql = QStringLiteral("create table wide (c1 integer not null primary key");
        for (int c = 2; c <= columns; ++c)
            sql += QStringLiteral(", c%1 varchar(%2)").arg(c).arg(c);
        sql += QLatin1Char(')');
        RunSql({sql});
        QVNProjectSettings settings;
        settings.no = QStringLiteral("W1");
        settings.name = QStringLiteral("wide");
        settings.database = QStringLiteral("DRIVER={SQLite3};Database=%1;").arg(m_database);
        QVNProject project;
        QVNProjectLifecycle lifecycle;
        const QString file = Mdl_Main::ProjectPath + QStringLiteral("wide.qvn");
        EXPECT_TRUE(lifecycle.Create(file, settings, false, project)) << lifecycle.Exceptions.ToString().toStdString();
        return file;
    }

    void RunSql(const QStringList& statements)
    {
        QVNDatabase db;
        ASSERT_TRUE(db.ConnectToServer(QStringLiteral("DRIVER={SQLite3};Database=%1;").arg(m_database)))
            << db.Exceptions.ToString().toStdString();
        for (const QString& sql : statements)
            ASSERT_TRUE(db.ExecuteSql(sql)) << db.Exceptions.ToString().toStdString();
        db.DisConnectFromServer();
    }

    QVNColumnPage* columnPage() const { return m_pages->ColumnPage(); }
    Grid* columnGrid() const { return m_pages->ColumnPage()->ColumnGrid(); }
    Grid* tableGrid() const { return m_pages->TablePage()->TableGrid(); }
    template <class T> T* find(const char* name) const { return m_host->findChild<T*>(QLatin1String(name)); }

    std::unique_ptr<QWidget> m_host;
    QGroupBox* m_tableFrame = nullptr;
    QGroupBox* m_columnFrame = nullptr;
    std::unique_ptr<QVNPages> m_pages;
    std::unique_ptr<QVNProject> m_project;
    std::function<void(QDialog&)> m_runner;
    QString m_database;
    int m_changes = 0;
    int m_dialogsShown = 0;
};

TEST_F(GridPagesTest, GridRaisesChangedOnlyForUserEditsAndUndoesThem)
{
    Grid grid;
    grid.SetMaxCols(3);
    grid.SetColumnType(2, Grid::DropDown);
    grid.SetBlockItemList(2, -1, 2, -1, QStringLiteral("none\tbox\tarea"));
    grid.SetMaxRows(3); // rows added after the list get it
    QList<QPair<int, int>> changed;
    QObject::connect(&grid, &Grid::Changed, [&changed](int c, int r) { changed.append({c, r}); });

    grid.SetText(1, 1, QStringLiteral("code"));
    grid.SetValue(2, 1, 2);
    grid.SetBlockValue(2, -1, 2, -1, 1);
    EXPECT_TRUE(changed.isEmpty());
    EXPECT_EQ(grid.CellText(2, 3), QStringLiteral("box"));
    grid.SetValue(2, 3, 9); // a code the list does not know is kept and shown as it is
    EXPECT_EQ(grid.CellText(2, 3), QStringLiteral("9"));
    EXPECT_EQ(grid.Value(2, 3), 9);

    userEdit(&grid, 1, 1, QStringLiteral("typed"));
    userEdit(&grid, 2, 2, 2);
    EXPECT_EQ(changed, (QList<QPair<int, int>>{{1, 1}, {2, 2}}));
    EXPECT_EQ(grid.CellText(2, 2), QStringLiteral("area"));

    // A block from another program: one paste, one undo step; unknown items are left alone.
    grid.SetActiveCell(1, 2);
    grid.PasteBlock(QStringLiteral("p\tbox\r\nq\tnonsense\r\n"));
    EXPECT_EQ(grid.CellText(1, 2), QStringLiteral("p"));
    EXPECT_EQ(grid.CellText(1, 3), QStringLiteral("q"));
    EXPECT_EQ(grid.Value(2, 2), 1);
    EXPECT_EQ(grid.Value(2, 3), 9);
    grid.selectionModel()->select(QItemSelection(grid.model()->index(1, 0), grid.model()->index(2, 1)),
                                  QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(grid.CopyBlock(), QStringLiteral("p\tbox\r\nq\t9\r\n"));

    press(&grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(grid.CellText(1, 2), QString());
    EXPECT_EQ(grid.CellText(1, 3), QString());
    EXPECT_EQ(grid.Value(2, 2), 2);
    EXPECT_TRUE(grid.Undo()); // the typed edits, one by one
    EXPECT_TRUE(grid.Undo());
    EXPECT_EQ(grid.CellText(1, 1), QStringLiteral("code"));
    EXPECT_FALSE(grid.Undo());

    // Clipboard keys reach the grid like any other program's block.
    QApplication::clipboard()->setText(QStringLiteral("x\r\ny\r\n"));
    grid.SetActiveCell(1, 1);
    press(&grid, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(grid.CellText(1, 2), QStringLiteral("y"));
    // Delete empties the selected text cells only.
    grid.selectionModel()->select(QItemSelection(grid.model()->index(0, 0), grid.model()->index(1, 1)),
                                  QItemSelectionModel::ClearAndSelect);
    press(&grid, Qt::Key_Delete);
    EXPECT_EQ(grid.CellText(1, 1), QString());
    EXPECT_EQ(grid.Value(2, 1), 1);
}

TEST_F(GridPagesTest, KeyboardEditsLikeASpreadsheet)
{
    Grid grid;
    grid.SetMaxCols(2);
    grid.SetColumnType(2, Grid::Button);
    grid.SetMaxRows(3);
    int pressed = 0;
    QObject::connect(&grid, &Grid::ButtonClicked, [&pressed](int c, int r) { pressed += c * 10 + r; });
    grid.show();
    grid.setFocus();
    grid.SetActiveCell(1, 1);

    // Typing starts an edit with the typed text, Enter commits and goes down.
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(&grid, &typed);
    QLineEdit* editor = grid.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("a"));
    press(editor, Qt::Key_Return);
    QApplication::processEvents(); // the view commits an Enter once the editor has seen it
    EXPECT_EQ(grid.CellText(1, 1), QStringLiteral("a"));
    EXPECT_EQ(grid.CurrentRow(), 2);

    // Escape leaves the cell as it was.
    press(&grid, Qt::Key_F2);
    editor = grid.findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("dropped"));
    press(editor, Qt::Key_Escape);
    EXPECT_EQ(grid.CellText(1, 2), QString());

    // F4 on a drop-down cell opens its list; the choice made there is the edit.
    grid.SetColumnType(1, Grid::DropDown);
    grid.SetBlockItemList(1, -1, 1, -1, QStringLiteral("no\tyes"));
    grid.SetActiveCell(1, 3);
    press(&grid, Qt::Key_F4);
    QComboBox* box = grid.findChild<QComboBox*>();
    ASSERT_NE(box, nullptr);
    box->setCurrentIndex(1);
    emit box->activated(1);
    QApplication::processEvents();
    EXPECT_EQ(grid.Value(1, 3), 1);
    grid.SetColumnType(1, Grid::Text);

    // Space on a button cell presses it; Enter on a plain cell only moves down.
    grid.SetActiveCell(2, 3);
    press(&grid, Qt::Key_Space);
    EXPECT_EQ(pressed, 23);
    grid.SetActiveCell(1, 1);
    press(&grid, Qt::Key_Return);
    EXPECT_EQ(grid.CurrentRow(), 2);
    EXPECT_EQ(grid.CellText(1, 1), QStringLiteral("a"));
}

TEST_F(GridPagesTest, ConvertDialogKeepsPairsAndRefusesTabs)
{
    Frm_Convert dialog;
    dialog.ClearData();
    dialog.Confirm();
    EXPECT_EQ(dialog.DialogResult, 1);
    EXPECT_EQ(dialog.ConvertDatas->Count(), 0);

    // A pair missing one half is dropped; more than twenty pairs are all kept.
    dialog.ClearData();
    EXPECT_EQ(dialog.DataGrid()->MaxRows(), 20);
    for (int i = 1; i <= 22; ++i)
        dialog.AddData(QStringLiteral(" c%1 ").arg(i), QString::number(i));
    dialog.DataGrid()->SetText(2, 5, QString());
    dialog.Confirm();
    ASSERT_EQ(dialog.ConvertDatas->Count(), 21);
    EXPECT_EQ(dialog.ConvertDatas->Item(1)->Cols()->Text(QStringLiteral("Caption")), QStringLiteral("c1"));
    EXPECT_EQ(dialog.ConvertDatas->Item(21)->Cols()->Text(QStringLiteral("Value")), QStringLiteral("22"));

    // "exit" after changes: result 0, the last confirmed pairs stay; the next use starts afresh.
    dialog.AddData(QStringLiteral("x"), QStringLiteral("y"));
    EXPECT_EQ(dialog.DataGrid()->MaxRows(), 20);
    dialog.Cancel();
    EXPECT_EQ(dialog.DialogResult, 0);
    EXPECT_EQ(dialog.ConvertDatas->Count(), 21);

    // A TAB arriving in a cell would split the stored lists: it becomes a space, with a hint.
    dialog.ClearData();
    userEdit(dialog.DataGrid(), 1, 1, QStringLiteral("Yes\tNo"));
    userEdit(dialog.DataGrid(), 2, 1, QStringLiteral("1"));
    EXPECT_FALSE(dialog.findChild<QLabel*>(QStringLiteral("Lbl_Hint"))->isHidden());
    dialog.Confirm();
    EXPECT_EQ(dialog.ConvertDatas->Item(1)->Cols()->Text(QStringLiteral("Caption")), QStringLiteral("Yes No"));
}

TEST_F(GridPagesTest, ChooseDialogMarksTheChosenRowAndLocksTheListUnlessOneItemForAll)
{
    Frm_Choose dialog;
    dialog.ClearData();
    for (const char* item : {"none", "text", "date"})
        dialog.AddData(QLatin1String(item));
    EXPECT_EQ(dialog.Row(), 3);
    EXPECT_EQ(dialog.DataGrid()->CellText(1, 3), QStringLiteral("1"));
    dialog.SetRow(0);
    for (int r = 1; r <= 3; ++r)
        EXPECT_EQ(dialog.DataGrid()->CellText(1, r), QStringLiteral("0"));
    dialog.DataGrid()->SetActiveCell(2, 2); // the user moves in the list
    EXPECT_EQ(dialog.Row(), 2);
    EXPECT_EQ(dialog.DataGrid()->CellText(1, 2), QStringLiteral("1"));

    for (int type : {0, 1, 2}) {
        dialog.SetDataType(type);
        EXPECT_EQ(dialog.DataType(), type);
        EXPECT_EQ(dialog.DataGrid()->isEnabled(), type == 2);
    }
    dialog.findChild<QRadioButton*>(QStringLiteral("Opt_Type_1"))->click();
    EXPECT_EQ(dialog.DataType(), 1);
    dialog.Confirm();
    EXPECT_EQ(dialog.DialogResult, 1);
    EXPECT_EQ(dialog.DataType(), 1); // readable after closing
    dialog.ClearData();              // the next use loads it again
    EXPECT_EQ(dialog.DialogResult, 0);
}

TEST_F(GridPagesTest, ColumnPageShowsTheSampleAnnotationsWithoutMarkingThePage)
{
    Open(SampleProject());
    ShowColumns(QStringLiteral("categories"));
    Grid* grid = columnGrid();
    ASSERT_EQ(grid->MaxRows(), 5);
    EXPECT_EQ(m_changes, 0);
    EXPECT_FALSE(m_pages->PageChanged());
    EXPECT_EQ(find<QLineEdit>("Txt_TL_NAME")->text(), QStringLiteral("categories"));
    EXPECT_EQ(find<QLineEdit>("Txt_TL_CNAME")->text(), QStringLiteral("商品类别"));
    EXPECT_EQ(find<QComboBox>("Cbo_PK")->currentText(), QStringLiteral("category_id"));
    EXPECT_EQ(find<QComboBox>("Cbo_PK")->count(), 5);
    EXPECT_TRUE(find<QRadioButton>("RB_PK1")->isChecked());

    // The key picture only on the primary-key column; the stored update type 2 is the third item.
    EXPECT_EQ(grid->CellKind(1, 1), Grid::Picture);
    for (int r = 2; r <= 5; ++r)
        EXPECT_EQ(grid->CellKind(1, r), Grid::Static);
    const int description = rowOf(grid, QStringLiteral("description"));
    EXPECT_EQ(grid->Value(8, description), 2);
    EXPECT_EQ(grid->CellText(8, description), QStringLiteral("Text area"));
    EXPECT_EQ(grid->ItemList(8, description).split(QLatin1Char('\t')).size(), 7);
    EXPECT_EQ(grid->CellText(4, rowOf(grid, QStringLiteral("name"))), QStringLiteral("VarChar(50)"));
    EXPECT_EQ(grid->CellText(8, 0), QStringLiteral("Edit screen"));
    EXPECT_EQ(grid->CellText(7, 1), QStringLiteral("1"));
    EXPECT_FALSE(m_pages->CommitPage()); // nothing to write back

    ShowColumns(QStringLiteral("suppliers"));
    const int active = rowOf(grid, QStringLiteral("active"));
    EXPECT_EQ(grid->ButtonColor(12, active), 255);
    EXPECT_EQ(grid->ButtonColor(12, rowOf(grid, QStringLiteral("name"))), 0);
    EXPECT_EQ(grid->ItemList(14, active), QStringLiteral("有效\t停用"));
    EXPECT_EQ(m_changes, 0);

    // The first user edit marks the page; a click on a key option does too.
    userEdit(grid, 3, 1, QStringLiteral("No."));
    EXPECT_EQ(m_changes, 1);
    EXPECT_TRUE(m_pages->PageChanged());
    find<QRadioButton>("RB_PK2")->click();
    EXPECT_EQ(m_changes, 2);

    // Captions pasted from a text editor; locked and hidden columns take nothing.
    grid->SetActiveCell(3, 2);
    grid->PasteBlock(QStringLiteral("Name\r\nContact\r\n"));
    EXPECT_EQ(grid->CellText(3, 2), QStringLiteral("Name"));
    EXPECT_EQ(grid->CellText(3, 3), QStringLiteral("Contact"));
    EXPECT_EQ(m_changes, 4);
    grid->SetActiveCell(13, 1);
    grid->PasteBlock(QStringLiteral("0\tleaked"));
    EXPECT_EQ(grid->CellText(13, 1), QStringLiteral("0"));
    EXPECT_EQ(grid->ItemList(14, 1), QString());
    grid->SetActiveCell(2, 1);
    grid->PasteBlock(QStringLiteral("renamed"));
    EXPECT_EQ(grid->CellText(2, 1), QStringLiteral("supplier_id"));
}

TEST_F(GridPagesTest, EditsReachTheProjectFileWithTheCaptionFallBacks)
{
    Open(SampleProject());
    ShowTables(QStringLiteral("table"));
    ASSERT_EQ(tableGrid()->MaxRows(), 10);
    const int categories = rowOf(tableGrid(), QStringLiteral("categories"), 1);
    userEdit(tableGrid(), 3, categories, QString());
    userEdit(tableGrid(), 6, categories, QStringLiteral("  all kinds  "));
    QString shown;
    QObject::connect(m_pages.get(), &QVNPages::ShowTableData, [&shown](const QString& t) { shown = t; });
    emit tableGrid()->ButtonClicked(7, categories);
    EXPECT_EQ(shown, QStringLiteral("categories"));
    EXPECT_TRUE(m_pages->CommitPage());
    EXPECT_EQ(field(m_project->TABLES, QStringLiteral("categories"), "TL_CNAME"), QString());
    EXPECT_EQ(field(m_project->TABLES, QStringLiteral("categories"), "TL_CNAME2"), QStringLiteral("categories"));
    EXPECT_EQ(field(m_project->TABLES, QStringLiteral("categories"), "TL_DESC"), QStringLiteral("all kinds"));

    ShowTables(QStringLiteral("VIEW"));
    EXPECT_EQ(tableGrid()->MaxRows(), 1);

    ShowColumns(QStringLiteral("orders"));
    Grid* grid = columnGrid();
    const int date = rowOf(grid, QStringLiteral("order_date"));
    const int status = rowOf(grid, QStringLiteral("status"));
    userEdit(grid, 3, date, QString());
    userEdit(grid, 5, status, QStringLiteral("where the order stands"));
    userEdit(grid, 9, status, 3);
    userEdit(grid, 13, status, QStringLiteral("PAID"));
    find<QRadioButton>("RB_PK3")->click();
    EXPECT_TRUE(m_pages->CommitPage());
    const TQXRowsPtr columns = columnsOf(*m_project, QStringLiteral("orders"));
    EXPECT_EQ(field(columns, QStringLiteral("order_date"), "CL_CNAME"), QString());
    EXPECT_EQ(field(columns, QStringLiteral("order_date"), "CL_CNAME2"), QStringLiteral("order_date"));
    EXPECT_EQ(field(columns, QStringLiteral("order_id"), "CL_PKMARK"), QStringLiteral("1"));
    EXPECT_EQ(field(columns, QStringLiteral("status"), "CL_PKMARK"), QStringLiteral("0"));
    EXPECT_EQ(field(columns, QStringLiteral("status"), "CL_SEARCH_TYPE"), QStringLiteral("3"));
    EXPECT_EQ(field(m_project->TABLES, QStringLiteral("orders"), "TL_PKTYPE"), QStringLiteral("3"));
    EXPECT_EQ(field(m_project->TABLES, QStringLiteral("orders"), "TL_PK"), QStringLiteral("order_id"));

    // Saved, reopened and shown again: the same values.
    Save();
    Open(Mdl_Main::ProjectPath + QStringLiteral("sample.qvn"));
    ShowColumns(QStringLiteral("orders"));
    EXPECT_EQ(grid->CellText(3, date), QString());
    EXPECT_EQ(grid->CellText(5, status), QStringLiteral("where the order stands"));
    EXPECT_EQ(grid->Value(9, status), 3);
    EXPECT_EQ(grid->CellText(13, status), QStringLiteral("PAID"));
    EXPECT_EQ(grid->ItemList(15, status), QStringLiteral("NEW\tPAID\tSHIPPED\tCANCELLED"));
    EXPECT_TRUE(find<QRadioButton>("RB_PK3")->isChecked());
    ShowTables(QStringLiteral("TABLE"));
    EXPECT_EQ(tableGrid()->CellText(3, categories), QString());
    EXPECT_EQ(tableGrid()->CellText(6, categories), QStringLiteral("all kinds"));
}

TEST_F(GridPagesTest, ConversionsAreStoredAsTwoTabListsWithoutATrailingTab)
{
    Open(SampleProject());
    ShowColumns(QStringLiteral("orders"));
    Grid* grid = columnGrid();
    const int status = rowOf(grid, QStringLiteral("status"));
    const int remarks = rowOf(grid, QStringLiteral("remarks"));
    int offered = 0;
    m_runner = [&offered](QDialog& d) {
        auto& dialog = static_cast<Frm_Convert&>(d);
        for (int r = 1; r <= dialog.DataGrid()->MaxRows(); ++r)
            offered += dialog.DataGrid()->CellText(1, r).isEmpty() ? 0 : 1;
        dialog.ClearData();
        dialog.AddData(QStringLiteral("Open"), QStringLiteral("NEW"));
        dialog.DataGrid()->SetText(1, 3, QStringLiteral("Closed")); // an empty row in between
        dialog.DataGrid()->SetText(2, 3, QStringLiteral("DONE"));
        dialog.Confirm();
    };
    emit grid->ButtonClicked(12, status);
    EXPECT_EQ(offered, 4);
    EXPECT_EQ(grid->ItemList(14, status), QStringLiteral("Open\tClosed"));
    EXPECT_EQ(grid->ItemList(15, status), QStringLiteral("NEW\tDONE"));
    EXPECT_EQ(grid->ButtonColor(12, status), 255);
    EXPECT_EQ(m_changes, 1);

    // Cancelled: nothing changes. Emptied: two empty texts, black text.
    m_runner = [](QDialog& d) { static_cast<Frm_Convert&>(d).Cancel(); };
    emit grid->ButtonClicked(12, status);
    EXPECT_EQ(grid->ItemList(14, status), QStringLiteral("Open\tClosed"));
    EXPECT_EQ(m_changes, 1);
    m_runner = [](QDialog& d) {
        auto& dialog = static_cast<Frm_Convert&>(d);
        dialog.AddData(QStringLiteral("Yes"), QStringLiteral("1"));
        dialog.AddData(QStringLiteral("No"), QStringLiteral("0"));
        dialog.Confirm();
    };
    emit grid->ButtonClicked(12, remarks);
    m_runner = [](QDialog& d) {
        auto& dialog = static_cast<Frm_Convert&>(d);
        dialog.ClearData();
        dialog.Confirm();
    };
    emit grid->ButtonClicked(12, status);
    EXPECT_EQ(grid->ButtonColor(12, status), 0);
    EXPECT_TRUE(m_pages->CommitPage());
    const TQXRowsPtr columns = columnsOf(*m_project, QStringLiteral("orders"));
    EXPECT_EQ(field(columns, QStringLiteral("status"), "CL_CONVERT_CAPTION"), QString());
    EXPECT_EQ(field(columns, QStringLiteral("status"), "CL_CONVERT_VALUE"), QString());
    EXPECT_EQ(field(columns, QStringLiteral("remarks"), "CL_CONVERT_CAPTION"), QStringLiteral("Yes\tNo"));
    EXPECT_EQ(field(columns, QStringLiteral("remarks"), "CL_CONVERT_VALUE"), QStringLiteral("1\t0"));
}

TEST_F(GridPagesTest, HeadingClickOnATypeColumnAppliesTheChoiceDialog)
{
    Open(SampleProject());
    ShowColumns(QStringLiteral("orders"));
    Grid* grid = columnGrid();
    auto headingClick = [grid](int col) {
        grid->selectColumn(col - 1);
        emit grid->HeadingClicked(col);
    };

    // Not a type column, or not a whole column selected: no dialog.
    headingClick(5);
    grid->SetActiveCell(8, 2);
    emit grid->HeadingClicked(8);
    EXPECT_EQ(m_dialogsShown, 0);

    // One item for all: item 3 is stored as 2 in every row.
    int offeredRow = 0;
    m_runner = [&offeredRow](QDialog& d) {
        auto& dialog = static_cast<Frm_Choose&>(d);
        offeredRow = dialog.Row();
        dialog.SetDataType(2);
        dialog.SetRow(3);
        dialog.Confirm();
    };
    const int first = grid->Value(8, 1);
    headingClick(8);
    EXPECT_EQ(offeredRow, first + 1); // the first row's item is offered
    for (int r = 1; r <= grid->MaxRows(); ++r)
        EXPECT_EQ(grid->Value(8, r), 2) << r;
    EXPECT_EQ(m_changes, 1);

    // Automatic: the type of each column decides.
    m_runner = [](QDialog& d) {
        static_cast<Frm_Choose&>(d).SetDataType(1);
        static_cast<Frm_Choose&>(d).Confirm();
    };
    headingClick(8);
    EXPECT_EQ(grid->Value(8, rowOf(grid, QStringLiteral("order_date"))), 3);
    EXPECT_EQ(grid->Value(8, rowOf(grid, QStringLiteral("total_amount"))), 4);
    EXPECT_EQ(grid->Value(8, rowOf(grid, QStringLiteral("status"))), 1);

    // Leave as it is, or cancel: nothing changes.
    m_runner = [](QDialog& d) { static_cast<Frm_Choose&>(d).Confirm(); };
    headingClick(9);
    m_runner = [](QDialog& d) {
        static_cast<Frm_Choose&>(d).SetDataType(2);
        static_cast<Frm_Choose&>(d).Cancel();
    };
    headingClick(9);
    EXPECT_EQ(m_changes, 2);
}

TEST_F(GridPagesTest, CtrlZTakesBackAWholeColumnSetThroughTheChoiceDialog)
{
    Open(SampleProject());
    ShowColumns(QStringLiteral("orders"));
    Grid* grid = columnGrid();
    auto column = [grid] {
        QList<int> values;
        for (int r = 1; r <= grid->MaxRows(); ++r)
            values << grid->Value(8, r);
        return values;
    };
    const QList<int> before = column();
    const QList<int> allThird(grid->MaxRows(), 2);
    ASSERT_NE(before, allThird);

    auto apply = [this, grid](int type, int row) {
        m_runner = [type, row](QDialog& d) {
            auto& dialog = static_cast<Frm_Choose&>(d);
            dialog.SetDataType(type);
            if (row > 0)
                dialog.SetRow(row);
            dialog.Confirm();
        };
        grid->selectColumn(7);
        emit grid->HeadingClicked(8);
    };
    // One item for every row, then the automatic choice (which gives the sample's own values back).
    apply(2, 3);
    EXPECT_EQ(column(), allThird);
    apply(1, 0);
    EXPECT_EQ(column(), before);
    // Each Ctrl+Z takes back one whole set.
    press(grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(column(), allThird);
    press(grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(column(), before);
    EXPECT_FALSE(grid->Undo());
}

TEST_F(GridPagesTest, WideTableKeepsItsAnnotationsAcrossASchemaRefresh)
{
    Open(WideProject(500));
    ShowColumns(QStringLiteral("wide"));
    Grid* grid = columnGrid();
    ASSERT_EQ(grid->MaxRows(), 500);
    EXPECT_EQ(grid->CellKind(1, 1), Grid::Picture);
    EXPECT_EQ(grid->Value(8, 200), 2); // varchar(200): a text area
    EXPECT_EQ(grid->Value(8, 100), 1);
    userEdit(grid, 3, 250, QStringLiteral("Two hundred fifty"));
    userEdit(grid, 3, 4, QStringLiteral("Four"));
    ASSERT_TRUE(m_pages->CommitPage());
    Save();

    // A column dropped and one added in the database; the others keep their captions.
    RunSql(
        {QStringLiteral("alter table wide drop column c3"), QStringLiteral("alter table wide add column extra text")});
    m_pages->ClearPage();
    QVNProjectLifecycle lifecycle;
    ASSERT_TRUE(lifecycle.ReadTables(*m_project)) << lifecycle.Exceptions.ToString().toStdString();
    ShowColumns(QStringLiteral("wide"));
    ASSERT_EQ(grid->MaxRows(), 500);
    EXPECT_EQ(rowOf(grid, QStringLiteral("c3")), 0);
    EXPECT_EQ(grid->CellText(2, 500), QStringLiteral("extra"));
    EXPECT_EQ(grid->CellText(3, rowOf(grid, QStringLiteral("c250"))), QStringLiteral("Two hundred fifty"));
    EXPECT_EQ(grid->CellText(3, rowOf(grid, QStringLiteral("c4"))), QStringLiteral("Four"));
}

TEST_F(GridPagesTest, PageWithoutColumnsNeverErasesTheSavedAnnotations)
{
    Open(SampleProject());
    const TQXRowsPtr before = columnsOf(*m_project, QStringLiteral("orders"));
    ASSERT_GT(before->Count(), 0);
    // The database is out of reach: the page shows no columns; a key click must not wipe them.
    m_project->ProjectDatabase().DisConnectFromServer();
    m_project->P_DATABASE =
        QStringLiteral("DRIVER={SQLite3};Database=%1;NoCreat=1;").arg(m_dir.file(QStringLiteral("missing.db")));
    m_project->ProjectDatabase().AdoConnectString = m_project->ConnectionString();
    ShowColumns(QStringLiteral("orders"));
    EXPECT_EQ(columnGrid()->MaxRows(), 0);
    find<QRadioButton>("RB_PK2")->click();
    m_pages->CommitPage();
    EXPECT_EQ(columnsOf(*m_project, QStringLiteral("orders")), before);
}

} // namespace

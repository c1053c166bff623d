// The project road in the main window: connecting with the connection dialog, the database tree,
// refresh, save and the collection of the ticked tables, on the sample project (SQLite) with the
// real progress server where its texts and its Cancel matter.
#include "Frm_Database.h"
#include "Frm_Open.h"
#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNProcess.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "TQXCol.h"
#include "TQXCols.h"
#include "TQXRow.h"
#include "TQXRows.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTreeWidget>

namespace {

const QString kWrong = QStringLiteral("DRIVER={SQLite3};Database=/nonexistent/quorvin/missing.db;NoCreat=1;");

class RoadTest : public UiTest
{
protected:
    static int AcceptAsIs(Frm_Open& dialog)
    {
        dialog.LoadFields();
        dialog.Confirm();
        return dialog.DialogResult();
    }
    QTreeWidget* Tree(Frm_Database& w) { return w.findChild<QTreeWidget*>(QStringLiteral("Tv_Left")); }
    void Trigger(Frm_Database& w, const char* action) { w.findChild<QAction*>(QLatin1String(action))->trigger(); }
    QTreeWidgetItem* Node(Frm_Database& w, const QString& name)
    {
        const auto found = Tree(w)->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    QStringList Children(QTreeWidgetItem* group)
    {
        QStringList names;
        for (int i = 0; i < group->childCount(); ++i)
            names << group->child(i)->text(0);
        return names;
    }
    QByteArray Bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    /// Opens the sample project as it is.
    void OpenSample(Frm_Database& w)
    {
        w.SetConnectDialog(&RoadTest::AcceptAsIs);
        ASSERT_TRUE(w.OpenProjectFile(SampleProject()));
    }
};

TEST_F(RoadTest, WrongThenRightConnectionShowsTheDialogAgainWithTheValuesTried)
{
    Frm_Database window;
    const QString sample = SampleProject();
    QString right;
    QStringList shown;
    window.SetConnectDialog([&](Frm_Open& dialog) {
        dialog.LoadFields();
        auto* box = dialog.findChild<QLineEdit*>(QStringLiteral("Txt_P_DATABASE"));
        shown << box->text();
        if (shown.size() == 1) {
            right = box->text();
            box->setText(kWrong);
        } else {
            box->setText(right);
        }
        dialog.Confirm();
        return dialog.DialogResult();
    });
    ASSERT_TRUE(window.OpenProjectFile(sample, true));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1], kWrong) << "the second showing starts on the values just tried";
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("0|Cannot connect to the database.|")));
    // The first attempt changed a field: the settings that worked must be offered for saving.
    EXPECT_TRUE(window.ProjectChanged());
    EXPECT_EQ(window.Project()->P_DATABASE, right);

    // Closing the dialog without OK gives up: no project is open.
    window.SetQuestion([](const QString&) { return Frm_Database::Answer::No; });
    window.SetConnectDialog([](Frm_Open&) { return 0; });
    EXPECT_FALSE(window.OpenProjectFile(sample, true));
    EXPECT_FALSE(window.HasProject());
    EXPECT_EQ(Tree(window)->topLevelItemCount(), 0);
}

TEST_F(RoadTest, TheDialogComesOnlyWhenTheStoredConnectionFailsOrWhenAskedFor)
{
    // A stored connection that fails: the error, then the dialog on the stored values.
    const QString broken = Mdl_Main::ProjectPath + QStringLiteral("broken.qvn");
    ASSERT_TRUE(QFile::copy(SampleProject(), broken));
    {
        QVNProject project;
        QVNProjectLifecycle lifecycle;
        ASSERT_TRUE(lifecycle.OpenFile(broken, project));
        project.P_NO = QStringLiteral("B1");
        project.P_NAME = QStringLiteral("Broken");
        project.P_DATABASE = kWrong;
        ASSERT_TRUE(lifecycle.Save(project)) << lifecycle.Exceptions.ToString().toStdString();
    }
    struct Case
    {
        const char* name;
        QString file;
        bool viaMenu;
        int dialogs;
        int errors;
        bool opened;
    };
    const Case cases[] = {
        {"stored connection works", SampleProject(), false, 0, 0, true},
        {"asked for through the File menu", SampleProject(), true, 1, 0, true},
        {"stored connection fails", broken, false, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Frm_Database window;
        m_messages.clear();
        int dialogs = 0;
        QString shownDatabase;
        window.SetConnectDialog([&](Frm_Open& dialog) {
            ++dialogs;
            dialog.LoadFields();
            shownDatabase = dialog.findChild<QLineEdit*>(QStringLiteral("Txt_P_DATABASE"))->text();
            if (c.file == broken)
                return 0;
            dialog.Confirm();
            return dialog.DialogResult();
        });
        if (c.viaMenu) {
            window.SetConnectDialog(&RoadTest::AcceptAsIs);
            ASSERT_TRUE(window.OpenProjectFile(c.file));
            window.SetConnectDialog([&](Frm_Open& dialog) {
                ++dialogs;
                return AcceptAsIs(dialog);
            });
            Trigger(window, "Mnu_File_Project");
        } else {
            EXPECT_EQ(window.OpenProjectFile(c.file), c.opened);
        }
        EXPECT_EQ(dialogs, c.dialogs);
        EXPECT_EQ(m_messages.size(), c.errors) << m_messages.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(window.HasProject(), c.opened);
        if (c.file == broken) {
            EXPECT_EQ(shownDatabase, kWrong) << "the dialog starts on the stored values";
        }
    }
}

TEST_F(RoadTest, NewProjectStartsOnEmptySettingsAndKeepsWhatWasTyped)
{
    // What "new" creates: a project with an empty record, then opened through the dialog.
    const QString file = Mdl_Main::ProjectPath + QStringLiteral("fresh.qvn");
    {
        QVNProject created;
        QVNProjectLifecycle lifecycle;
        ASSERT_TRUE(lifecycle.Create(file, QVNProjectSettings(), false, created))
            << lifecycle.Exceptions.ToString().toStdString();
    }
    const QString sampleConnection = [&] {
        QVNProject sample;
        QVNProjectLifecycle lifecycle;
        EXPECT_TRUE(lifecycle.OpenFile(SampleProject(), sample));
        return sample.P_DATABASE;
    }();
    Frm_Database window;
    window.SetConnectDialog([&](Frm_Open& dialog) {
        dialog.LoadFields();
        EXPECT_TRUE(dialog.findChild<QLineEdit*>(QStringLiteral("Txt_P_NO"))->text().isEmpty());
        dialog.findChild<QLineEdit*>(QStringLiteral("Txt_P_NO"))->setText(QStringLiteral("N1"));
        dialog.findChild<QLineEdit*>(QStringLiteral("Txt_P_NAME"))->setText(QStringLiteral("Fresh"));
        dialog.findChild<QLineEdit*>(QStringLiteral("Txt_P_DATABASE"))->setText(sampleConnection);
        dialog.Confirm();
        return dialog.DialogResult();
    });
    ASSERT_TRUE(window.OpenProjectFile(file)) << m_messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(window.ProjectChanged());
    EXPECT_GT(Tree(window)->topLevelItem(0)->childCount(), 5);
    Trigger(window, "Mnu_File_Save");
    QVNProject reread;
    QVNProjectLifecycle lifecycle;
    ASSERT_TRUE(lifecycle.OpenFile(file, reread));
    EXPECT_EQ(reread.P_NAME, QStringLiteral("Fresh"));
    EXPECT_EQ(reread.P_DATABASE, sampleConnection);
}

TEST_F(RoadTest, TreeGroupsKindsAndGroupChecks)
{
    Frm_Database window;
    OpenSample(window);
    QTreeWidget* tree = Tree(window);
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Tables"));
    EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("Views"));
    EXPECT_EQ(tree->topLevelItem(2)->text(0), QStringLiteral("System Tables"));
    EXPECT_TRUE(Children(tree->topLevelItem(0)).contains(QStringLiteral("orders")));
    EXPECT_EQ(Children(tree->topLevelItem(1)), QStringList{QStringLiteral("v_order_totals")});

    // A kind that is neither table nor view lands under the third group.
    EXPECT_EQ(Frm_Database::TreeGroup(QStringLiteral("TABLE")), 0);
    EXPECT_EQ(Frm_Database::TreeGroup(QStringLiteral(" view ")), 1);
    EXPECT_EQ(Frm_Database::TreeGroup(QStringLiteral("SYSTEM TABLE")), 2);
    EXPECT_EQ(Frm_Database::TreeGroup(QStringLiteral("ACCESS TABLE")), 2);
    EXPECT_EQ(Frm_Database::TreeGroup(QString()), 2);
    Trigger(window, "Mnu_File_Build"); // nothing ticked yet
    ASSERT_FALSE(m_messages.isEmpty());
    EXPECT_EQ(m_messages.last(), QStringLiteral("0|Tick the tables to build first.|"));

    // The group box ticks and unticks its children; a child alone leaves its group as it was.
    QTreeWidgetItem* group = tree->topLevelItem(0);
    group->setCheckState(0, Qt::Checked);
    for (int i = 0; i < group->childCount(); ++i)
        EXPECT_EQ(group->child(i)->checkState(0), Qt::Checked) << group->child(i)->text(0).toStdString();
    group->setCheckState(0, Qt::Unchecked);
    for (int i = 0; i < group->childCount(); ++i)
        EXPECT_EQ(group->child(i)->checkState(0), Qt::Unchecked);
    Node(window, QStringLiteral("orders"))->setCheckState(0, Qt::Checked);
    EXPECT_EQ(group->checkState(0), Qt::Unchecked);

    // Refresh reads the list again (the changed kind is the database's again) and clears the marks.
    Trigger(window, "Mnu_File_Refresh");
    EXPECT_EQ(Node(window, QStringLiteral("orders"))->checkState(0), Qt::Unchecked);
    EXPECT_FALSE(window.ProjectChanged());
    // A ticked group that has no children is no table.
    tree->topLevelItem(2)->setCheckState(0, Qt::Checked);
    m_messages.clear();
    Trigger(window, "Mnu_File_Build");
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("0|Tick the tables to build first.|")});
}

TEST_F(RoadTest, CancelWhileTheTreeFillsKeepsTheNodesAddedSoFar)
{
    Frm_Database window;
    int polls = 0;
    // Counted from the moment the tree starts filling (reading the tables asks too).
    bool filling = false;
    window.SetProgressWatch([&](const QString& text) { filling = text.contains(QStringLiteral("in the tree")); });
    window.SetCancelCheck([&] { return filling && ++polls >= 3; });
    OpenSample(window);
    QTreeWidget* tree = Tree(window);
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    int nodes = 0;
    for (int g = 0; g < 3; ++g)
        nodes += tree->topLevelItem(g)->childCount();
    EXPECT_EQ(nodes, 3);
    EXPECT_TRUE(window.HasProject());
}

TEST_F(RoadTest, FailedSaveKeepsTheIndicatorAndTheFile)
{
    Frm_Database window;
    OpenSample(window);
    const QString file = window.Project()->ProjectFile();
    const QByteArray before = Bytes(file);
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    window.SetProjectChanged(true);
    m_messages.clear();
    Trigger(window, "Mnu_File_Save");
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("0|The project could not be saved.|")));
    EXPECT_TRUE(window.ProjectChanged()) << "nothing was saved, so the changes are still pending";
    EXPECT_EQ(Bytes(file), before);

    Trigger(window, "Mnu_File_Save");
    EXPECT_FALSE(window.ProjectChanged());
    EXPECT_EQ(m_messages.last(), QStringLiteral("2|The project has been saved.|"));
}

TEST_F(RoadTest, CollectionHandsOverTheTickedTablesInTreeOrder)
{
    Frm_Database window;
    OpenSample(window);
    QVNProject& project = const_cast<QVNProject&>(*window.Project());
    // A key whose values the database makes (kind 2) leaves the edit screen; kind 1 keeps it.
    const TQXColsPtr orders = project.TABLES->Item(QStringLiteral("orders"))->Cols();
    orders->Item(QStringLiteral("TL_PKTYPE"))->SetValue(QStringLiteral("2"));
    const QString ordersKey = orders->Text(QStringLiteral("TL_PK")).trimmed();
    ASSERT_FALSE(ordersKey.isEmpty());
    const TQXColsPtr customers = project.TABLES->Item(QStringLiteral("customers"))->Cols();
    customers->Item(QStringLiteral("TL_PKTYPE"))->SetValue(QStringLiteral("1"));
    const QString customersKey = customers->Text(QStringLiteral("TL_PK")).trimmed();

    TQXRowsPtr handed;
    TQXColsPtr variables;
    QString folder;
    window.SetBuildHandOver([&](const TQXRowsPtr& t, const TQXColsPtr& v, const QString& f) {
        handed = t;
        variables = v;
        folder = f;
    });
    Node(window, QStringLiteral("v_order_totals"))->setCheckState(0, Qt::Checked);
    Node(window, QStringLiteral("orders"))->setCheckState(0, Qt::Checked);
    Node(window, QStringLiteral("customers"))->setCheckState(0, Qt::Checked);
    Trigger(window, "Mnu_File_Build");
    ASSERT_TRUE(handed) << m_messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(handed->Tag(), QStringLiteral("TABLES"));
    QStringList order;
    for (const TQXRowPtr& row : *handed)
        order << row->Key();
    // Tables before views, each in the project's order.
    const int c = order.indexOf(QStringLiteral("customers")), o = order.indexOf(QStringLiteral("orders"));
    ASSERT_EQ(order.size(), 3);
    EXPECT_LT(c, o);
    EXPECT_EQ(order.last(), QStringLiteral("v_order_totals"));

    auto updateType = [&](const QString& table, const QString& column) {
        const TQXRowsPtr columns = handed->Item(table)->Cols()->Item(QStringLiteral("COLUMNS"))->Value().rows();
        return columns->Item(column)->Cols()->Text(QStringLiteral("CL_UPDATE_TYPE"));
    };
    EXPECT_EQ(updateType(QStringLiteral("orders"), ordersKey), QStringLiteral("0"));
    EXPECT_FALSE(handed->Item(QStringLiteral("orders"))
                     ->Cols()
                     ->Item(QStringLiteral("UPDATE_COLUMNS"))
                     ->Value()
                     .rows()
                     ->Exists(ordersKey));
    EXPECT_NE(updateType(QStringLiteral("customers"), customersKey), QStringLiteral("0"));
    for (const char* list : {"UPDATE_COLUMNS", "SEARCH_COLUMNS", "MAIN_COLUMNS", "SHOW_COLUMNS"})
        EXPECT_TRUE(handed->Item(QStringLiteral("customers"))->Cols()->Exists(QLatin1String(list))) << list;
    // The project's own records are copies' sources, untouched by the collection.
    EXPECT_FALSE(project.TABLES->Item(QStringLiteral("orders"))->Cols()->Exists(QStringLiteral("UPDATE_COLUMNS")));

    QStringList names;
    for (const TQXColPtr& v : *variables)
        names << v->Key();
    EXPECT_EQ(names, (QStringList{QStringLiteral("P_NO"), QStringLiteral("P_NAME"), QStringLiteral("P_DATABASE"),
                                  QStringLiteral("P_USERID"), QStringLiteral("P_PWD"), QStringLiteral("P_PATH"),
                                  QStringLiteral("P_CONNECTIONSTRING")}));
    EXPECT_EQ(folder, project.P_PATH);
}

TEST_F(RoadTest, ProgressServerShowsTheTableTextsAndItsCancelStopsTheCollection)
{
    qputenv("DROMALE_TEST_HOOKS", "1");
    QVNProcess process;
    ASSERT_TRUE(process.Create(QStringLiteral(QUORVIN_APP_DIR))) << process.LastError().toStdString();
    Frm_Database window;
    window.SetProcess(&process);
    OpenSample(window);
    bool handedOver = false;
    window.SetBuildHandOver([&](const TQXRowsPtr&, const TQXColsPtr&, const QString&) { handedOver = true; });
    Node(window, QStringLiteral("orders"))->setCheckState(0, Qt::Checked);
    Node(window, QStringLiteral("customers"))->setCheckState(0, Qt::Checked);

    QStringList texts;
    window.SetCancelCheck([&] {
        texts << process.Object().Call(QStringLiteral("TestWindow"), {QStringLiteral("Processing")}).toString();
        return process.ProcessCanceled();
    });
    // The collection may end before the first question: what was handed to the window counts too.
    window.SetProgressWatch([&](const QString& text) { texts << text; });
    Trigger(window, "Mnu_File_Build");
    EXPECT_TRUE(handedOver);
    // The body says in plain words which table of how many is read (the last one shown, at least).
    EXPECT_FALSE(texts
                     .filter(QRegularExpression(
                         QStringLiteral("^Reading the columns and keys of table [12] of 2: (orders|customers)$")))
                     .isEmpty())
        << texts.join(QLatin1Char('\n')).toStdString();

    // Cancel pressed in the progress window while the first table is collected.
    handedOver = false;
    m_messages.clear();
    window.SetCancelCheck([&] {
        process.Object().Call(QStringLiteral("TestClickCancel"));
        return process.ProcessCanceled();
    });
    Trigger(window, "Mnu_File_Build");
    EXPECT_FALSE(handedOver);
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("2|Cancelled.|")});
    EXPECT_TRUE(Tree(window)->isEnabled());
    process.Quit();
    process.Release();
    qunsetenv("DROMALE_TEST_HOOKS");
}

// The pages in the main window: a table node shows its columns, a caption typed there marks the
// project changed and reaches the project file through Save; a group node shows the table list.
TEST_F(RoadTest, ColumnPageEditReachesTheProjectFileThroughSave)
{
    const QString copy = SampleProject();
    {
        Frm_Database window;
        window.SetConnectDialog(&RoadTest::AcceptAsIs);
        ASSERT_TRUE(window.OpenProjectFile(copy));
        Tree(window)->setCurrentItem(Tree(window)->topLevelItem(0));
        EXPECT_TRUE(window.findChild<QWidget*>(QStringLiteral("Fra_TableList"))->isVisibleTo(&window));
        Tree(window)->setCurrentItem(Node(window, QStringLiteral("orders")));
        EXPECT_FALSE(window.ProjectChanged());
        auto* grid = window.findChild<Grid*>(QStringLiteral("Spd_ColumnList"));
        ASSERT_NE(grid, nullptr);
        EXPECT_TRUE(window.findChild<QWidget*>(QStringLiteral("Fra_ColumnList"))->isVisibleTo(&window));
        int row = 0;
        for (int r = 1; r <= grid->MaxRows(); ++r)
            if (grid->CellText(2, r) == QLatin1String("remarks"))
                row = r;
        ASSERT_GT(row, 0);
        ASSERT_TRUE(
            grid->model()->setData(grid->model()->index(row - 1, 2), QStringLiteral("Notes typed"), Qt::EditRole));
        EXPECT_TRUE(window.ProjectChanged());
        Trigger(window, "Mnu_File_Save");
        EXPECT_FALSE(window.ProjectChanged());
    }
    QVNProject project;
    QVNProjectLifecycle lifecycle;
    ASSERT_TRUE(lifecycle.Open(copy, project));
    const TQXRowsPtr columns = project.GetColumns(QStringLiteral("orders"));
    ASSERT_TRUE(columns && columns->Item(QStringLiteral("remarks")));
    EXPECT_EQ(columns->Item(QStringLiteral("remarks"))->Cols()->Text(QStringLiteral("CL_CNAME")),
              QStringLiteral("Notes typed"));
}

} // namespace

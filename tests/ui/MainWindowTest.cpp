#include "Frm_Database.h"
#include "Frm_Open.h"
#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNConfig.h"
#include "QVNLanguage.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "TQXCol.h"
#include "TQXCols.h"
#include "TQXRow.h"
#include "TQXRows.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>

namespace {

class MainWindowTest : public UiTest
{
protected:
    /// The connection dialog confirmed with the project's stored values.
    static int AcceptAsIs(Frm_Open& dialog)
    {
        dialog.LoadFields();
        dialog.Confirm();
        return dialog.DialogResult();
    }
    QAction* Action(Frm_Database& w, const QString& name) { return w.findChild<QAction*>(name); }
    /// The paths the recent-projects menu shows, newest first.
    QStringList ShownRecent(Frm_Database& w)
    {
        QStringList shown;
        for (int i = 0; i < 10; ++i) {
            QAction* entry = Action(w, QStringLiteral("Mnu_List_%1").arg(i));
            if (entry->isVisible())
                shown << entry->data().toString();
        }
        return shown;
    }
    /// Answers the next real question box once it is open: `answer` gets the box and its buttons.
    static void WhenBoxOpens(std::function<void(QMessageBox&)> answer)
    {
        QTimer::singleShot(10, [answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box)
                answer(*box);
            else
                WhenBoxOpens(answer);
        });
    }
    /// Tables of a project whose caption was annotated in the project file.
    static int AnnotatedTables(const QVNProject& project)
    {
        int count = 0;
        for (const TQXRowPtr& row : *project.TABLES)
            if (!row->Cols()->Text(QStringLiteral("TL_CNAME")).trimmed().isEmpty())
                ++count;
        return count;
    }
};

TEST_F(MainWindowTest, RecentListKeepsTenDeduplicatesIgnoringCaseAndHidesMissingFiles)
{
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    EXPECT_FALSE(window.findChild<QMenu*>(QStringLiteral("Mnu_NewList"))->menuAction()->isVisible());
    EXPECT_FALSE(Action(window, QStringLiteral("Mnu_File_2"))->isVisible());

    QStringList paths;
    for (int i = 1; i <= 11; ++i)
        paths << NewProject(QStringLiteral("p%1.qvn").arg(i));
    for (const QString& p : paths)
        window.AddRecentProject(p);
    QStringList expected = paths.mid(1); // the first one dropped out
    EXPECT_EQ(StoredRecent(), expected);
    EXPECT_EQ(ShownRecent(window).size(), 10);
    EXPECT_EQ(ShownRecent(window).first(), paths.last());
    EXPECT_TRUE(window.findChild<QMenu*>(QStringLiteral("Mnu_NewList"))->menuAction()->isVisible());

    // The same file in another letter case moves to the newest place and keeps the new spelling.
    const QString upper = paths[3].toUpper();
    window.AddRecentProject(upper);
    const QStringList stored = StoredRecent();
    EXPECT_EQ(stored.size(), 10);
    EXPECT_EQ(stored.last(), upper);
    EXPECT_EQ(stored.filter(QStringLiteral("p4.qvn"), Qt::CaseInsensitive).size(), 1);

    // A file that is gone is no longer shown but stays stored.
    QFile::remove(paths[10]);
    window.ShowRecentProjects();
    EXPECT_FALSE(ShownRecent(window).contains(paths[10]));
    EXPECT_TRUE(StoredRecent().contains(paths[10]));
}

TEST_F(MainWindowTest, LanguageSwitchRenewsEveryCaptionAndIsStored)
{
    Frm_Database::SetBuildTime(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    const QString stamp = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC)
                              .toLocalTime()
                              .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Pellmar Quorvin   Ver 1.0.3   [%1]").arg(stamp));
    EXPECT_EQ(window.findChild<QMenu*>(QStringLiteral("Mnu_File"))->title(), QStringLiteral("&File"));
    const QList<QAction*> languages = window.findChildren<QAction*>(QStringLiteral("Mnu_Language_1"));
    ASSERT_GE(languages.size(), 2);

    window.SwitchLanguage(QStringLiteral("2052"));
    EXPECT_EQ(window.findChild<QMenu*>(QStringLiteral("Mnu_File"))->title(), QStringLiteral("文件(&F)"));
    EXPECT_EQ(Action(window, QStringLiteral("Mnu_File_Open"))->text(), QStringLiteral("打开项目(&O)..."));
    EXPECT_EQ(window.findChild<QToolButton*>(QStringLiteral("tool"))->text(), QStringLiteral("工具"));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("Lbl_DataChanged"))->text(), QStringLiteral("有未保存的修改"));
    for (QAction* entry : languages)
        EXPECT_EQ(entry->isChecked(), entry->data().toString() == QLatin1String("2052"));
    EXPECT_EQ(Mdl_Main::Config().LoadRegSetting(Mdl_Main::ProductName, QStringLiteral("Setup"),
                                                QStringLiteral("Language"), QString()),
              QStringLiteral("2052"));
    EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("Pellmar Quorvin   Ver 1.0.3")));

    window.SwitchLanguage(QStringLiteral("1033"));
    EXPECT_EQ(Action(window, QStringLiteral("Mnu_File_Open"))->text(), QStringLiteral("&Open project..."));
}

TEST_F(MainWindowTest, MissingTextShowsItsKey)
{
    // A language folder whose file lacks most entries, and no 2052 file to fall back on.
    const QString folder = m_dir.file(QStringLiteral("lang/"));
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("ORVE_GLOBAL.1033"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[GLOBAL]\nLANGUAGE=Sparse\n[Frm_Database]\nMnu_File=&File\n");
    file.close();
    Mdl_Main::Language().SetLanguagePath(folder);
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    EXPECT_EQ(window.findChild<QMenu*>(QStringLiteral("Mnu_File"))->title(), QStringLiteral("&File"));
    EXPECT_EQ(Action(window, QStringLiteral("Mnu_Help_Mail"))->text(), QStringLiteral("Mnu_Help_Mail"));
}

TEST_F(MainWindowTest, ToolsMenuAppearsOnlyAfterTheToolPictureIsClicked)
{
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    QMenu* tools = window.findChild<QMenu*>(QStringLiteral("Mnu_Tool"));
    EXPECT_FALSE(tools->menuAction()->isVisible());
    EXPECT_NE(window.findChild<QToolButton*>(QStringLiteral("tool"))->menu(), nullptr);
    window.findChild<QToolButton*>(QStringLiteral("Pict_Tool"))->click();
    EXPECT_TRUE(tools->menuAction()->isVisible());
}

TEST_F(MainWindowTest, OpeningTheSampleShowsItsValuesAndEnablesSave)
{
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    EXPECT_FALSE(Action(window, QStringLiteral("Mnu_File_Save"))->isEnabled());
    const QString sample = SampleProject();
    ASSERT_TRUE(window.OpenProjectFile(sample));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("SB_Project_1"))->text().contains(QStringLiteral(" ---- ")));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("SB_Project_2"))->text(), sample);
    EXPECT_TRUE(Action(window, QStringLiteral("Mnu_File_Save"))->isEnabled());
    EXPECT_TRUE(Action(window, QStringLiteral("Mnu_File_Build"))->isEnabled());
    EXPECT_EQ(StoredRecent(), QStringList{sample});

    // A file that is not a project leaves the window without a project and says why.
    const QString bogus = m_dir.file(QStringLiteral("bogus.qvn"));
    QFile f(bogus);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a database");
    f.close();
    EXPECT_FALSE(window.OpenProjectFile(bogus));
    EXPECT_FALSE(window.HasProject());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("0|The project file could not be opened.|")));
    EXPECT_EQ(StoredRecent(), QStringList{sample});
}

TEST_F(MainWindowTest, ChangedFlagsMoveTogetherAndShowTheIndicator)
{
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    window.show();
    QLabel* indicator = window.findChild<QLabel*>(QStringLiteral("Lbl_DataChanged"));
    EXPECT_FALSE(indicator->isVisible());
    window.SetPageChanged(true);
    QApplication::processEvents(); // the tool bar lays its widgets out when events run
    EXPECT_TRUE(window.ProjectChanged());
    EXPECT_TRUE(indicator->isVisible());
    window.SetPageChanged(false);
    EXPECT_TRUE(window.ProjectChanged()); // only a save or closing the project clears it
    window.SetProjectChanged(false);
    QApplication::processEvents();
    EXPECT_FALSE(indicator->isVisible());
}

TEST_F(MainWindowTest, CloseWithUnsavedChangesAnsweredNoClosesWithoutSaving)
{
    const QString sample = SampleProject();
    const QByteArray before = [&] {
        QFile f(sample);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    ASSERT_TRUE(window.OpenProjectFile(sample));
    QStringList questions;
    window.SetQuestion([&](const QString& q) {
        questions << q;
        return Frm_Database::Answer::No;
    });
    window.show();
    window.SetProjectChanged(true);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(questions, QStringList{QStringLiteral("The project has unsaved changes. Save them now?")});
    QFile f(sample);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_FALSE(QFile::exists(sample + QStringLiteral(".bak")));
}

TEST_F(MainWindowTest, FailedSaveOnCloseAsksAgainAndOnlyYesCloses)
{
    const QString sample = SampleProject();
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    ASSERT_TRUE(window.OpenProjectFile(sample));
    window.show();
    window.SetProjectChanged(true);
    // The project file is read-only: saving fails.
    QFile::setPermissions(sample, QFileDevice::ReadOwner | QFileDevice::ReadGroup);

    using Answer = Frm_Database::Answer;
    QList<Answer> answers{Answer::Yes, Answer::No};
    QStringList questions;
    window.SetQuestion([&](const QString& q) {
        questions << q;
        return answers.takeFirst();
    });
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.ProjectChanged());
    ASSERT_EQ(questions.size(), 2);
    EXPECT_EQ(questions[1], QStringLiteral("The project could not be saved. Close anyway and lose the changes?"));
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("0|The project could not be saved.|")));
    EXPECT_FALSE(m_messages[0].endsWith(QLatin1Char('|'))); // the reason is in the detail

    // Asked again on the next close; this time the user gives the changes up.
    answers = {Answer::Yes, Answer::Yes};
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    QFile::setPermissions(sample, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST_F(MainWindowTest, SuccessfulSaveOnCloseWritesTheProject)
{
    const QString sample = SampleProject();
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    ASSERT_TRUE(window.OpenProjectFile(sample));
    window.SetQuestion([](const QString&) { return Frm_Database::Answer::Yes; });
    window.show();
    window.SetProjectChanged(true);
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(QFile::exists(sample + QStringLiteral(".bak")));
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0], QStringLiteral("2|The project has been saved.|"));
}

TEST_F(MainWindowTest, SplitterKeepsBothPanesAtLeastTheirMinimumAndWideningGrowsTheRightPane)
{
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    window.resize(900, 600);
    window.show();
    QApplication::processEvents();
    QWidget* left = window.findChild<QWidget*>(QStringLiteral("Pict_Left"));
    QWidget* right = window.findChild<QWidget*>(QStringLiteral("Pict_Right"));
    const int minPane = 1500 * window.logicalDpiX() / 1440;
    window.ResizeControls(40); // dropped too far left
    EXPECT_EQ(left->width(), minPane);
    window.ResizeControls(5000); // dropped beyond the right edge
    EXPECT_GE(right->width(), minPane);
    window.ResizeControls(250);
    const int before = right->width();
    window.resize(1100, 600);
    QApplication::processEvents();
    EXPECT_EQ(left->width(), 250);
    EXPECT_EQ(right->width(), before + 200);
    // The window cannot be made smaller than 5000 twips either way.
    EXPECT_EQ(window.minimumWidth(), 5000 * window.logicalDpiX() / 1440);
    EXPECT_EQ(window.minimumHeight(), 5000 * window.logicalDpiY() / 1440);
}

TEST_F(MainWindowTest, ClosingRemovesTheTemporaryFolder)
{
    const QString temp = Mdl_Main::WritableBase() + QStringLiteral("temp");
    QDir().mkpath(temp + QStringLiteral("/rad12345.tmp"));
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(QFileInfo::exists(temp));
    // The layout is kept for the next start.
    EXPECT_FALSE(Mdl_Main::Config()
                     .LoadRegSetting(Mdl_Main::ProductName, QStringLiteral("Frm_Database"), QStringLiteral("Splitter"),
                                     QString())
                     .isEmpty());
}

TEST_F(MainWindowTest, FailedRefreshKeepsTablesAnnotationsAndChangedFlagSoSaveLosesNothing)
{
    const QString sample = SampleProject();
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    ASSERT_TRUE(window.OpenProjectFile(sample));
    const int tables = window.Project()->TABLES->Count();
    const int annotated = AnnotatedTables(*window.Project());
    ASSERT_GT(annotated, 0);
    QTreeWidget* tree = window.findChild<QTreeWidget*>(QStringLiteral("Tv_Left"));
    const int shownTables = tree->topLevelItem(0)->childCount();
    window.SetProjectChanged(true);

    // The database goes out of reach; the unsaved edits are kept in memory (No), then F5.
    ASSERT_TRUE(QFile::remove(m_appPath + QStringLiteral("sample")));
    window.SetQuestion([](const QString&) { return Frm_Database::Answer::No; });
    Action(window, QStringLiteral("Mnu_File_Refresh"))->trigger();
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("0|Cannot connect to the database.|")));
    EXPECT_EQ(window.Project()->TABLES->Count(), tables);
    EXPECT_EQ(AnnotatedTables(*window.Project()), annotated);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), shownTables);
    EXPECT_TRUE(window.ProjectChanged());

    // Saving now writes the list that was read, annotations and all.
    Action(window, QStringLiteral("Mnu_File_Save"))->trigger();
    EXPECT_FALSE(window.ProjectChanged());
    ASSERT_TRUE(QFile::link(QStringLiteral(QUORVIN_APP_DIR "/sample"), m_appPath + QStringLiteral("sample")));
    QVNProject reread;
    QVNProjectLifecycle lifecycle;
    ASSERT_TRUE(lifecycle.Open(sample, reread)) << qPrintable(lifecycle.Exceptions.ToString());
    EXPECT_EQ(reread.TABLES->Count(), tables);
    EXPECT_EQ(AnnotatedTables(reread), annotated);

    // With the database back, a refresh reads it again and the unsaved flag goes.
    Action(window, QStringLiteral("Mnu_File_Refresh"))->trigger();
    EXPECT_EQ(m_messages.size(), 2); // only the save notice was added
    EXPECT_EQ(window.Project()->TABLES->Count(), tables);
}

TEST_F(MainWindowTest, EscapeOnTheUnsavedQuestionKeepsTheWindowAndOnlyAnExplicitNoDiscards)
{
    const QString sample = SampleProject();
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    ASSERT_TRUE(window.OpenProjectFile(sample));
    window.show();
    window.SetProjectChanged(true);

    // Escape, and the box's own close, answer Cancel: the window stays with its edits.
    WhenBoxOpens([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.ProjectChanged());
    WhenBoxOpens([](QMessageBox& box) { box.close(); });
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    // Opening another project is refused the same way; the project stays open.
    WhenBoxOpens([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_FALSE(window.OpenProjectFile(sample));
    EXPECT_TRUE(window.HasProject());
    EXPECT_TRUE(window.ProjectChanged());

    // The file cannot be written: Yes fails, and the second question stands on No, so Enter keeps
    // the window too.
    QFile::setPermissions(sample, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    QString second;
    WhenBoxOpens([&second](QMessageBox& box) {
        box.button(QMessageBox::Yes)->click();
        WhenBoxOpens([&second](QMessageBox& next) {
            second = next.text();
            EXPECT_EQ(next.defaultButton(), next.button(QMessageBox::No));
            EXPECT_EQ(next.button(QMessageBox::Cancel), nullptr);
            QTest::keyClick(&next, Qt::Key_Return);
        });
    });
    EXPECT_FALSE(window.close());
    EXPECT_EQ(second, QStringLiteral("The project could not be saved. Close anyway and lose the changes?"));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.ProjectChanged());
    QFile::setPermissions(sample, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    // Only the explicit No closes without saving.
    WhenBoxOpens([](QMessageBox& box) { box.button(QMessageBox::No)->click(); });
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}

TEST_F(MainWindowTest, FilterNarrowsTheTreeAndAGroupTickTicksOnlyTheTablesShown)
{
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    ASSERT_TRUE(window.OpenProjectFile(SampleProject()));
    QTreeWidget* tree = window.findChild<QTreeWidget*>(QStringLiteral("Tv_Left"));
    QTreeWidgetItem* tables = tree->topLevelItem(0);
    auto shown = [tables] {
        QStringList names;
        for (int i = 0; i < tables->childCount(); ++i)
            if (!tables->child(i)->isHidden())
                names << tables->child(i)->text(0);
        return names;
    };
    const QStringList all = shown();
    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("Txt_Filter"));
    ASSERT_NE(filter, nullptr);
    filter->setText(QStringLiteral("ORDER"));
    const QStringList narrowed = shown();
    ASSERT_FALSE(narrowed.isEmpty());
    EXPECT_LT(narrowed.size(), all.size());
    for (const QString& name : narrowed)
        EXPECT_TRUE(name.contains(QStringLiteral("order"), Qt::CaseInsensitive)) << qPrintable(name);

    tables->setCheckState(0, Qt::Checked);
    filter->clear();
    EXPECT_EQ(shown(), all);
    for (int i = 0; i < tables->childCount(); ++i)
        EXPECT_EQ(tables->child(i)->checkState(0) == Qt::Checked, narrowed.contains(tables->child(i)->text(0)))
            << qPrintable(tables->child(i)->text(0));
}

TEST_F(MainWindowTest, FileMenuLettersAreUniqueInEveryLanguage)
{
    for (const char* number : {"1033", "2052"}) {
        Mdl_Main::Language().SetLanguage(QLatin1String(number));
        Frm_Database window;
        QStringList letters;
        for (QAction* entry : window.findChild<QMenu*>(QStringLiteral("Mnu_File"))->actions()) {
            if (entry->isSeparator() || entry->objectName().startsWith(QLatin1String("Mnu_List_")))
                continue; // the recent entries are numbered
            const QString letter = QKeySequence::mnemonic(entry->text()).toString();
            EXPECT_FALSE(letter.isEmpty()) << number << " " << qPrintable(entry->text());
            EXPECT_FALSE(letters.contains(letter)) << number << " " << qPrintable(entry->text());
            letters << letter;
        }
    }
}

TEST_F(MainWindowTest, EditMenuAndRightClickMenuCopyPasteAndUndoOnTheGridWithTheFocus)
{
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    ASSERT_TRUE(window.OpenProjectFile(SampleProject()));
    window.show();
    QApplication::setActiveWindow(&window);
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("Tv_Left"));
    const auto found = tree->findItems(QStringLiteral("categories"), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_FALSE(found.isEmpty());
    tree->setCurrentItem(found.first());
    auto* grid = window.findChild<Grid*>(QStringLiteral("Spd_ColumnList"));
    ASSERT_NE(grid, nullptr);
    ASSERT_GE(grid->MaxRows(), 2);
    grid->setFocus();
    QApplication::processEvents();
    const QString first = grid->CellText(3, 1), second = grid->CellText(3, 2);
    ASSERT_NE(first, second);

    // The caption of row 1 copied and pasted over row 2 by the Edit menu, then taken back.
    auto select = [&](int col, int row) { grid->setCurrentIndex(grid->model()->index(row - 1, col - 1)); };
    auto trigger = [&](const char* name) { window.findChild<QAction*>(QLatin1String(name))->trigger(); };
    select(3, 1);
    trigger("Mnu_Edit_Copy");
    EXPECT_EQ(QApplication::clipboard()->text().trimmed(), first);
    select(3, 2);
    trigger("Mnu_Edit_Paste");
    EXPECT_EQ(grid->CellText(3, 2), first);
    EXPECT_TRUE(window.PageChanged());
    trigger("Mnu_Edit_Undo");
    EXPECT_EQ(grid->CellText(3, 2), second);

    // The same through the grid's right-click menu: the menu's actions are picked as it opens.
    auto viaMenu = [&](const char* action) {
        QTimer::singleShot(0, [action] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->objectName() == QLatin1String("Mnu_Grid")) {
                    QAction* a = menu->findChild<QAction*>(QLatin1String(action));
                    ASSERT_NE(a, nullptr);
                    EXPECT_TRUE(a->isEnabled()) << action;
                    menu->setActiveAction(a);
                    QTest::keyClick(menu, Qt::Key_Return);
                }
        });
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), grid->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(grid->viewport(), &event);
    };
    QApplication::clipboard()->clear();
    select(3, 1);
    viaMenu("Mnu_Copy");
    EXPECT_EQ(QApplication::clipboard()->text().trimmed(), first);
    select(3, 2);
    viaMenu("Mnu_Paste");
    EXPECT_EQ(grid->CellText(3, 2), first);
    viaMenu("Mnu_Undo");
    EXPECT_EQ(grid->CellText(3, 2), second);
}

TEST_F(MainWindowTest, KeyboardRoadOpensTicksBuildsAndClosesWithoutTheMouse)
{
    Frm_Database window;
    window.SetConnectDialog(AcceptAsIs);
    int builds = 0;
    QStringList built;
    window.SetBuildHandOver([&](const TQXRowsPtr& tables, const TQXColsPtr&, const QString&) {
        ++builds;
        for (const TQXRowPtr& row : *tables)
            built << row->Key();
    });
    window.show();
    QApplication::setActiveWindow(&window);
    QApplication::processEvents();
    const QString sample = SampleProject();

    // Ctrl+O: the file dialog takes the path typed into it and Enter.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(sample);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(window.HasProject()) << m_messages.join(QLatin1Char('\n')).toStdString();

    // The tree: down to the first table, Space ticks it; F7 builds it.
    QApplication::setActiveWindow(&window); // the file dialog took the activation with it
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("Tv_Left"));
    tree->setFocus();
    tree->setCurrentItem(tree->topLevelItem(0));
    QTest::keyClick(tree, Qt::Key_Down);
    const QString first = tree->currentItem()->text(0);
    QTest::keyClick(tree, Qt::Key_Space);
    EXPECT_EQ(tree->currentItem()->checkState(0), Qt::Checked);
    QTest::keyClick(tree, Qt::Key_F7);
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(built, QStringList{first});

    // Ctrl+Q closes the window (nothing was changed, so nothing is asked).
    QTest::keyClick(tree, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible());
}

} // namespace

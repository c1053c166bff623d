#include "Frm_Database.h"
#include "Frm_Open.h"
#include "Mdl_Main.h"
#include "QVNConfig.h"
#include "QVNLanguage.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

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
        return false;
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

    QList<bool> answers{true, false};
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
    answers = {true, true};
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
    window.SetQuestion([](const QString&) { return true; });
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

} // namespace

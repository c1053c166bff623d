// The build dialog over a real progress server process and the sample project's collection, the
// read-me browser, the packaging window and the conversion window, driven offscreen.

#include "Frm_Build.h"
#include "Frm_Choose.h"
#include "Frm_Convert.h"
#include "Frm_Database.h"
#include "Frm_IE.h"
#include "Frm_Open.h"
#include "Frm_Package.h"
#include "Frm_UML.h"
#include "Mdl_Main.h"
#include "QVNBuildCollector.h"
#include "QVNModel.h"
#include "QVNProcess.h"
#include "QVNZIP.h"
#include "TQXRow.h"
#include "TempDir.h"
#include "UiTestSupport.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

#include <functional>

namespace {
const QString kModelSource = QStringLiteral(QUORVIN_TEST_DATA_DIR "/modelwidgets/varmodel");

QString readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool copyTree(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QFileInfo& info : QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + info.fileName();
        if (info.isDir() ? !copyTree(info.absoluteFilePath(), target) : !QFile::copy(info.absoluteFilePath(), target))
            return false;
    }
    return true;
}

class BuildWindow : public UiTest
{
protected:
    static void SetUpTestSuite()
    {
        // The progress server answers the test members (pressing Cancel) only when asked to.
        qputenv("DROMALE_TEST_HOOKS", "1");
        s_process = new QVNProcess;
        ASSERT_TRUE(s_process->Create(QStringLiteral(QUORVIN_APP_DIR))) << qPrintable(s_process->LastError());
    }
    static void TearDownTestSuite()
    {
        delete s_process;
        s_process = nullptr;
    }

    void SetUp() override
    {
        UiTest::SetUp();
        Frm_Build::SetFolderOpener([this](const QString& folder) { m_opened << folder; });
        Frm_Build::SetPageViewer([this](const QString& page, QWidget*) { m_pages << page; });
    }
    void TearDown() override
    {
        Frm_Build::SetFolderOpener({});
        Frm_Build::SetPageViewer({});
        UiTest::TearDown();
    }

    /// Packs the test model (optionally after `edit` changed its source) into the models folder.
    QString PackModel(const QString& name, const std::function<void(const QString&)>& edit = {})
    {
        const QString source = m_dir.file(QStringLiteral("src/") + name);
        EXPECT_TRUE(copyTree(kModelSource, source));
        if (edit)
            edit(source);
        QVNZIP zip;
        const QString package = Mdl_Main::ModelPath + name + QStringLiteral(".qvnm");
        EXPECT_TRUE(zip.PackageFolder(package, QVNModel::ModelPassword(), source))
            << qPrintable(zip.Exceptions.ToString());
        return package;
    }

    /// The sample project's tables as the main window hands them over.
    void CollectSample(Frm_Build& dialog)
    {
        QVNBuildCollector collector;
        TQXRowsPtr tables;
        TQXColsPtr vars;
        QString folder;
        ASSERT_TRUE(collector.Collect(SampleProject(), {}, tables, vars, folder))
            << qPrintable(collector.Exceptions.ToString());
        dialog.ClearVariable();
        for (const TQXColPtr& col : *vars)
            dialog.AddVariable(col->Value().ToText(), col->Key());
        dialog.SetConvertDatas(tables);
        m_tableCount = tables->Count();
    }

    static void SelectModel(Frm_Build& dialog, const QString& name)
    {
        auto* list = dialog.findChild<QComboBox*>(QStringLiteral("Cbo_Model"));
        ASSERT_NE(list, nullptr);
        const int index = list->findText(name, Qt::MatchStartsWith);
        ASSERT_GE(index, 0) << qPrintable(name);
        list->setCurrentIndex(index);
    }

    static QAbstractItemModel* Grid(Frm_Build& dialog)
    {
        return dialog.findChild<QTableView*>(QStringLiteral("Spd_Data"))->model();
    }

    static int GridRow(Frm_Build& dialog, const QString& key)
    {
        QAbstractItemModel* grid = Grid(dialog);
        for (int r = 0; r < grid->rowCount(); ++r)
            if (grid->index(r, 2).data().toString() == key)
                return r;
        return -1;
    }

    static inline QVNProcess* s_process = nullptr;
    QStringList m_opened;
    QStringList m_pages;
    int m_tableCount = 0;
};
} // namespace

TEST_F(BuildWindow, ModelEntriesAreCutToOneHundredCharactersBeforeTheKey)
{
    const QString longName(130, QLatin1Char('x'));
    const QString entry = Frm_Build::ModelEntry(longName, QStringLiteral("1.0"), QStringLiteral("MODEL_12"));
    EXPECT_EQ(entry.size(), 108);
    EXPECT_EQ(Frm_Build::ModelKey(entry), QStringLiteral("MODEL_12"));
    const QString shortEntry =
        Frm_Build::ModelEntry(QStringLiteral("Web"), QStringLiteral("2"), QStringLiteral("MODEL_3"));
    EXPECT_EQ(shortEntry.left(19), QStringLiteral("Web    (Version: 2)"));
    EXPECT_EQ(Frm_Build::ModelKey(shortEntry), QStringLiteral("MODEL_3"));

    // In the window the key is never part of what is shown.
    PackModel(QStringLiteral("a_vars"));
    PackModel(QStringLiteral("b_long"), [&](const QString& source) {
        QString info = readFile(source + QStringLiteral("/model_info.qvns"));
        info.replace(QStringLiteral("Variables test model"), longName);
        QFile f(source + QStringLiteral("/model_info.qvns"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(info.toUtf8());
    });
    Frm_Build dialog(nullptr, s_process);
    auto* list = dialog.findChild<QComboBox*>(QStringLiteral("Cbo_Model"));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), QStringLiteral("Variables test model    (Version: 2.1)"));
    EXPECT_EQ(list->itemText(1), longName.left(100));
    EXPECT_EQ(Frm_Build::ModelKey(list->itemData(1).toString()), QStringLiteral("MODEL_2"));
}

TEST_F(BuildWindow, KeyboardAloneBuildsAndClosesAndEscapeOnTheOpenListOnlyClosesTheList)
{
    PackModel(QStringLiteral("vars"));
    Frm_Build dialog(nullptr, s_process);
    ASSERT_NO_FATAL_FAILURE(CollectSample(dialog));
    const QString out = m_dir.file(QStringLiteral("keys"));
    dialog.SetFolder(out);
    auto showActive = [&dialog] {
        dialog.show();
        dialog.activateWindow();
        return QTest::qWaitForWindowActive(&dialog);
    };
    ASSERT_TRUE(showActive());

    // Enter in the folder box builds; the folder button is no default button.
    auto* folder = dialog.findChild<QLineEdit*>(QStringLiteral("Txt_Folder"));
    auto* browse = dialog.findChild<QPushButton*>(QStringLiteral("Cmd_OutPath"));
    EXPECT_FALSE(browse->isDefault() || browse->autoDefault());
    folder->setFocus();
    QTest::keyClick(folder, Qt::Key_Return);
    EXPECT_EQ(m_opened, QStringList{out + QLatin1Char('/')}) << qPrintable(m_messages.join(QLatin1Char('\n')));
    // Alt+B builds again from anywhere in the dialog, Alt+C closes it.
    auto* list = dialog.findChild<QComboBox*>(QStringLiteral("Cbo_Model"));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(m_opened.size(), 2);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(list, Qt::Key_C, Qt::AltModifier);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.DialogResult(), 0);

    // Escape on the open model list closes the list, not the dialog; then it closes the dialog.
    ASSERT_TRUE(showActive());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    QTest::keyClick(popup, Qt::Key_Escape);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(BuildWindow, OkMnemonicWorksInTheConnectionConversionAndChoiceDialogs)
{
    Frm_Open open;
    Frm_Convert convert;
    Frm_Choose choose;
    for (QDialog* dialog : std::initializer_list<QDialog*>{&open, &convert, &choose}) {
        SCOPED_TRACE(qPrintable(dialog->objectName()));
        auto* ok = dialog->findChild<QAction*>(QStringLiteral("ok"));
        ASSERT_NE(ok, nullptr);
        int pressed = 0;
        QObject::connect(ok, &QAction::triggered, [&pressed] { ++pressed; });
        if (dialog == &open)
            open.LoadFields(); // where the connection dialog takes its captions
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        QTest::keyClick(dialog, Qt::Key_O, Qt::AltModifier);
        EXPECT_EQ(pressed, 1);
        dialog->hide();
    }
}

TEST_F(BuildWindow, PackageThatCannotBeOpenedIsListedDisabledWithTheReason)
{
    PackModel(QStringLiteral("b_good"));
    QFile broken(Mdl_Main::ModelPath + QStringLiteral("a_broken.qvnm"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a zip archive");
    broken.close();
    Frm_Build dialog(nullptr, s_process);
    auto* list = dialog.findChild<QComboBox*>(QStringLiteral("Cbo_Model"));
    ASSERT_EQ(list->count(), 2);
    // The usable model comes first and is chosen; the broken one says why and cannot be picked.
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_TRUE(list->itemText(0).startsWith(QStringLiteral("Variables test model")));
    EXPECT_TRUE(list->itemText(1).startsWith(QStringLiteral("a_broken.qvnm  (cannot be opened: ")))
        << qPrintable(list->itemText(1));
    EXPECT_GT(list->itemText(1).size(), QStringLiteral("a_broken.qvnm  (cannot be opened: )").size());
    auto* items = qobject_cast<QStandardItemModel*>(list->model());
    ASSERT_NE(items, nullptr);
    EXPECT_FALSE(items->item(1)->isEnabled());
    EXPECT_TRUE(Frm_Build::ModelKey(list->itemData(1).toString()).isEmpty());
}

TEST_F(BuildWindow, VariablesGetEditorsByTypeDefaultsExpandedAndReadOnlyRowsLocked)
{
    PackModel(QStringLiteral("vars"));
    Frm_Build dialog(nullptr, s_process);
    dialog.AddVariable(QStringLiteral("Shop"), QStringLiteral("P_NAME"));
    SelectModel(dialog, QStringLiteral("Variables test model"));
    auto* view = dialog.findChild<QTableView*>(QStringLiteral("Spd_Data"));
    QAbstractItemModel* grid = view->model();
    ASSERT_EQ(grid->rowCount(), 5);
    EXPECT_TRUE(view->isColumnHidden(2)) << "the key column is not for the user";

    // Defaults are expanded with the variables the main window adds after making the dialog.
    EXPECT_EQ(grid->index(GridRow(dialog, QStringLiteral("MV_TITLE")), 1).data().toString(),
              QStringLiteral("Orders of Shop"));
    const int day = GridRow(dialog, QStringLiteral("MV_DAY"));
    EXPECT_EQ(grid->index(day, 1).data().toString(), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    EXPECT_EQ(grid->index(day, 0).data().toString(), QStringLiteral("Day"));

    auto editorFor = [&](const QString& key) -> QWidget* {
        const QModelIndex index = grid->index(GridRow(dialog, key), 1);
        QStyleOptionViewItem option;
        return view->itemDelegateForColumn(1)->createEditor(view->viewport(), option, index);
    };
    std::unique_ptr<QWidget> date(editorFor(QStringLiteral("MV_DAY")));
    ASSERT_NE(qobject_cast<QDateEdit*>(date.get()), nullptr) << "type d, any case";
    EXPECT_EQ(qobject_cast<QDateEdit*>(date.get())->displayFormat(), QStringLiteral("yyyy-MM-dd"));
    std::unique_ptr<QWidget> number(editorFor(QStringLiteral("MV_WIDTH")));
    auto* numberEdit = qobject_cast<QLineEdit*>(number.get());
    ASSERT_NE(numberEdit, nullptr);
    QString typed = QStringLiteral("12a");
    int pos = 0;
    EXPECT_EQ(numberEdit->validator()->validate(typed, pos), QValidator::Invalid);
    std::unique_ptr<QWidget> memo(editorFor(QStringLiteral("MV_NOTE")));
    EXPECT_NE(qobject_cast<QPlainTextEdit*>(memo.get()), nullptr);
    EXPECT_GE(view->rowHeight(GridRow(dialog, QStringLiteral("MV_NOTE"))), 50);

    const QModelIndex fixed = grid->index(GridRow(dialog, QStringLiteral("MV_FIXED")), 1);
    EXPECT_FALSE(grid->flags(fixed) & Qt::ItemIsEditable);
    EXPECT_FALSE(grid->setData(fixed, QStringLiteral("changed")));
    EXPECT_TRUE(grid->data(fixed, Qt::BackgroundRole).isValid());
    EXPECT_TRUE(grid->flags(grid->index(day, 1)) & Qt::ItemIsEditable);
}

TEST_F(BuildWindow, BuildOverTheSampleWritesFilesFillsTheReadmeAndOpensTheFolder)
{
    PackModel(QStringLiteral("vars"));
    Frm_Build dialog(nullptr, s_process);
    ASSERT_NO_FATAL_FAILURE(CollectSample(dialog));
    SelectModel(dialog, QStringLiteral("Variables test model"));
    QAbstractItemModel* grid = Grid(dialog);
    ASSERT_TRUE(grid->setData(grid->index(GridRow(dialog, QStringLiteral("MV_WIDTH")), 1), QStringLiteral("40")));
    const QString out = m_dir.file(QStringLiteral("result"));
    dialog.SetFolder(out);

    ASSERT_TRUE(dialog.Build()) << qPrintable(m_messages.join(QLatin1Char('\n')));
    EXPECT_TRUE(m_messages.isEmpty()) << qPrintable(m_messages.join(QLatin1Char('\n')));
    const QString text = readFile(out + QStringLiteral("/tables.txt"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("# Orders of Sample order management"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("width=40\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("note=first line\nsecond line\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("fixed=kept as shipped\n")));
    EXPECT_EQ(text.count(QStringLiteral("table=")), m_tableCount);
    EXPECT_GT(m_tableCount, 5);
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("/assets/logo.png")));

    // The read-me: one line per main message in the plain log, none left open at its end.
    ASSERT_EQ(m_pages, QStringList{out + QStringLiteral("/readme.html")});
    const QString page = readFile(m_pages.first());
    const QString log = dialog.Log();
    ASSERT_TRUE(log.endsWith(QStringLiteral("\r\n")));
    QString plain = log.chopped(2);
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_TRUE(page.contains(QStringLiteral("<pre id=\"plain\">") + plain + QStringLiteral("</pre>")))
        << qPrintable(page);
    EXPECT_EQ(page.count(QStringLiteral("<LI>")), log.count(QStringLiteral("\r\n")));
    EXPECT_EQ(m_opened, QStringList{out + QLatin1Char('/')});

    // A second build from the same dialog starts with a fresh log.
    ASSERT_TRUE(dialog.Build());
    EXPECT_EQ(dialog.Log(), log);
    EXPECT_EQ(m_opened.size(), 2);
}

TEST_F(BuildWindow, CancelInTheProgressWindowStopsTheBuildAndSaysSo)
{
    PackModel(QStringLiteral("vars"));
    Frm_Build dialog(nullptr, s_process);
    ASSERT_NO_FATAL_FAILURE(CollectSample(dialog));
    // Enough tables that the build is still running well after Cancel was pressed.
    const TQXRowsPtr sample = dialog.ConvertDatas();
    auto many = TQXRows::Create();
    many->SetTag(QStringLiteral("TABLES"));
    for (int i = 0; i < 400; ++i) {
        auto cols = TQXCols::Create();
        cols->Copy(sample->Item(i % sample->Count() + 1)->Cols());
        many->Add(cols, QStringLiteral("T%1").arg(i));
    }
    dialog.SetConvertDatas(many);
    dialog.SetFolder(m_dir.file(QStringLiteral("cancelled")));
    // The user presses Cancel in the progress server's window once the build is under way.
    QString clickError;
    QTimer::singleShot(0, [&] {
        s_process->Object().Call(QStringLiteral("TestClickCancel"));
        clickError = s_process->LastError();
    });
    EXPECT_FALSE(dialog.Build());
    EXPECT_EQ(clickError, QString());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.first().startsWith(QStringLiteral("0|Generation did not finish (cancelled or failed).|")))
        << qPrintable(m_messages.first());
    EXPECT_TRUE(dialog.Log().endsWith(QStringLiteral("Generation did not finish (cancelled or failed).\r\n")));
    EXPECT_TRUE(m_pages.isEmpty());
    EXPECT_TRUE(m_opened.isEmpty());
}

TEST_F(BuildWindow, FailedBuildShowsFailureWithTheCauseAndMissingModelIsRefused)
{
    PackModel(QStringLiteral("broken"), [](const QString& source) {
        // A target outside the output folder is refused and fails the build.
        QString files = readFile(source + QStringLiteral("/model_file.qvns"));
        files.replace(QStringLiteral("<MF_TO>tables.txt</MF_TO>"), QStringLiteral("<MF_TO>../tables.txt</MF_TO>"));
        QFile f(source + QStringLiteral("/model_file.qvns"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(files.toUtf8());
    });
    Frm_Build dialog(nullptr, s_process);
    dialog.SetFolder(m_dir.file(QStringLiteral("failed")));
    EXPECT_FALSE(dialog.Build());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.first().startsWith(QStringLiteral("0|Generation did not finish")));
    EXPECT_TRUE(m_messages.first().contains(QStringLiteral("tables.txt"))) << qPrintable(m_messages.first());
    EXPECT_TRUE(m_opened.isEmpty());

    // An empty models folder: nothing to select, nothing built, and the user is told why.
    QFile::remove(Mdl_Main::ModelPath + QStringLiteral("broken.qvnm"));
    m_messages.clear();
    Frm_Build empty(nullptr, s_process);
    EXPECT_FALSE(empty.Build());
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("0|Choose a model first.|")});
}

TEST_F(BuildWindow, OutputFolderThatCannotBeMadeFallsBackToTheApplicationFolder)
{
    PackModel(QStringLiteral("vars"));
    const QString blocker = m_dir.file(QStringLiteral("plainfile"));
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    Frm_Build dialog(nullptr, s_process);
    dialog.SetFolder(blocker + QStringLiteral("/sub"));
    ASSERT_TRUE(dialog.Build());
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("Txt_Folder"))->text(), m_appPath + QStringLiteral("out/"));
    EXPECT_TRUE(QFile::exists(m_appPath + QStringLiteral("out/tables.txt")));
}

TEST_F(BuildWindow, ReadmeBrowserShowsThePageAndSendsOutsideLinksToTheDesktop)
{
    const QString folder = m_dir.file(QStringLiteral("page"));
    ASSERT_TRUE(copyTree(kModelSource, folder));
    QList<QUrl> followed;
    Frm_IE::SetLinkOpener([&](const QUrl& url) { followed << url; });
    Frm_IE window;
    window.OpenFile(folder + QStringLiteral("/readme.html"));
    auto* web = window.findChild<QTextBrowser*>(QStringLiteral("WEB_1"));
    ASSERT_NE(web, nullptr);
    EXPECT_TRUE(web->toPlainText().contains(QStringLiteral("Read me")));
    EXPECT_FALSE(
        web->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("assets/logo.png"))).isNull());
    emit web->anchorClicked(QUrl(QStringLiteral("#log")));
    EXPECT_TRUE(followed.isEmpty()) << "a link inside the page scrolls";
    emit web->anchorClicked(QUrl(QStringLiteral("https://www.pellmar.example/models")));
    ASSERT_EQ(followed.size(), 1);
    EXPECT_EQ(followed.first().toString(), QStringLiteral("https://www.pellmar.example/models"));
    window.OpenFile(QString()); // ignored
    Frm_IE::SetLinkOpener({});
}

TEST_F(BuildWindow, ReadmeWindowClosesWithItsButtonAndDialogsKeepTheirSize)
{
    {
        Frm_IE window;
        window.show();
        auto* close = window.findChild<QPushButton*>(QStringLiteral("Cmd_Close"));
        ASSERT_NE(close, nullptr);
        EXPECT_EQ(close->text(), QStringLiteral("&Close"));
        window.resize(610, 430);
        close->click();
        EXPECT_FALSE(window.isVisible());
    }
    // The next window of the same kind opens at the size the user left, another kind does not.
    Frm_IE again;
    EXPECT_EQ(again.size(), QSize(610, 430));
    Frm_Build build(nullptr, s_process);
    EXPECT_NE(build.size(), QSize(610, 430));
    // A stored size larger than the screen is cut to it.
    again.resize(100000, 100000);
    again.show();
    again.hide();
    Frm_IE huge;
    EXPECT_LE(huge.width(), huge.screen()->availableSize().width());
}

TEST_F(BuildWindow, PackagingTwoFoldersMakesPackagesThatOpenOnlyWithTheirPassword)
{
    const QString parent = m_dir.file(QStringLiteral("authoring"));
    ASSERT_TRUE(copyTree(kModelSource, parent + QStringLiteral("/A")));
    ASSERT_TRUE(copyTree(kModelSource, parent + QStringLiteral("/B")));
    ASSERT_TRUE(copyTree(kModelSource, parent + QStringLiteral("/C")));
    // A package already there is replaced by the new one as a whole.
    QFile old(parent + QStringLiteral("/A.qvnm"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x'));
    old.close();

    Frm_Package window;
    window.SetFolder(parent);
    window.SelectFolders({QStringLiteral("A"), QStringLiteral("B")});
    ASSERT_TRUE(window.Package()) << qPrintable(m_messages.join(QLatin1Char('\n')));
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("2|The model has been packed.|")});
    QVNModel model;
    for (const char* name : {"A", "B"}) {
        const TQXColsPtr info =
            model.GetModelInfo(parent + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".qvnm"));
        ASSERT_TRUE(info) << name << qPrintable(model.Exceptions.ToString());
        EXPECT_EQ(info->Text(QStringLiteral("MI_NAME")), QStringLiteral("Variables test model"));
    }
    EXPECT_FALSE(QFile::exists(parent + QStringLiteral("/C.qvnm")));

    window.findChild<QLineEdit*>(QStringLiteral("Txt_Pwd"))->setText(QStringLiteral("another"));
    window.SelectFolders({QStringLiteral("C")});
    ASSERT_TRUE(window.Package());
    EXPECT_FALSE(model.GetModelInfo(parent + QStringLiteral("/C.qvnm"))) << "the build's password does not open it";
}

TEST_F(BuildWindow, PackagingReportsEveryFailedFolderAndAnEmptySelection)
{
    const QString parent = m_dir.file(QStringLiteral("authoring"));
    QDir().mkpath(parent + QStringLiteral("/empty1"));
    QDir().mkpath(parent + QStringLiteral("/empty2"));
    ASSERT_TRUE(copyTree(kModelSource, parent + QStringLiteral("/good")));
    Frm_Package window;
    window.SetFolder(parent);

    window.SelectFolders({});
    EXPECT_FALSE(window.Package());
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("0|Choose at least one folder to pack.|")});

    m_messages.clear();
    window.SelectFolders({QStringLiteral("empty1"), QStringLiteral("good"), QStringLiteral("empty2")});
    EXPECT_FALSE(window.Package());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages.first().startsWith(QStringLiteral("0|The model could not be packed.|")));
    EXPECT_TRUE(m_messages.first().contains(QStringLiteral("empty1")));
    EXPECT_TRUE(m_messages.first().contains(QStringLiteral("empty2")));
    EXPECT_TRUE(QFile::exists(parent + QStringLiteral("/good.qvnm"))) << "a failure does not stop the others";

    m_messages.clear();
    window.findChild<QLineEdit*>(QStringLiteral("Txt_ExtName"))->setText(QStringLiteral("../../escaped"));
    window.SelectFolders({QStringLiteral("good")});
    EXPECT_FALSE(window.Package());
    EXPECT_FALSE(QFile::exists(m_dir.file(QStringLiteral("escaped"))));
}

TEST_F(BuildWindow, ConversionWindowConvertsItsTextInPlace)
{
    Frm_UML window;
    auto* text = window.findChild<QPlainTextEdit*>(QStringLiteral("Txt_File"));
    ASSERT_NE(text, nullptr);
    text->setPlainText(
        QStringLiteral("(object Class \"Tb_Test\"\n    quid \"3A1B\"\n    supplier \"x\" quidu \"3A1B\")"));
    window.Convert();
    EXPECT_EQ(text->toPlainText(),
              QStringLiteral("(object Class \"<ORVE>TL_NAME</ORVE>\"\n"
                             "    quid \"<ORVE>RVG_HEXTIME</ORVE>001\"\n"
                             "    supplier \"<ORVE>RVG_HEXTIME</ORVE>002\" quidu \"<ORVE>RVG_HEXTIME</ORVE>001\")"));
    EXPECT_EQ(window.Identifiers()->Count(), 2) << "the quidu line's first quotes hold \"x\"";
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("2|Conversion complete.|")});
}

TEST_F(BuildWindow, ToolsMenuOpensThePackagingAndConversionWindows)
{
    Frm_Database main;
    for (const auto& [action, window] :
         {std::pair{"Mnu_Tool_Package", "Frm_Package"}, std::pair{"Mnu_Tool_UML", "Frm_UML"}}) {
        auto* command = main.findChild<QAction*>(QLatin1String(action));
        ASSERT_NE(command, nullptr) << action;
        EXPECT_TRUE(command->isEnabled()) << action;
        QString opened;
        QTimer::singleShot(0, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = modal->objectName();
                modal->close();
            }
        });
        command->trigger();
        EXPECT_EQ(opened, QLatin1String(window));
    }
}

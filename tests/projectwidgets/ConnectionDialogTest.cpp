// The connection dialog and the connection-string editor, driven through their controls.
#include "Frm_Connection.h"
#include "Frm_Open.h"
#include "MariaDbServer.h"
#include "Mdl_Main.h"
#include "ProjectTestSupport.h"
#include "WidgetTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

class ConnectionDialogTest : public WidgetTest
{
protected:
    template <class T> static T* Child(QWidget& w, const char* name) { return w.findChild<T*>(QLatin1String(name)); }
    static QLineEdit* Box(QWidget& w, const char* name) { return Child<QLineEdit>(w, name); }
    static bool WaitForTest(Frm_Connection& editor)
    {
        QElapsedTimer t;
        t.start();
        while (editor.Testing() && t.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        return !editor.Testing();
    }
};

TEST_F(ConnectionDialogTest, RequiredFieldsAreListedInOrderAndNumbered)
{
    Frm_Open dialog;
    dialog.P_NO = QStringLiteral("7");
    dialog.LoadFields();
    EXPECT_FALSE(dialog.Changed());
    EXPECT_EQ(Box(dialog, "Txt_P_PATH")->text(), Mdl_Main::OutPath) << "no saved path shows the output folder";
    EXPECT_EQ(Box(dialog, "Txt_P_PWD")->echoMode(), QLineEdit::Password);

    Box(dialog, "Txt_P_NO")->clear();
    Box(dialog, "Txt_P_NAME")->setText(QStringLiteral("   "));
    EXPECT_TRUE(dialog.Changed());
    dialog.findChild<QAction*>(QStringLiteral("ok"))->trigger();
    EXPECT_EQ(dialog.DialogResult(), 0);
    EXPECT_EQ(dialog.Problems(), QStringLiteral("1) [Project number] must not be empty\r\n"
                                                "2) [Project name] must not be empty\r\n"
                                                "3) [Connection string] must not be empty\r\n"));
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("0|Please complete the project settings.|1) [")));
    EXPECT_EQ(dialog.P_NO, QStringLiteral("7")) << "nothing is taken over before the form is complete";

    // Complete: the trimmed values are taken over; user, password and path may be empty.
    Box(dialog, "Txt_P_NO")->setText(QStringLiteral(" 8 "));
    Box(dialog, "Txt_P_NAME")->setText(QStringLiteral("Shop"));
    Box(dialog, "Txt_P_DATABASE")->setText(QStringLiteral(" DSN=x; "));
    Box(dialog, "Txt_P_PATH")->clear();
    EXPECT_TRUE(dialog.Confirm());
    EXPECT_EQ(dialog.DialogResult(), 1);
    EXPECT_EQ(dialog.P_NO, QStringLiteral("8"));
    EXPECT_EQ(dialog.P_DATABASE, QStringLiteral("DSN=x;"));
    EXPECT_EQ(dialog.P_PATH, QString());

    // Loading again starts unchanged and without a result.
    dialog.LoadFields();
    EXPECT_FALSE(dialog.Changed());
    EXPECT_EQ(dialog.DialogResult(), 0);
    dialog.findChild<QAction*>(QStringLiteral("exit"))->trigger();
    EXPECT_EQ(dialog.DialogResult(), 0);
}

TEST_F(ConnectionDialogTest, CancelledEditorLeavesTheStringAlone)
{
    Frm_Open dialog;
    dialog.P_DATABASE = QStringLiteral("DSN=kept;");
    dialog.LoadFields();
    QString startedOn;
    dialog.SetEditor([&](QWidget*, const QString& s) {
        startedOn = s;
        return QString();
    });
    Child<QPushButton>(dialog, "Cmd_OleDB")->click();
    EXPECT_EQ(startedOn, QStringLiteral("DSN=kept;"));
    EXPECT_EQ(Box(dialog, "Txt_P_DATABASE")->text(), QStringLiteral("DSN=kept;"));
    EXPECT_FALSE(dialog.Changed());

    dialog.SetEditor([](QWidget*, const QString&) { return QStringLiteral("DSN=new;"); });
    Child<QPushButton>(dialog, "Cmd_OleDB")->click();
    EXPECT_EQ(Box(dialog, "Txt_P_DATABASE")->text(), QStringLiteral("DSN=new;"));
    EXPECT_TRUE(dialog.Changed());
}

TEST_F(ConnectionDialogTest, EditorReadsFieldsPerDriverAndKeepsUnknownKeys)
{
    Frm_Connection editor;
    // A server driver: server, port and database; unknown options come back in their places.
    editor.Start(QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=db.local;Port=5433;Database=shop;"
                                "BoolsAsChar=0;Database2={a;b};"),
                 QStringLiteral("ann"), QStringLiteral("secret"));
    EXPECT_TRUE(Child<QRadioButton>(editor, "RB_Driver")->isChecked());
    EXPECT_EQ(Box(editor, "Txt_Server")->text(), QStringLiteral("db.local"));
    EXPECT_EQ(Box(editor, "Txt_Port")->text(), QStringLiteral("5433"));
    EXPECT_EQ(Box(editor, "Txt_Database")->text(), QStringLiteral("shop"));
    EXPECT_FALSE(Box(editor, "Txt_File")->isVisibleTo(&editor));
    EXPECT_EQ(Box(editor, "Txt_Options")->text(), QStringLiteral("BoolsAsChar=0;Database2={a;b};"));
    EXPECT_EQ(editor.ConnectionString(),
              QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=db.local;Port=5433;Database=shop;"
                             "BoolsAsChar=0;Database2={a;b};"));
    // The password stays out of the string unless asked for, and is never shown in clear.
    Box(editor, "Txt_Port")->setText(QStringLiteral("6000"));
    EXPECT_FALSE(editor.ConnectionString().contains(QStringLiteral("secret")));
    Child<QCheckBox>(editor, "Chk_SavePassword")->setChecked(true);
    EXPECT_TRUE(editor.ConnectionString().endsWith(QStringLiteral("UID=ann;PWD=secret;")));
    EXPECT_FALSE(Box(editor, "Txt_Result")->text().contains(QStringLiteral("secret")));

    // A file driver: the database file.
    editor.Start(SampleConnection(), QString(), QString());
    EXPECT_EQ(Box(editor, "Txt_File")->text(), SampleDatabase());
    EXPECT_TRUE(Box(editor, "Txt_File")->isVisibleTo(&editor));
    EXPECT_EQ(editor.ConnectionString(), SampleConnection());

    // A data source by name; a password written into the string ticks the box.
    editor.Start(QStringLiteral("DSN=Shop Data;UID=bob;PWD={p;w};"), QString(), QString());
    EXPECT_TRUE(Child<QRadioButton>(editor, "RB_DSN")->isChecked());
    EXPECT_TRUE(Child<QCheckBox>(editor, "Chk_SavePassword")->isChecked());
    EXPECT_EQ(editor.Password(), QStringLiteral("p;w"));
    EXPECT_EQ(editor.ConnectionString(), QStringLiteral("DSN=Shop Data;UID=bob;PWD={p;w};"));

    // A string that cannot be read starts a new connection and says why.
    editor.Start(QStringLiteral("DSN={broken"), QString(), QString());
    EXPECT_FALSE(editor.TestMessage().isEmpty());
    EXPECT_FALSE(editor.ConnectionString().contains(QStringLiteral("broken")));
}

TEST_F(ConnectionDialogTest, TestConnectReportsTheDriversAnswerWithoutBlocking)
{
    Frm_Connection editor;
    editor.Start(SampleConnection(), QString(), QString());
    ASSERT_TRUE(editor.StartTest());
    EXPECT_FALSE(editor.StartTest()) << "one test at a time";
    ASSERT_TRUE(WaitForTest(editor));
    EXPECT_TRUE(editor.LastTestSucceeded()) << editor.TestMessage().toStdString();
    EXPECT_TRUE(editor.TestMessage().contains(QStringLiteral("SQLite"))) << editor.TestMessage().toStdString();

    editor.Start(QStringLiteral("DRIVER={SQLite3};Database=/nonexistent/q/none.db;NoCreat=1;"), QString(), QString());
    ASSERT_TRUE(editor.StartTest());
    ASSERT_TRUE(WaitForTest(editor));
    EXPECT_FALSE(editor.LastTestSucceeded());
    EXPECT_TRUE(editor.TestMessage().startsWith(QStringLiteral("The connection failed:")));
    EXPECT_GT(editor.TestMessage().size(), QStringLiteral("The connection failed: ").size())
        << "the driver's own message follows";

    const QString problem = Pg::Problem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    editor.Start(Pg::ConnectionString(QStringLiteral("postgres")), QString(), QString());
    EXPECT_EQ(Box(editor, "Txt_Database")->text(), QStringLiteral("postgres"));
    ASSERT_TRUE(editor.StartTest());
    ASSERT_TRUE(WaitForTest(editor));
    EXPECT_TRUE(editor.LastTestSucceeded()) << editor.TestMessage().toStdString();
    EXPECT_TRUE(editor.TestMessage().contains(QStringLiteral("PostgreSQL"))) << editor.TestMessage().toStdString();
}

TEST_F(ConnectionDialogTest, MariaDbServerIsReachedThroughItsSocketOrItsPortAndTested)
{
    const QString problem = Maria::Problem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    QString error, name;
    ASSERT_FALSE(Maria::CreateDatabase(QStringLiteral("create table t (id int primary key);"), error, &name).isEmpty())
        << error.toStdString();
    Frm_Connection editor;
    for (const bool overTcp : {false, true}) {
        SCOPED_TRACE(overTcp ? "port" : "socket");
        const QString given = Maria::ConnectionString(name, overTcp);
        editor.Start(given, QString(), QString());
        EXPECT_EQ(Child<QComboBox>(editor, "Cbo_Driver")->currentText(), QStringLiteral("MariaDB Unicode"));
        EXPECT_TRUE(Box(editor, "Txt_Socket")->isVisibleTo(&editor));
        EXPECT_EQ(Box(editor, "Txt_Database")->text(), name);
        EXPECT_EQ(Box(editor, "Txt_Socket")->text().isEmpty(), overTcp);
        EXPECT_EQ(Box(editor, "Txt_Port")->text().isEmpty(), !overTcp);
        // What the fields make again reaches the same server; user and password come from their boxes.
        ASSERT_TRUE(editor.StartTest());
        ASSERT_TRUE(WaitForTest(editor));
        EXPECT_TRUE(editor.LastTestSucceeded()) << editor.TestMessage().toStdString();
        EXPECT_TRUE(editor.TestMessage().contains(QStringLiteral("MariaDB"), Qt::CaseInsensitive) ||
                    editor.TestMessage().contains(QStringLiteral("MySQL"), Qt::CaseInsensitive))
            << editor.TestMessage().toStdString();
    }
    // The socket is MariaDB's and MySQL's: another server driver neither shows nor writes it.
    Box(editor, "Txt_Socket")->setText(QStringLiteral("/run/mysqld/mysqld.sock"));
    EXPECT_TRUE(editor.ConnectionString().contains(QStringLiteral("Socket=/run/mysqld/mysqld.sock;")));
    Child<QComboBox>(editor, "Cbo_Driver")->setCurrentText(QStringLiteral("PostgreSQL Unicode"));
    EXPECT_FALSE(Box(editor, "Txt_Socket")->isVisibleTo(&editor));
    EXPECT_FALSE(editor.ConnectionString().contains(QStringLiteral("Socket="), Qt::CaseInsensitive));
}

} // namespace

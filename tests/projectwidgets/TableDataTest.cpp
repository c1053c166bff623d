// The table data viewer against the SQLite sample and the PostgreSQL fixture server.
#include "Frm_TableData.h"
#include "ProjectTestSupport.h"
#include "QVNDatabase.h"
#include "WidgetTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <QToolBar>

namespace {

class TableDataTest : public WidgetTest
{
protected:
    static QString Statement(Frm_TableData& w)
    {
        return w.findChild<QPlainTextEdit*>(QStringLiteral("Txt_SQL"))->toPlainText();
    }
    static void SetStatement(Frm_TableData& w, const QString& sql)
    {
        w.findChild<QPlainTextEdit*>(QStringLiteral("Txt_SQL"))->setPlainText(sql);
    }
    /// Shows the window and lets its timer run the first statement.
    static void ShowAndRun(Frm_TableData& w)
    {
        w.LoadWindow();
        w.show();
        QElapsedTimer t;
        t.start();
        while (w.RowCount() == 0 && w.ColumnCount() == 0 && t.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
};

TEST_F(TableDataTest, OpensTheTableRunsStatementsAndReportsARefusedOneOnce)
{
    QVNDatabase db;
    db.AdoConnectString = SampleConnection();
    Frm_TableData viewer;
    viewer.mObj_QVNDatabase = &db;
    viewer.TableName = QStringLiteral("categories");
    ShowAndRun(viewer);
    EXPECT_EQ(Statement(viewer), QStringLiteral("select * from categories"));
    EXPECT_GT(viewer.RowCount(), 0);
    EXPECT_GT(viewer.ColumnCount(), 1);
    // Columns are sized to their contents: a long column is wider than an id column.
    auto* grid = viewer.findChild<QTableView*>(QStringLiteral("Spd_Data"));
    EXPECT_GE(grid->columnWidth(1), grid->fontMetrics().horizontalAdvance(viewer.Cell(1, 2)));
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('\n')).toStdString();

    SetStatement(viewer, QStringLiteral("select * from no_such_table"));
    EXPECT_FALSE(viewer.Execute());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("0|The statement failed.|")));
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("no_such_table"))) << "the driver's own message";
    EXPECT_EQ(viewer.RowCount(), 0);
    EXPECT_EQ(viewer.ColumnCount(), 0);
    EXPECT_TRUE(viewer.findChild<QPlainTextEdit*>(QStringLiteral("Txt_SQL"))->isEnabled());

    // A statement without rows shows only the column titles.
    SetStatement(viewer, QStringLiteral("select * from categories where 1 = 0"));
    EXPECT_TRUE(viewer.Execute());
    EXPECT_EQ(viewer.RowCount(), 0);
    EXPECT_GT(viewer.ColumnCount(), 1);
}

TEST_F(TableDataTest, ALongStatementKeepsTheWindowServedAndCancelStopsItOnTheServer)
{
    QVNDatabase db;
    db.AdoConnectString = Pg::ConnectionString(QStringLiteral("postgres"));
    Frm_TableData viewer;
    viewer.mObj_QVNDatabase = &db;
    viewer.LoadWindow();
    viewer.show();
    SetStatement(viewer, QStringLiteral("select pg_sleep(30)"));
    auto* cancelAction = viewer.findChild<QAction*>(QStringLiteral("cancel"));
    ASSERT_NE(cancelAction, nullptr);
    // While the server sleeps, the window's own timers keep firing and Cancel is offered; the
    // Cancel button then ends the statement on the server.
    int ticks = 0;
    QString busyStatus;
    bool cancelOffered = false;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (++ticks == 10) {
            busyStatus = viewer.StatusText();
            cancelOffered = cancelAction->isEnabled();
            cancelAction->trigger();
        }
    });
    tick.start(50);
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(viewer.Execute());
    const qint64 took = t.elapsed();
    EXPECT_TRUE(viewer.LastReadCanceled());
    EXPECT_GE(ticks, 10);
    EXPECT_TRUE(cancelOffered);
    EXPECT_TRUE(busyStatus.startsWith(QStringLiteral("Executing"))) << busyStatus.toStdString();
    EXPECT_LT(took, 3000);
    EXPECT_EQ(viewer.StatusText().left(24), QStringLiteral("Cancelled after 0 rows ("))
        << viewer.StatusText().toStdString();
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(QLatin1Char('\n')).toStdString();

    // Escape (or closing the window) while a statement runs stops it and keeps the window.
    viewer.SetCancelCheck([&] {
        viewer.reject();
        return false;
    });
    EXPECT_TRUE(viewer.Execute());
    EXPECT_TRUE(viewer.LastReadCanceled());
    EXPECT_TRUE(viewer.isVisible());
}

TEST_F(TableDataTest, RowsComeAsTheGridScrollsAndNullsAndNumbersShowApart)
{
    QVNDatabase db;
    db.AdoConnectString = Pg::ConnectionString(QStringLiteral("postgres"));
    Frm_TableData viewer;
    viewer.mObj_QVNDatabase = &db;
    viewer.LoadWindow();
    viewer.show();
    SetStatement(viewer, QStringLiteral("select g as n, case g % 3 when 0 then null when 1 then '' else 'x' end "
                                        "as t from generate_series(1, 2000000) g"));
    EXPECT_TRUE(viewer.Execute());
    const int first = viewer.RowCount();
    EXPECT_GT(first, 0);
    EXPECT_LT(first, 2000000);
    EXPECT_TRUE(viewer.StatusText().contains(QStringLiteral("so far"))) << viewer.StatusText().toStdString();
    auto* grid = viewer.findChild<QTableView*>(QStringLiteral("Spd_Data"));
    grid->scrollToBottom();
    QElapsedTimer t;
    t.start();
    while (viewer.RowCount() == first && t.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_GT(viewer.RowCount(), first) << "scrolling to the end reads more";

    QAbstractItemModel* model = grid->model();
    const QModelIndex nullCell = model->index(2, 1), emptyCell = model->index(0, 1);
    EXPECT_TRUE(viewer.Cell(3, 2).isNull());
    EXPECT_EQ(viewer.Cell(1, 2), QString());
    EXPECT_FALSE(viewer.Cell(1, 2).isNull());
    EXPECT_NE(model->data(nullCell).toString(), model->data(emptyCell).toString());
    EXPECT_TRUE(model->data(nullCell, Qt::FontRole).value<QFont>().italic());
    EXPECT_FALSE(model->data(emptyCell, Qt::FontRole).isValid());
    EXPECT_TRUE(model->data(model->index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);

    // Export reads the whole result again, not only the rows fetched.
    SetStatement(viewer, QStringLiteral("select g as n, case g % 2 when 0 then null else '' end as t "
                                        "from generate_series(1, 100000) g"));
    EXPECT_TRUE(viewer.Execute());
    const QString file = m_dir.file(QStringLiteral("all.csv"));
    viewer.SetFileChooser([&](QWidget*) { return file; });
    m_messages.clear();
    EXPECT_TRUE(viewer.ExportCsv());
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("2|The CSV file has been written.|")});
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray csv = f.readAll();
    EXPECT_EQ(csv.count("\r\n"), 100001);
    EXPECT_TRUE(csv.startsWith("n,t\r\n1,\"\"\r\n2,\r\n"));

    // A closed viewer keeps neither rows nor its connection.
    viewer.close();
    EXPECT_EQ(viewer.RowCount(), 0);
    EXPECT_EQ(viewer.ColumnCount(), 0);
}

TEST_F(TableDataTest, MixedCaseTableOnPostgresOpensAndExportsEscaped)
{
    QString error;
    const QString cs = Pg::CreateDatabase(
        QStringLiteral(
            "create schema \"Shop\"; create table \"Shop\".\"Order Lines\" (\"Id\" int, note text);"
            "insert into \"Shop\".\"Order Lines\" values (1, '<b>bold</b>' || chr(13) || chr(10) || 'next');"),
        error);
    ASSERT_FALSE(cs.isEmpty()) << error.toStdString();
    QVNDatabase db;
    db.AdoConnectString = cs;
    Frm_TableData viewer;
    viewer.mObj_QVNDatabase = &db;
    viewer.TableName = QStringLiteral("Order Lines");
    viewer.TableSchema = QStringLiteral("Shop");
    ShowAndRun(viewer);
    EXPECT_EQ(Statement(viewer), QStringLiteral("select * from \"Shop\".\"Order Lines\""));
    ASSERT_EQ(viewer.RowCount(), 1) << m_messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(viewer.Cell(0, 1), QStringLiteral("Id"));
    EXPECT_EQ(viewer.Cell(1, 2), QStringLiteral("<b>bold</b>\r\nnext")) << "unchanged in the window";

    const QString file = m_dir.file(QStringLiteral("lines.html"));
    viewer.SetFileChooser([&](QWidget*) { return file; });
    m_messages.clear();
    EXPECT_TRUE(viewer.ExportHtml());
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("2|The HTML page has been written.|")});
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(page.contains(QStringLiteral("<td>&lt;b&gt;bold&lt;/b&gt;<BR>next</td>"))) << page.toStdString();

    // A cancelled save dialog is reported and writes nothing.
    viewer.SetFileChooser([](QWidget*) { return QString(); });
    m_messages.clear();
    EXPECT_FALSE(viewer.ExportHtml());
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("0|The HTML page could not be written.|")});
}

} // namespace

// Times the table and column pages: a click on a table of 500 columns (reading its columns and
// filling the page, painted), the table page of a project of 5 000 tables, and committing either
// page after an edit. Medians of several runs, offscreen unless a display is given.
// Run: <build>/quorvin/grid_bench [--runs N]
#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNColumnPage.h"
#include "QVNDatabase.h"
#include "QVNPages.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "QVNTablePage.h"
#include "QVNWindowStartup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

double medianMs(int runs, const std::function<void()>& prepare, const std::function<void()>& work)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        QApplication::processEvents(); // the paint belongs to what the user waits for
        times << timer.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

bool makeDatabase(const QString& file)
{
    QVNDatabase db;
    if (!db.ConnectToServer(QStringLiteral("DRIVER={SQLite3};Database=%1;").arg(file)))
        return false;
    QString wide = QStringLiteral("create table wide (c1 integer not null primary key");
    for (int c = 2; c <= 500; ++c)
        wide += QStringLiteral(", c%1 %2")
                    .arg(c)
                    .arg(c % 3 ? QStringLiteral("varchar(40)") : QStringLiteral("numeric(10,2)"));
    wide += QLatin1Char(')');
    bool ok = db.ExecuteSql(wide) && db.ExecuteSql(QStringLiteral("begin"));
    for (int t = 1; ok && t < 5000; ++t)
        ok = db.ExecuteSql(
            QStringLiteral("create table t%1 (id integer primary key, name varchar(30), note text)").arg(t));
    ok = ok && db.ExecuteSql(QStringLiteral("commit"));
    if (!ok)
        std::fprintf(stderr, "%s\n", qPrintable(db.Exceptions.ToString()));
    db.DisConnectFromServer();
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 7;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--runs")
            runs = std::max(1, QByteArray(argv[i + 1]).toInt());
    QVNWindowStartup::InitResources();
    Mdl_Main::Startup(QApplication::applicationDirPath());
    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("bench.db"));
    if (!makeDatabase(database))
        return 1;
    QVNProjectSettings settings;
    settings.name = QStringLiteral("bench");
    settings.database = QStringLiteral("DRIVER={SQLite3};Database=%1;").arg(database);
    QVNProject project;
    QVNProjectLifecycle lifecycle;
    QElapsedTimer timer;
    timer.start();
    if (!lifecycle.Create(dir.filePath(QStringLiteral("bench.qvn")), settings, false, project)) {
        std::fprintf(stderr, "%s\n", qPrintable(lifecycle.Exceptions.ToString()));
        return 1;
    }
    std::printf("project of 5000 tables created and read: %.0f ms\n", timer.nsecsElapsed() / 1e6);

    QWidget host;
    host.resize(1000, 700);
    auto* layout = new QVBoxLayout(&host);
    auto* tableFrame = new QGroupBox(&host);
    auto* columnFrame = new QGroupBox(&host);
    layout->addWidget(tableFrame);
    layout->addWidget(columnFrame);
    QVNPages pages(tableFrame, columnFrame);
    host.show();
    QApplication::processEvents();

    auto edit = [](Grid* grid) {
        grid->model()->setData(grid->model()->index(0, 2), QStringLiteral("edited"), Qt::EditRole);
    };
    auto showColumns = [&] { pages.ShowColumnList(project, QStringLiteral("wide")); };
    auto showTables = [&] { pages.ShowTableList(project, QStringLiteral("TABLE")); };
    tableFrame->hide();
    columnFrame->show();
    const double columns = medianMs(
        runs, [] {}, showColumns);
    const double readColumns = medianMs(
        runs, [] {}, [&] { project.GetColumns(QStringLiteral("wide")); });
    const double commitColumns = medianMs(
        runs, [&] { edit(pages.ColumnPage()->ColumnGrid()); }, [&] { pages.CommitPage(); });
    columnFrame->hide();
    tableFrame->show();
    const double tables = medianMs(
        runs, [] {}, showTables);
    const double commitTables = medianMs(
        runs, [&] { edit(pages.TablePage()->TableGrid()); }, [&] { pages.CommitPage(); });
    std::printf("column page, 500 columns (read + fill + paint): median %.1f ms\n", columns);
    std::printf("  of which reading the columns (GetColumns):    median %.1f ms\n", readColumns);
    std::printf("table page, 5000 tables (fill + paint):         median %.1f ms\n", tables);
    std::printf("commit column page:                             median %.2f ms\n", commitColumns);
    std::printf("commit table page:                              median %.2f ms\n", commitTables);
    return 0;
}

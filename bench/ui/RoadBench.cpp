// The project road at scale, on PostgreSQL: opening a project of N tables in the main window
// (project file, connection, tree shown), a whole build of every table with the Python model from
// the window (tick, collect on the worker, the build dialog with the progress window) against
// quorvin-cli's `generate --project` on the same project, and the table data viewer reading a wide
// table, with the time Cancel takes to stop the read.
// Run: road_bench PG_SOCKET_DIR PG_PORT PG_USER [TABLES=1000] [ROWS=100000] [MODEL=python]
// (a server started with tests/project/pg_fixture.sh start ENVFILE gives the three values).
#include "Frm_Build.h"
#include "Frm_Database.h"
#include "Frm_Open.h"
#include "Frm_TableData.h"
#include "Mdl_Main.h"
#include "QVNBuildCollector.h"
#include "QVNDatabase.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNProcess.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "TQXRows.h"

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {
long ResidentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// Every file below a folder, counted, so both roads are seen to write the same output.
int FileCount(const QString& folder)
{
    int n = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: road_bench PG_SOCKET_DIR PG_PORT PG_USER [TABLES] [ROWS]\n");
        return 2;
    }
    const int tables = argc > 4 ? std::atoi(argv[4]) : 1000;
    const int rows = argc > 5 ? std::atoi(argv[5]) : 100000;
    const QString modelName = argc > 6 ? QString::fromLocal8Bit(argv[6]) : QStringLiteral("python");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    Mdl_Main::Startup(QApplication::applicationDirPath());
    Mdl_Main::Language().SetLanguage(QStringLiteral("1033"));
    QVNMessage::SetHandler([](const QString& m, int, const QString& d) {
        std::fprintf(stderr, "message: %s %s\n", qPrintable(m), qPrintable(d));
    });

    const QString server =
        QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=%1;Port=%2;Username=%3;CommLog=0;")
            .arg(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    const QString name = QStringLiteral("road_bench_%1").arg(getpid());
    {
        QVNDatabase admin;
        if (!admin.ConnectToServer(server + QStringLiteral("Database=postgres;")) ||
            !admin.ExecuteSql(QStringLiteral("CREATE DATABASE ") + name)) {
            std::fprintf(stderr, "%s\n", qPrintable(admin.Exceptions.ToString()));
            return 1;
        }
    }
    const QString target = server + QStringLiteral("Database=") + name + QLatin1Char(';');
    {
        QVNDatabase db;
        QString script = QStringLiteral("DO $$ BEGIN FOR i IN 1..%1 LOOP EXECUTE format('create table t%s (id int "
                                        "primary key, name varchar(50), price numeric(10,2), created date, note text, "
                                        "flag boolean, qty int, code char(8))', i); END LOOP; END $$;")
                             .arg(tables - 1);
        script += QStringLiteral("create table wide as select g as c1, g * 2 as c2, 'name ' || g as c3, g / 3.0 as c4, "
                                 "md5(g::text) as c5, now()::date as c6, g % 7 as c7, 'x' as c8, g::text as c9, "
                                 "true as c10 from generate_series(1, %1) g;")
                      .arg(rows);
        if (!db.ConnectToServer(target) || !db.ExecuteSql(script)) {
            std::fprintf(stderr, "%s\n", qPrintable(db.Exceptions.ToString()));
            return 1;
        }
    }
    const QString file = home.filePath(QStringLiteral("road.qvn"));
    {
        QVNProject project;
        QVNProjectLifecycle lifecycle;
        QVNProjectSettings settings;
        settings.no = QStringLiteral("B");
        settings.name = QStringLiteral("Bench");
        settings.database = target;
        if (!lifecycle.Create(file, settings, true, project)) {
            std::fprintf(stderr, "%s\n", qPrintable(lifecycle.Exceptions.ToString()));
            return 1;
        }
    }

    const long before = ResidentKb();
    Frm_Database window;
    window.SetConnectDialog([](Frm_Open& dialog) {
        dialog.LoadFields();
        dialog.Confirm();
        return dialog.DialogResult();
    });
    window.show();
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    const bool opened = window.OpenProjectFile(file);
    QApplication::processEvents();
    const qint64 openMs = t.elapsed();
    int nodes = 0;
    if (auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("Tv_Left")))
        for (int g = 0; g < tree->topLevelItemCount(); ++g)
            nodes += tree->topLevelItem(g)->childCount();
    std::printf("open %d tables: %s in %lld ms, %d tree nodes, resident %ld MB (window before %ld MB)\n", tables,
                opened ? "ok" : "FAILED", static_cast<long long>(openMs), nodes, ResidentKb() / 1024, before / 1024);

    // Collecting every table for a build: from the window (the tree's tick, the worker, the
    // progress polls) against the headless road's collector on the same project file, one after
    // the other in this run.
    if (auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("Tv_Left"))) {
        for (int g = 0; g < tree->topLevelItemCount(); ++g)
            tree->topLevelItem(g)->setCheckState(0, Qt::Checked);
        qint64 windowMs = -1;
        int windowTables = 0;
        window.SetBuildHandOver([&](const TQXRowsPtr& collected, const TQXColsPtr&, const QString&) {
            windowMs = t.elapsed();
            windowTables = collected ? collected->Count() : 0;
        });
        t.restart();
        window.findChild<QAction*>(QStringLiteral("Mnu_File_Build"))->trigger();
        QVNBuildCollector headless;
        TQXRowsPtr collected;
        TQXColsPtr variables;
        QString folder;
        t.restart();
        QVNProject project;
        QVNProjectLifecycle lifecycle;
        bool ok = lifecycle.Open(file, project);
        const qint64 headlessOpenMs = t.elapsed();
        t.restart();
        ok = ok && headless.Collect(project, QStringList(), collected, variables, folder);
        const qint64 headlessMs = t.elapsed();
        std::printf("open: window %lld ms, headless %lld ms; collect for a build: window %d tables in %lld ms, "
                    "headless %d tables in %lld ms%s; both steps ratio %.2f\n",
                    static_cast<long long>(openMs), static_cast<long long>(headlessOpenMs), windowTables,
                    static_cast<long long>(windowMs), collected ? collected->Count() : 0,
                    static_cast<long long>(headlessMs), ok ? "" : " FAILED",
                    double(openMs + windowMs) / double(std::max<qint64>(1, headlessOpenMs + headlessMs)));
    }

    // A whole build of every table with one model: from the window (tick, F7, collection on the
    // worker, then the build dialog's Build with the progress window up) against the headless
    // road, quorvin-cli generate --project, as a process of its own; one after the other.
    QVNProcess process;
    const QString package =
        QApplication::applicationDirPath() + QStringLiteral("/models/") + modelName + QStringLiteral(".qvnm");
    Frm_Build::SetFolderOpener([](const QString&) {});
    Frm_Build::SetPageViewer([](const QString&, QWidget*) {});
    if (process.Create(QApplication::applicationDirPath())) {
        window.SetProcess(&process);
        const QString windowOut = home.filePath(QStringLiteral("window-out"));
        qint64 collectMs = -1;
        qint64 buildMs = -1;
        bool built = false;
        window.SetBuildHandOver([&](const TQXRowsPtr& collected, const TQXColsPtr& variables, const QString&) {
            collectMs = t.elapsed();
            Frm_Build dialog(&window, &process);
            dialog.SetConvertDatas(collected);
            for (const TQXColPtr& col : *variables)
                dialog.AddVariable(col->Value().ToText(), col->Key());
            dialog.SetFolder(windowOut);
            // The list holds the models in the order read, the usable ones first.
            if (auto* list = dialog.findChild<QComboBox*>(QStringLiteral("Cbo_Model")))
                for (int i = 0; i < dialog.Models()->Count(); ++i)
                    if (QFileInfo(dialog.Models()->Item(i + 1)->Cols()->Text(QStringLiteral("MI_FILE")))
                            .completeBaseName() == modelName)
                        list->setCurrentIndex(i);
            built = dialog.Build();
            buildMs = t.elapsed();
        });
        t.restart();
        window.findChild<QAction*>(QStringLiteral("Mnu_File_Build"))->trigger();
        const qint64 windowWholeMs = t.elapsed();

        const QString cliOut = home.filePath(QStringLiteral("cli-out"));
        QProcess cli;
        t.restart();
        cli.start(QApplication::applicationDirPath() + QStringLiteral("/quorvin-cli"),
                  {QStringLiteral("--language"), QStringLiteral("1033"), QStringLiteral("generate"),
                   QStringLiteral("--project"), file, QStringLiteral("--model"), package,
                   QStringLiteral("--all-tables"), QStringLiteral("--out"), cliOut});
        const bool cliOk =
            cli.waitForFinished(600000) && cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0;
        const qint64 cliMs = t.elapsed();
        if (!cliOk)
            std::fprintf(stderr, "quorvin-cli: %s\n", cli.readAllStandardError().constData());
        std::printf("whole build with the %s model: window %s, %d files in %lld ms (collect %lld ms, build %lld ms); "
                    "quorvin-cli %s, %d files in %lld ms; ratio %.2f\n",
                    qPrintable(modelName), built ? "ok" : "FAILED", FileCount(windowOut),
                    static_cast<long long>(windowWholeMs), static_cast<long long>(collectMs),
                    static_cast<long long>(buildMs - collectMs), cliOk ? "ok" : "FAILED", FileCount(cliOut),
                    static_cast<long long>(cliMs), double(windowWholeMs) / double(std::max<qint64>(1, cliMs)));
        window.SetProcess(nullptr);
    } else {
        std::fprintf(stderr, "progress server: %s\n", qPrintable(process.LastError()));
    }

    QVNDatabase data;
    data.AdoConnectString = target;
    Frm_TableData viewer;
    viewer.mObj_QVNDatabase = &data;
    viewer.TableName = QStringLiteral("wide");
    viewer.LoadWindow();
    viewer.SetCancelCheck([] { return false; });
    t.restart();
    viewer.Execute();
    std::printf("viewer read %d rows x %d columns in %lld ms, resident %ld MB\n", viewer.RowCount(),
                viewer.ColumnCount(), static_cast<long long>(t.elapsed()), ResidentKb() / 1024);

    // Cancel while the server is still executing: the window's Cancel calls SQLCancel.
    if (auto* sql = viewer.findChild<QPlainTextEdit*>(QStringLiteral("Txt_SQL")))
        sql->setPlainText(QStringLiteral("select pg_sleep(12)"));
    QElapsedTimer sinceCancel;
    QTimer::singleShot(300, &viewer, [&] {
        sinceCancel.start();
        viewer.CancelRun();
    });
    viewer.SetCancelCheck([] { return false; });
    t.restart();
    viewer.Execute();
    std::printf("cancel of select pg_sleep(12) after 300 ms: the viewer returned %lld ms after the press (%s)\n",
                static_cast<long long>(sinceCancel.isValid() ? sinceCancel.elapsed() : -1),
                viewer.StatusText().toUtf8().constData());

    data.DisConnectFromServer();
    const_cast<QVNProject*>(window.Project())->ProjectDatabase().DisConnectFromServer();
    QVNDatabase admin;
    if (admin.ConnectToServer(server + QStringLiteral("Database=postgres;")))
        admin.ExecuteSql(QStringLiteral("DROP DATABASE ") + name);
    return opened ? 0 : 1;
}

// Times the build dialog: opening it over a models folder of 50 packages, a build over the sample's
// tables with the progress server's window up until its result is shown, and the time from Cancel
// in the progress window to the end of a build over 1 000 tables.
// Run (offscreen or under a display): <build>/quorvin/build_dialog_bench [RUNS]
#include "Frm_Build.h"
#include "Mdl_Main.h"
#include "QVNBuildCollector.h"
#include "QVNError.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNProcess.h"
#include "QVNSampleProject.h"
#include "TQXCols.h"
#include "TQXRow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void selectModel(Frm_Build& dialog, const QString& start)
{
    auto* list = dialog.findChild<QComboBox*>(QStringLiteral("Cbo_Model"));
    for (int i = 0; i < list->count(); ++i)
        if (list->itemText(i).startsWith(start))
            list->setCurrentIndex(i);
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("DROMALE_TEST_HOOKS", "1");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString shipped = QApplication::applicationDirPath() + QStringLiteral("/models/");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toUtf8());
    const QString appPath = home.path() + QStringLiteral("/app/");
    QDir().mkpath(appPath + QStringLiteral("models"));
    for (const char* item : {"language", "system.qvnm", "sample"})
        QFile::link(QApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(item),
                    appPath + QLatin1String(item));
    const QStringList packages = QDir(shipped).entryList({QStringLiteral("*.qvnm")}, QDir::Files, QDir::Name);
    for (int i = 0; i < 50 && !packages.isEmpty(); ++i)
        QFile::copy(shipped + packages.at(i % packages.size()),
                    appPath + QStringLiteral("models/m%1.qvnm").arg(i, 2, 10, QLatin1Char('0')));
    Mdl_Main::Startup(appPath);
    Mdl_Main::Language().SetLanguage(QStringLiteral("1033"));
    QVNMessage::SetHandler([](const QString&, int, const QString&) {});
    Frm_Build::SetFolderOpener([](const QString&) {});
    Frm_Build::SetPageViewer([](const QString&, QWidget*) {});

    std::vector<double> open;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        Frm_Build dialog;
        dialog.show();
        QApplication::processEvents();
        open.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("open-50-models-ms median %.1f (max %.1f)\n", median(open),
                *std::max_element(open.begin(), open.end()));

    QVNError errors;
    QVNSampleProject::Ensure(Mdl_Main::AppPath, Mdl_Main::ProjectPath, Mdl_Main::OutPath, errors);
    QVNBuildCollector collector;
    TQXRowsPtr tables;
    TQXColsPtr vars;
    QString folder;
    if (!collector.Collect(QVNSampleProject::ProjectFile(Mdl_Main::ProjectPath), {}, tables, vars, folder)) {
        std::fprintf(stderr, "%s\n", qPrintable(collector.Exceptions.ToString()));
        return 1;
    }
    QElapsedTimer serverStart;
    serverStart.start();
    QVNProcess process;
    if (!process.Create(QApplication::applicationDirPath())) {
        std::fprintf(stderr, "progress server: %s\n", qPrintable(process.LastError()));
        return 1;
    }
    std::printf("progress-server-start-ms %.1f\n", serverStart.nsecsElapsed() / 1e6);

    std::vector<double> build;
    for (int r = 0; r < runs; ++r) {
        Frm_Build dialog(nullptr, &process);
        dialog.SetConvertDatas(tables);
        for (const TQXColPtr& col : *vars)
            dialog.AddVariable(col->Value().ToText(), col->Key());
        dialog.SetFolder(home.path() + QStringLiteral("/out%1").arg(r));
        selectModel(dialog, QStringLiteral("SQL"));
        QElapsedTimer t;
        t.start();
        dialog.Build();
        build.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("build-%d-tables-ms median %.1f (max %.1f)\n", int(tables->Count()), median(build),
                *std::max_element(build.begin(), build.end()));

    // 1 000 tables: the sample's tables repeated under new keys.
    auto many = TQXRows::Create();
    many->SetTag(QStringLiteral("TABLES"));
    for (int i = 0; many->Count() < 1000; ++i) {
        const TQXRowPtr row = tables->Item(i % tables->Count() + 1);
        auto cols = TQXCols::Create();
        cols->Copy(row->Cols());
        many->Add(cols, row->Key() + QString::number(i));
    }
    std::vector<double> cancel;
    for (int r = 0; r < runs; ++r) {
        Frm_Build dialog(nullptr, &process);
        dialog.SetConvertDatas(many);
        dialog.SetFolder(home.path() + QStringLiteral("/big%1").arg(r));
        selectModel(dialog, QStringLiteral("SQL"));
        QElapsedTimer clicked;
        QTimer::singleShot(300, [&] {
            clicked.start();
            process.Object().Call(QStringLiteral("TestClickCancel"));
        });
        QElapsedTimer whole;
        whole.start();
        const bool ok = dialog.Build();
        if (ok || !clicked.isValid()) {
            std::printf("cancel run %d: the build ended (%s) after %.0f ms before Cancel was pressed\n", r,
                        ok ? "ok" : "failed", whole.nsecsElapsed() / 1e6);
            continue;
        }
        cancel.push_back(clicked.nsecsElapsed() / 1e6);
    }
    if (!cancel.empty())
        std::printf("cancel-1000-tables-ms median %.1f (max %.1f)\n", median(cancel),
                    *std::max_element(cancel.begin(), cancel.end()));
    return 0;
}

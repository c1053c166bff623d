// The process the kill test kills: saves a project file with a given name and a given number of
// described tables, the way the main window saves (QVNProjectLifecycle::Save), then exits 0.
//   project_save_child FILE NAME TABLES
#include "Mdl_Main.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    Mdl_Main::AppPath = QStringLiteral(QUORVIN_APP_DIR "/");
    QVNProject project;
    QVNProjectLifecycle lifecycle;
    if (!lifecycle.OpenFile(args.at(1), project)) {
        std::fputs(lifecycle.Exceptions.ToString().toUtf8().constData(), stderr);
        return 1;
    }
    project.P_NAME = args.at(2);
    project.TABLES = TQXRows::Create();
    const int count = args.at(3).toInt();
    for (int t = 1; t <= count; ++t) {
        const QString name = QStringLiteral("table_%1").arg(t);
        auto columns = TQXRows::Create();
        for (int c = 1; c <= 20; ++c) {
            auto cols = TQXCols::Create();
            cols->Add(QStringLiteral("column_%1").arg(c), QStringLiteral("CL_NAME"));
            cols->Add(QStringLiteral("caption of column %1 of %2").arg(c).arg(name), QStringLiteral("CL_CNAME"));
            columns->Add(cols, QStringLiteral("column_%1").arg(c));
        }
        auto cols = TQXCols::Create();
        cols->Add(name, QStringLiteral("TL_NAME"));
        cols->Add(QStringLiteral("caption of ") + name, QStringLiteral("TL_CNAME"));
        cols->Add(columns, QStringLiteral("COLUMNS"));
        project.TABLES->Add(cols, name);
    }
    // The kill test starts counting from here: the process has started, the save begins.
    std::fputc('.', stdout);
    std::fflush(stdout);
    if (!lifecycle.Save(project)) {
        std::fputs(lifecycle.Exceptions.ToString().toUtf8().constData(), stderr);
        return 1;
    }
    return 0;
}

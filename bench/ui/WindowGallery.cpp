// Renders each window of the program to a PNG so they can be looked at without a desktop:
// the main window with the sample project (English and Chinese), the message window expanded
// and collapsed, the options and the About window, the connection dialog, the connection-string
// editor (a file driver and a server driver), the table data viewer, the table and column pages
// and their two dialogs, the build dialog, the read-me browser, the packaging and conversion
// windows and the collection viewer.
#include "Frm_About.h"
#include "Frm_Build.h"
#include "Frm_BuildPreview.h"
#include "Frm_Choose.h"
#include "Frm_Connection.h"
#include "Frm_Convert.h"
#include "Frm_Database.h"
#include "Frm_Error.h"
#include "Frm_IE.h"
#include "Frm_Open.h"
#include "Frm_Option.h"
#include "Frm_Package.h"
#include "Frm_Show.h"
#include "Frm_TableData.h"
#include "Frm_UML.h"
#include "Grid.h"
#include "Mdl_Main.h"
#include "QVNBuildCollector.h"
#include "QVNColumnPage.h"
#include "QVNError.h"
#include "QVNGenerate.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNPages.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "QVNSampleProject.h"
#include "QVNWindowStartup.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

namespace {
void save(QWidget& w, const QString& folder, const char* name)
{
    w.show();
    QApplication::processEvents();
    const QString file = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    if (!w.grab().save(file))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    w.hide();
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: window_gallery OUTPUT_FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QVNWindowStartup::InitResources();
    Mdl_Main::Startup(QApplication::applicationDirPath());
    QVNError errors;
    QVNSampleProject::Ensure(Mdl_Main::AppPath, Mdl_Main::ProjectPath, Mdl_Main::OutPath, errors);
    // The main window shows the project's path: a copy in a neutral folder keeps this machine's
    // folders out of the pictures.
    const QString demo = QDir::tempPath() + QStringLiteral("/quorvin-demo/");
    QDir(demo).removeRecursively();
    QDir().mkpath(demo);
    const QString sample = demo + QStringLiteral("sample.qvn");
    QFile::copy(QVNSampleProject::ProjectFile(Mdl_Main::ProjectPath), sample);

    for (const char* language : {"1033", "2052"}) {
        Mdl_Main::Language().SetLanguage(QLatin1String(language));
        const bool en = language[0] == '1';
        Frm_Database main; // at its first-start size
        main.SetConnectDialog([&](Frm_Open& dialog) {
            dialog.LoadFields();
            save(dialog, out, en ? "connection-dialog-en" : "connection-dialog-zh");
            dialog.Confirm();
            return dialog.DialogResult();
        });
        main.OpenProjectFile(sample, true);
        main.SetProjectChanged(true);
        if (auto* tree = main.findChild<QTreeWidget*>(QStringLiteral("Tv_Left"))) {
            const auto found = tree->findItems(QStringLiteral("orders"), Qt::MatchExactly | Qt::MatchRecursive);
            if (!found.isEmpty()) {
                found.first()->setCheckState(0, Qt::Checked);
                tree->setCurrentItem(found.first());
            }
        }
        save(main, out, en ? "main-window-en" : "main-window-zh");
        main.SetProjectChanged(false);

        Frm_Connection editor;
        if (main.Project())
            editor.Start(main.Project()->P_DATABASE, QString(), QString());
        save(editor, out, en ? "connection-editor-file-en" : "connection-editor-file-zh");
        editor.Start(QStringLiteral("DRIVER={PostgreSQL Unicode};Server=db.example.org;Port=5432;Database=shop;"
                                    "sslmode=require;"),
                     QStringLiteral("shop"), QStringLiteral("secret"));
        save(editor, out, en ? "connection-editor-server-en" : "connection-editor-server-zh");
        editor.Start(QStringLiteral("DRIVER={MariaDB Unicode};Socket=/run/mysqld/mysqld.sock;Database=shop;"),
                     QStringLiteral("shop"), QStringLiteral("secret"));
        save(editor, out, en ? "connection-editor-mariadb-en" : "connection-editor-mariadb-zh");

        if (main.Project()) {
            Frm_TableData viewer;
            viewer.mObj_QVNDatabase = &const_cast<QVNProject*>(main.Project())->ProjectDatabase();
            viewer.TableName = QStringLiteral("products");
            viewer.LoadWindow();
            viewer.show();
            viewer.Execute();
            save(viewer, out, en ? "table-data-en" : "table-data-zh");
        }

        Frm_Error message;
        message.Setup(QStringLiteral("The project could not be saved."), 0,
                      QStringLiteral("Cannot write the project file\r\n/home/user/projects/customer-orders/"
                                     "archive-2026/shop-with-a-long-name.qvn: permission denied (the folder is "
                                     "read-only)"),
                      true, 10);
        save(message, out, en ? "message-expanded-en" : "message-expanded-zh");
        Frm_Error notice;
        notice.Setup(QStringLiteral("The project has been saved."), 2, QString(), false, 0);
        save(notice, out, language[0] == '1' ? "message-notice-en" : "message-notice-zh");

        Frm_Option options;
        save(options, out, language[0] == '1' ? "options-en" : "options-zh");

        // The two pages of the right pane, each in its frame, and the column page's dialogs.
        QVNProject project;
        QVNProjectLifecycle lifecycle;
        if (lifecycle.Open(sample, project)) {
            QWidget host;
            host.resize(900, 460);
            auto* layout = new QVBoxLayout(&host);
            auto* tableFrame = new QGroupBox(&host);
            auto* columnFrame = new QGroupBox(&host);
            layout->addWidget(tableFrame);
            layout->addWidget(columnFrame);
            QVNPages pages(tableFrame, columnFrame);
            columnFrame->hide();
            pages.ShowTableList(project, QStringLiteral("TABLE"));
            save(host, out, en ? "table-page-en" : "table-page-zh");
            tableFrame->hide();
            columnFrame->show();
            pages.ShowColumnList(project, QStringLiteral("orders"));
            save(host, out, en ? "column-page-en" : "column-page-zh");

            Frm_Convert convert;
            convert.ClearData();
            Grid* grid = pages.ColumnPage()->ColumnGrid();
            for (int r = 1; r <= grid->MaxRows(); ++r) {
                if (grid->CellText(2, r) != QLatin1String("status"))
                    continue;
                const QStringList captions = grid->ItemList(14, r).split(QLatin1Char('\t'));
                const QStringList values = grid->ItemList(15, r).split(QLatin1Char('\t'));
                for (qsizetype i = 0; i < std::min(captions.size(), values.size()); ++i)
                    convert.AddData(captions.at(i), values.at(i));
            }
            save(convert, out, en ? "convert-en" : "convert-zh");
            Frm_Choose choose;
            choose.ClearData();
            for (const QString& item : grid->ItemList(8, 1).split(QLatin1Char('\t')))
                choose.AddData(item);
            choose.SetRow(2);
            choose.SetDataType(2);
            save(choose, out, en ? "choose-en" : "choose-zh");
        }

        Frm_Build build;
        build.AddVariable(QStringLiteral("sample"), QStringLiteral("P_NAME"));
        build.SetFolder(Mdl_Main::OutPath + QStringLiteral("sample/"));
        if (auto* list = build.findChild<QComboBox*>(QStringLiteral("Cbo_Model")); list && list->count() > 0)
            list->setCurrentIndex(0);
        save(build, out, en ? "build-en" : "build-zh");

        {
            // The preview of a rebuild over a folder the user edited.
            QTemporaryDir folder;
            const QString target = folder.path() + QStringLiteral("/out/");
            QDir().mkpath(target);
            const auto put = [](const QString& path, const QByteArray& bytes) {
                QDir().mkpath(QFileInfo(path).absolutePath());
                QFile f(path);
                if (f.open(QIODevice::WriteOnly))
                    f.write(bytes);
            };
            put(target + QStringLiteral("customer.py"),
                "class Customer:\n    columns = [\n        \"id\",\n        \"name\",  # shown in lists\n    ]\n");
            QVNBuildOutput output;
            if (output.Begin(target)) {
                put(output.StageFolder() + QStringLiteral("customer.py"),
                    "class Customer:\n    columns = [\n        \"id\",\n        \"name\",\n        \"email\",\n    "
                    "]\n");
                put(output.StageFolder() + QStringLiteral("orders.py"), "class Orders:\n    pass\n");
                output.Classify();
                Frm_BuildPreview preview(output);
                save(preview, out, en ? "build-preview-en" : "build-preview-zh");
            }
        }

        Frm_Package package;
        save(package, out, en ? "package-en" : "package-zh");

        Frm_UML uml;
        uml.findChild<QPlainTextEdit*>(QStringLiteral("Txt_File"))
            ->setPlainText(QStringLiteral("(object Class \"tb_test\"\n    quid \"3A1B2C3D0001\"\n"
                                          "    documentation \"测试\"\n    (object ClassAttribute \"testid\"\n"
                                          "        quid \"3A1B2C3D0002\"\n        supplier \"Logical View::tb_test\"\n"
                                          "        quidu \"3A1B2C3D0001\"))"));
        save(uml, out, en ? "conversion-en" : "conversion-zh");
        QVNMessage::SetHandler([](const QString&, int, const QString&) {});
        uml.Convert();
        QVNMessage::SetHandler({});
        save(uml, out, en ? "conversion-done-en" : "conversion-done-zh");
    }

    // The read-me page of the data dictionary model, built over the sample's tables.
    QTemporaryDir built;
    QVNBuildCollector collector;
    TQXRowsPtr tables;
    TQXColsPtr vars;
    QString folder;
    if (collector.Collect(sample, {}, tables, vars, folder)) {
        QList<QPair<QString, QString>> projectVars;
        for (const TQXColPtr& col : *vars)
            projectVars.append({col->Key(), col->Value().ToText()});
        QVNGenerate generate;
        generate.Run(Mdl_Main::ModelPath + QStringLiteral("datadict.qvnm"), built.path(), tables, projectVars, {});
        Frm_IE readme;
        readme.OpenFile(generate.ReadmePage());
        save(readme, out, "readme");

        Frm_Show viewer;
        viewer.SetRows_Show(tables);
        viewer.Load();
        viewer.resize(900, 420);
        save(viewer, out, "collection-viewer");
    }
    Frm_About about;
    save(about, out, "about");
    return 0;
}

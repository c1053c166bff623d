#include "QVNModelEditorLauncher.h"

#include "Frm_ModelEditor.h"
#include "Mdl_Main.h"
#include "QVNBuildCollector.h"
#include "QVNFormLocalizer.h"
#include "QVNProject.h"
#include "QVNSampleProject.h"

#include <QDir>
#include <QMessageBox>

Frm_ModelEditor* QVNModelEditorLauncher::Open(const QString& folder, QVNProject* project, QWidget* parent)
{
    TQXRowsPtr tables;
    TQXColsPtr variables;
    QString outFolder;
    QVNBuildCollector collector;
    // The preview works without tables too, so a project that cannot be read is no reason to stop.
    const bool collected =
        project && project->TABLES
            ? collector.Collect(*project, {}, tables, variables, outFolder)
            : collector.Collect(QVNSampleProject::ProjectFile(Mdl_Main::ProjectPath), {}, tables, variables, outFolder);
    QList<QPair<QString, QString>> projectVars;
    if (collected && variables) {
        for (const TQXColPtr& c : *variables)
            projectVars.append({c->Key(), c->Value().ToText()});
    } else {
        tables.reset();
    }

    auto* editor = new Frm_ModelEditor(parent);
    editor->setWindowFlag(Qt::Window);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    if (!editor->OpenFolder(folder, tables, projectVars)) {
        QMessageBox::warning(parent, editor->windowTitle(),
                             QVNFormLocalizer::Text(Mdl_Main::Language(), QStringLiteral("Frm_ModelEditor"),
                                                    QStringLiteral("MESSAGE_NO_MODEL"))
                                 .arg(QDir::toNativeSeparators(folder)));
        delete editor;
        return nullptr;
    }
    editor->show();
    return editor;
}

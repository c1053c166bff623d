#include "QVNBuildCollector.h"

#include "Mdl_Main.h"
#include "QVNLanguage.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"

namespace {
QString Localized(const QString& section, const QString& key)
{
    const QString text = Mdl_Main::Language().GetLocalizeMessage(section, key);
    return text.isEmpty() ? key : text;
}
} // namespace

bool QVNBuildCollector::Collect(const QString& projectFile, const QStringList& tableNames, TQXRowsPtr& tables,
                                TQXColsPtr& projectVariables, QString& projectFolder)
{
    Exceptions.Clear();
    m_canceled = false;
    m_badProjectFile = false;
    m_unknown.clear();
    tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    projectVariables = TQXCols::Create();
    projectFolder.clear();

    QVNProject project;
    QVNProjectLifecycle lifecycle;
    if (!lifecycle.Open(projectFile, project)) {
        m_badProjectFile = lifecycle.LastFailure() == QVNProjectLifecycle::Failure::BadInput;
        Exceptions.AddExceptions(lifecycle.Exceptions);
        return false;
    }
    const bool ok = Collect(project, tableNames, tables, projectVariables, projectFolder);
    project.ProjectDatabase().DisConnectFromServer();
    return ok;
}

bool QVNBuildCollector::Collect(QVNProject& project, const QStringList& tableNames, TQXRowsPtr& tables,
                                TQXColsPtr& projectVariables, QString& projectFolder)
{
    Exceptions.Clear();
    m_canceled = false;
    m_unknown.clear();
    tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    projectVariables = TQXCols::Create();
    projectFolder.clear();

    // Which tables, in the project's order; unknown names are all reported together.
    QStringList chosen;
    if (tableNames.isEmpty()) {
        for (const TQXRowPtr& row : *project.TABLES) {
            if (row->Cols()
                    ->Text(QStringLiteral("TABLE_TYPE"))
                    .trimmed()
                    .compare(QLatin1String("TABLE"), Qt::CaseInsensitive) == 0)
                chosen << row->Key();
        }
    } else {
        QStringList unknown;
        for (const QString& name : tableNames) {
            if (!project.TABLES->Exists(name.trimmed()))
                unknown << name.trimmed();
        }
        m_unknown = unknown;
        if (!unknown.isEmpty()) {
            for (const QString& name : unknown)
                Exceptions.Add(Localized(QStringLiteral("QVNBUILDCOLLECTOR"), QStringLiteral("ERROR_UNKNOWN_TABLE")) +
                               QStringLiteral(" ") + name);
            return false;
        }
        // In the main window's tree order: the tables group, then views, then everything else,
        // each in the project's table order.
        QStringList groups[3];
        for (const TQXRowPtr& row : *project.TABLES) {
            for (const QString& name : tableNames) {
                if (row->Key().compare(name.trimmed(), Qt::CaseInsensitive) == 0) {
                    const QString kind = row->Cols()->Text(QStringLiteral("TABLE_TYPE")).trimmed().toLower();
                    groups[kind == QLatin1String("table") ? 0 : kind == QLatin1String("view") ? 1 : 2] << row->Key();
                    break;
                }
            }
        }
        chosen = groups[0] + groups[1] + groups[2];
    }

    const QString collecting = Localized(QStringLiteral("QVNBUILDCOLLECTOR"), QStringLiteral("MESSAGE_COLLECT_TABLE"));
    for (const QString& name : chosen) {
        if (Progress) {
            bool cancel = false;
            Progress(collecting + QStringLiteral("   [ ") + name + QStringLiteral(" ] ") + QStringLiteral(" ..."),
                     cancel);
            if (cancel) {
                m_canceled = true;
                Exceptions.Add(Localized(QStringLiteral("QVNBUILDCOLLECTOR"), QStringLiteral("MESSAGE_CANCEL")));
                return false;
            }
        }
        TQXRowsPtr columns = project.GetColumns(name);
        tables->CopyRow(project.TABLES->Item(name));
        const TQXRowPtr row = tables->Item(name);
        if (!row)
            continue;
        const TQXColsPtr& cols = row->Cols();
        const QString pk = cols->Text(QStringLiteral("TL_PK")).trimmed();
        const QString pktype = cols->Text(QStringLiteral("TL_PKTYPE")).trimmed();
        // Only a key of kind "1" is entered by the user; other kinds leave the update screen.
        if (pktype != QLatin1String("1") && !pk.isEmpty()) {
            if (const TQXRowPtr keyRow = columns->Item(pk))
                keyRow->Cols()->Item(QStringLiteral("CL_UPDATE_TYPE"))->SetValue(QStringLiteral("0"));
        }
        if (const TQXColPtr c = cols->Item(QStringLiteral("COLUMNS")))
            c->SetValue(columns);
        else
            cols->Add(columns, QStringLiteral("COLUMNS"));
        const char* const lists[4][2] = {{"UPDATE_COLUMNS", "CL_UPDATE_TYPE"},
                                         {"SEARCH_COLUMNS", "CL_SEARCH_TYPE"},
                                         {"MAIN_COLUMNS", "CL_MAIN_TYPE"},
                                         {"SHOW_COLUMNS", "CL_SHOW_TYPE"}};
        for (const auto& list : lists) {
            const QString key = QString::fromLatin1(list[0]);
            cols->Remove(key);
            cols->Add(QVNProject::GetOneTypeColumns(key, columns, QString::fromLatin1(list[1])), key);
        }
    }

    projectVariables->Add(project.P_NO, QStringLiteral("P_NO"));
    projectVariables->Add(project.P_NAME, QStringLiteral("P_NAME"));
    projectVariables->Add(project.P_DATABASE, QStringLiteral("P_DATABASE"));
    projectVariables->Add(project.P_USERID, QStringLiteral("P_USERID"));
    projectVariables->Add(project.P_PWD, QStringLiteral("P_PWD"));
    projectVariables->Add(project.P_PATH, QStringLiteral("P_PATH"));
    projectVariables->Add(project.ConnectionString(), QStringLiteral("P_CONNECTIONSTRING"));
    projectFolder = project.P_PATH;
    return true;
}

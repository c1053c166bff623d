// quorvin-cli tables: the tables and views of a project's database with their saved annotations.
#include "CmdProjectOutput.h"

namespace {
int RunTables(const QStringList& args)
{
    bool json = false;
    QString file;
    for (const QString& a : args) {
        if (a == QLatin1String("--json"))
            json = true;
        else if (file.isEmpty() && !a.startsWith(QLatin1String("--")))
            file = a;
        else {
            CliError(QStringLiteral("tables: unexpected argument \"%1\"").arg(a));
            return 2;
        }
    }
    if (file.isEmpty()) {
        CliError(QStringLiteral("usage: quorvin-cli tables FILE [--json]"));
        return 2;
    }
    CliStartup();
    QVNProject project;
    if (const int code = CmdProjectOutput::OpenWithTables(project, file, QStringLiteral("tables")))
        return code;
    project.TABLES->SetTag(QStringLiteral("TABLES"));
    if (json) {
        CmdProjectOutput::PrintJson(project.TABLES);
        return 0;
    }
    QList<QStringList> rows{{"TABLE_NAME", "TABLE_TYPE", "TL_CNAME", "TL_PK", "TL_PKTYPE", "TL_DATE", "COLUMNS"}};
    for (const TQXRowPtr& row : *project.TABLES) {
        const TQXColsPtr& c = row->Cols();
        const TQXColPtr saved = c->Item(QStringLiteral("COLUMNS"));
        const TQXRowsPtr savedRows = saved ? saved->Value().rows() : nullptr;
        rows.append({c->Text(QStringLiteral("TABLE_NAME")), c->Text(QStringLiteral("TABLE_TYPE")),
                     c->Text(QStringLiteral("TL_CNAME")), c->Text(QStringLiteral("TL_PK")),
                     c->Text(QStringLiteral("TL_PKTYPE")), c->Text(QStringLiteral("TL_DATE")),
                     QString::number(savedRows ? savedRows->Count() : 0)});
    }
    CmdProjectOutput::PrintAligned(rows);
    return 0;
}
} // namespace

QUORVIN_CLI_COMMAND("tables", RunTables)

// quorvin-cli columns: one table's columns as the column grid shows them (typed and annotated).
#include "CmdProjectOutput.h"

namespace {
int RunColumns(const QStringList& args)
{
    bool json = false;
    QStringList positional;
    for (const QString& a : args) {
        if (a == QLatin1String("--json"))
            json = true;
        else if (positional.size() < 2 && !a.startsWith(QLatin1String("--")))
            positional << a;
        else {
            CliError(QStringLiteral("columns: unexpected argument \"%1\"").arg(a));
            return 2;
        }
    }
    if (positional.size() != 2) {
        CliError(QStringLiteral("usage: quorvin-cli columns FILE TABLE [--json]"));
        return 2;
    }
    CliStartup();
    QVNProject project;
    if (const int code = CmdProjectOutput::OpenWithTables(project, positional.at(0), QStringLiteral("columns")))
        return code;
    const TQXRowPtr tableRow = project.TABLES->Item(positional.at(1));
    if (!tableRow) {
        CliError(QStringLiteral("columns: the project's database has no table \"%1\"").arg(positional.at(1)));
        return 2;
    }
    // The name as the database spells it: the catalog of a case-sensitive server finds no other.
    const TQXRowsPtr columns = project.GetColumns(tableRow->Key());
    if (json) {
        CmdProjectOutput::PrintJson(columns);
        return 0;
    }
    QList<QStringList> rows{{"CL_NAME", "CL_TYPE", "CL_LENGTH2", "CL_NULL", "CL_PK", "CL_PKMARK", "CL_FK", "CL_DEFAULT",
                             "UPD", "SRC", "MAIN", "SHOW", "CL_CNAME"}};
    for (const TQXRowPtr& row : *columns) {
        const TQXColsPtr& c = row->Cols();
        rows.append({c->Text(QStringLiteral("CL_NAME")), c->Text(QStringLiteral("CL_TYPE")),
                     c->Text(QStringLiteral("CL_LENGTH2")), c->Text(QStringLiteral("CL_NULL")),
                     c->Text(QStringLiteral("CL_PK")), c->Text(QStringLiteral("CL_PKMARK")),
                     c->Text(QStringLiteral("CL_FK")), c->Text(QStringLiteral("CL_DEFAULT")),
                     c->Text(QStringLiteral("CL_UPDATE_TYPE")), c->Text(QStringLiteral("CL_SEARCH_TYPE")),
                     c->Text(QStringLiteral("CL_MAIN_TYPE")), c->Text(QStringLiteral("CL_SHOW_TYPE")),
                     c->Text(QStringLiteral("CL_CNAME"))});
    }
    CmdProjectOutput::PrintAligned(rows);
    return 0;
}
} // namespace

QUORVIN_CLI_COMMAND("columns", RunColumns)

// quorvin-cli columns: one table's columns as the column grid shows them (typed and annotated).
#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNJsonData.h"
#include "QVNProject.h"

#include <cstdio>

namespace {
/// Same layout as "tables": columns padded by display width, two spaces apart.
QString Aligned(const QList<QStringList>& rows)
{
    QVNFunction& fn = Mdl_Main::Function();
    QList<int> widths;
    for (const QStringList& row : rows) {
        for (int i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = std::max(widths[i], fn.Length(row.at(i)));
        }
    }
    QString out;
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            line += row.at(i);
            if (i + 1 < row.size())
                line += QString(widths[i] - fn.Length(row.at(i)) + 2, QLatin1Char(' '));
        }
        out += line + QLatin1Char('\n');
    }
    return out;
}

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
    project.SetProjectFile(positional.at(0));
    if (!project.GetProjectInfo()) {
        CliError(QStringLiteral("columns: ") + project.Exceptions.ToString());
        return 2;
    }
    if (!project.GetTables()) {
        CliError(QStringLiteral("columns: ") + project.Exceptions.ToString());
        return 1;
    }
    const QString table = positional.at(1);
    if (!project.TABLES->Exists(table)) {
        CliError(QStringLiteral("columns: the project's database has no table \"%1\"").arg(table));
        return 2;
    }
    const TQXRowsPtr columns = project.GetColumns(table);
    if (json) {
        const QByteArray text = QVNJsonData::Write(columns);
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        std::fputc('\n', stdout);
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
    std::fputs(Aligned(rows).toUtf8().constData(), stdout);
    return 0;
}
} // namespace

QUORVIN_CLI_COMMAND("columns", "FILE TABLE [--json]", RunColumns)

// quorvin-cli tables: the tables and views of a project's database with their saved annotations.
#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNJsonData.h"
#include "QVNProject.h"

#include <cstdio>

namespace {
/// Rows of cells as columns padded to the widest cell, measured in display width (a Chinese
/// character counts two), separated by two spaces.
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
    project.SetProjectFile(file);
    if (!project.GetProjectInfo()) {
        CliError(QStringLiteral("tables: ") + project.Exceptions.ToString());
        return 2;
    }
    if (!project.GetTables()) {
        CliError(QStringLiteral("tables: ") + project.Exceptions.ToString());
        return 1;
    }
    project.TABLES->SetTag(QStringLiteral("TABLES"));
    if (json) {
        const QByteArray text = QVNJsonData::Write(project.TABLES);
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        std::fputc('\n', stdout);
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
    std::fputs(Aligned(rows).toUtf8().constData(), stdout);
    return 0;
}
} // namespace

QUORVIN_CLI_COMMAND("tables", "FILE [--json]", RunTables)

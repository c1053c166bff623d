#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNBuildCollector.h"
#include "QVNJsonData.h"
#include "QVNModelCheck.h"
#include "QVNSampleProject.h"

#include <cstdio>

namespace {

// Checks a model package or folder: its description files, then every template expanded over a
// table set (a project's tables, a JSON table set, or the sample project's tables). Every finding
// goes to standard output as "file:line:column: reason".
int runCheck(const QStringList& args)
{
    QString model;
    QString project;
    QString data;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--project") && hasValue)
            project = args.at(++i);
        else if (a == QLatin1String("--data") && hasValue)
            data = args.at(++i);
        else if (!a.startsWith(QLatin1String("--")) && model.isEmpty())
            model = a;
        else {
            CliError(QStringLiteral("check: unexpected argument \"%1\"").arg(a));
            return 2;
        }
    }
    if (model.isEmpty() || (!project.isEmpty() && !data.isEmpty())) {
        CliError(QStringLiteral("usage: quorvin-cli check MODEL.qvnm|FOLDER [--project FILE.qvn | --data FILE.json]"));
        return 2;
    }
    CliStartup();

    TQXRowsPtr tables;
    QList<QPair<QString, QString>> vars;
    QVNBuildCollector collector;
    if (!data.isEmpty()) {
        TQXValue value;
        QString error;
        if (!QVNJsonData::ReadFile(data, value, error)) {
            CliError(QStringLiteral("check: ") + error);
            return 2;
        }
        tables = value.rows();
        if (!tables) {
            CliError(QStringLiteral("check: \"%1\" holds a column set; a table set (a row set) is needed").arg(data));
            return 2;
        }
        if (tables->Tag().isEmpty())
            tables->SetTag(QStringLiteral("TABLES"));
    } else {
        const QString file = project.isEmpty() ? QVNSampleProject::ProjectFile(Mdl_Main::ProjectPath) : project;
        TQXColsPtr projectVariables;
        QString folder;
        if (!collector.Collect(file, {}, tables, projectVariables, folder)) {
            CliError(QStringLiteral("check: ") + collector.Exceptions.ToString().trimmed());
            return 2;
        }
        for (const TQXColPtr& c : *projectVariables)
            vars.append({c->Key(), c->Value().ToText()});
    }

    QVNModelCheck check;
    if (!check.Check(model, tables, vars)) {
        CliError(QStringLiteral("check: ") + check.Exceptions.ToString().trimmed());
        return 2;
    }
    for (const QString& line : check.Lines())
        std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    if (std::fflush(stdout) != 0)
        return 2;
    return check.Lines().isEmpty() ? 0 : 1;
}

} // namespace

QUORVIN_CLI_COMMAND("check", runCheck)

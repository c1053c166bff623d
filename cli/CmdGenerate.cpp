// quorvin-cli generate: runs a model's build over a table set read from a JSON data file, or
// collected from a project file as the main window's build collects it.
#include "CliCommand.h"
#include "CliHeap.h"
#include "QVNBuildCollector.h"
#include "QVNGenerate.h"
#include "QVNGenerateRun.h"
#include "QVNJsonData.h"

namespace {

int runGenerate(const QStringList& args)
{
    // Ctrl-C cancels from the first moment on, whatever step the command is in.
    GenerateInterrupt interrupt;
    QString model, out, data, project;
    QStringList overrides, tableNames;
    bool allTables = false, views = false;
    GenerateOptions options;
    QVNBuildRequest request;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--model") && hasValue)
            model = args.at(++i);
        else if (a == QLatin1String("--out") && hasValue)
            out = args.at(++i);
        else if (a == QLatin1String("--data") && hasValue)
            data = args.at(++i);
        else if (a == QLatin1String("--project") && hasValue)
            project = args.at(++i);
        else if (a == QLatin1String("--tables") && hasValue)
            tableNames += args.at(++i).split(QLatin1Char(','), Qt::SkipEmptyParts);
        else if (a == QLatin1String("--all-tables"))
            allTables = true;
        else if (a == QLatin1String("--all"))
            allTables = views = true;
        else if (a == QLatin1String("--strict"))
            request.strict = true;
        else if (a == QLatin1String("--var") && hasValue)
            overrides.append(args.at(++i));
        else if (a == QLatin1String("--dry-run"))
            options.dryRun = true;
        else if (a == QLatin1String("--diff"))
            options.diff = true;
        else if (a == QLatin1String("--on-conflict") && hasValue &&
                 QVNBuildOutput::ParsePolicy(args.at(i + 1), request.onConflict))
            ++i;
        else {
            CliError(QStringLiteral("generate: unexpected argument \"%1\"").arg(a));
            return 2;
        }
    }
    const bool projectRoad = !project.isEmpty();
    // On the project road, naming neither --tables nor --all-tables means every table; --all
    // takes the views as well.
    const bool usable =
        !model.isEmpty() && (projectRoad ? data.isEmpty() && !(allTables && !tableNames.isEmpty())
                                         : !data.isEmpty() && !out.isEmpty() && !allTables && tableNames.isEmpty());
    if (!usable) {
        CliError(QStringLiteral("usage: quorvin-cli generate --model PACKAGE --out DIR --data TABLES.json "
                                "[--var KEY=VALUE]... [OPTIONS]\n"
                                "       quorvin-cli generate --project FILE --model PACKAGE [--tables A,B | "
                                "--all-tables | --all] [--out DIR] [--var KEY=VALUE]... [OPTIONS]\n"
                                "OPTIONS: --dry-run --diff --on-conflict merge|new|skip|overwrite"));
        return 2;
    }
    QString error;
    if (!QVNGenerate::ParseOverrides(overrides, request.overrides, error)) {
        CliError(QStringLiteral("generate: ") + error);
        return 2;
    }
    request.model = model;
    CliStartup();
    if (GenerateInterrupt::Pressed())
        return GenerateInterrupt::ReportCancelled();

    if (projectRoad) {
        // Importing a schema builds as many small sets as reading a large data set does.
        CliPrepareHeap();
        QVNBuildCollector collector;
        collector.Progress = [](const QString&, bool& cancel) { cancel = cancel || GenerateInterrupt::Pressed(); };
        TQXRowsPtr tables;
        TQXColsPtr projectVariables;
        QString folder;
        collector.IncludeViews = views;
        const bool collected =
            collector.Collect(project, allTables ? QStringList() : tableNames, tables, projectVariables, folder);
        // Connecting to the database cannot be interrupted; a Ctrl-C meanwhile is honoured after it.
        if (collector.Canceled() || GenerateInterrupt::Pressed())
            return GenerateInterrupt::ReportCancelled();
        if (!collected) {
            CliError(QStringLiteral("generate: ") + collector.Exceptions.ToString());
            // An unknown table or a missing, unreadable or damaged project file is bad input; a
            // database that cannot be reached is a failed operation. Either way nothing was written.
            return collector.BadInput() ? 2 : 1;
        }
        request.SetProjectVariables(projectVariables);
        if (out.isEmpty())
            out = QVNGenerate::DefaultOutputFolder(folder, project); // as the build dialog proposes it
        request.outDir = out;
        request.tables = tables;
        const int rc = RunGenerate(request, options);
        // The schema's sets are all this process still holds; the system frees them faster.
        LeaveToExit(tables);
        LeaveToExit(collector.ProjectTables());
        return rc;
    }

    TQXValue value;
    if (!QVNJsonData::ReadFile(data, value, error)) {
        CliError(QStringLiteral("generate: ") + error);
        return 2;
    }
    const TQXRowsPtr tables = value.rows();
    if (!tables) {
        CliError(QStringLiteral("generate: \"%1\" holds a column set; a table set (a row set) is needed").arg(data));
        return 2;
    }
    if (tables->Tag().isEmpty())
        tables->SetTag(QStringLiteral("TABLES"));
    if (GenerateInterrupt::Pressed())
        return GenerateInterrupt::ReportCancelled();
    request.SetProjectVariables(nullptr);
    request.outDir = out;
    request.tables = tables;
    return RunGenerate(request, options);
}

} // namespace

QUORVIN_CLI_COMMAND("generate", runGenerate)

// quorvin-cli generate: runs a model's build over a table set read from a JSON data file.
#include "CliCommand.h"
#include "QVNGenerateRun.h"
#include "QVNJsonData.h"

namespace {

int runGenerate(const QStringList& args)
{
    QString model, out, data;
    QStringList overrides;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--model") && hasValue)
            model = args.at(++i);
        else if (a == QLatin1String("--out") && hasValue)
            out = args.at(++i);
        else if (a == QLatin1String("--data") && hasValue)
            data = args.at(++i);
        else if (a == QLatin1String("--var") && hasValue)
            overrides.append(args.at(++i));
        else {
            CliError(QStringLiteral("generate: unexpected argument \"%1\"").arg(a));
            return 2;
        }
    }
    if (model.isEmpty() || out.isEmpty() || data.isEmpty()) {
        CliError(QStringLiteral("usage: quorvin-cli generate --model PACKAGE --out DIR --data TABLES.json "
                                "[--var KEY=VALUE]..."));
        return 2;
    }
    CliStartup();

    TQXValue value;
    QString error;
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
    return RunGenerate(model, out, tables, {}, overrides);
}

} // namespace

QUORVIN_CLI_COMMAND("generate", "--model PACKAGE --out DIR --data TABLES.json [--var KEY=VALUE]...", runGenerate)

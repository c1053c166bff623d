#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNParser.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace {

// Reads a variable file ("[section]" headers) and writes its sections as a JSON array of
// [key, value] pairs in file order.
int runVars(const QStringList& args)
{
    if (args.size() != 1) {
        CliError(QStringLiteral("usage: quorvin-cli vars FILE"));
        return 2;
    }
    const QFileInfo info(args[0]);
    if (!info.isFile() || !info.isReadable()) {
        CliError(QStringLiteral("quorvin-cli vars: %1: no such file").arg(args[0]));
        return 2;
    }
    QVNParser parser;
    // keeps the set alive for the loop
    const TQXColsPtr sections = parser.GetTempVariable(Mdl_Main::Function().ReadFile(args[0]));
    QJsonArray pairs;
    for (const TQXColPtr& col : *sections)
        pairs.append(QJsonArray{col->Key(), col->Value().ToText()});
    const QByteArray bytes = QJsonDocument(pairs).toJson(QJsonDocument::Indented);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

QUORVIN_CLI_COMMAND("vars", runVars)

#include "CliCommand.h"
#include "QVNParser.h"

#include <cstdio>

namespace {

// Writes the value of a VBScript expression as text (nothing added; errors give the empty text).
// Arguments after "eval" are joined by spaces, so an unquoted expression works too.
int runEval(const QStringList& args)
{
    QStringList parts = args;
    if (!parts.isEmpty() && parts.first() == QLatin1String("--"))
        parts.removeFirst();
    if (parts.isEmpty()) {
        CliError(QStringLiteral("usage: quorvin-cli eval EXPR"));
        return 2;
    }
    QVNParser parser;
    const QByteArray bytes = parser.GetCalcData(parts.join(QLatin1Char(' '))).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

QUORVIN_CLI_COMMAND("eval", runEval)

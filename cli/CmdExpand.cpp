#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNJsonData.h"
#include "QVNParser.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

namespace {

const char* const kUsage = "[--timing] TEMPLATE DATA.json";

// Expands TEMPLATE against the sets of DATA.json and writes the result to standard output as UTF-8,
// with nothing added. With --timing, "read: N ms, expand: M ms" goes to standard error, so the
// engine can be timed apart from reading the inputs.
int runExpand(const QStringList& args)
{
    bool timing = false;
    QStringList files;
    for (const QString& a : args) {
        if (a == QLatin1String("--timing"))
            timing = true;
        else if (a.startsWith(QLatin1String("--")) && a.size() > 2) {
            CliError(QStringLiteral("quorvin-cli expand: unknown option %1").arg(a));
            return 2;
        } else
            files << a;
    }
    if (files.size() != 2) {
        CliError(QStringLiteral("usage: quorvin-cli expand %1").arg(QLatin1String(kUsage)));
        return 2;
    }

    QElapsedTimer clock;
    clock.start();
    const QFileInfo templateInfo(files[0]);
    if (!templateInfo.isFile() || !templateInfo.isReadable()) {
        CliError(QStringLiteral("quorvin-cli expand: %1: no such file").arg(files[0]));
        return 2;
    }
    const QString text = Mdl_Main::Function().ReadFile(files[0]);
    TQXValue data;
    QString error;
    if (!QVNJsonData::ReadFile(files[1], data, error)) {
        CliError(QStringLiteral("quorvin-cli expand: ") + error);
        return 2;
    }
    const qint64 readMs = clock.restart();

    QVNParser parser;
    const QString result = data.type() == TQXValue::Type::Cols ? parser.ConvertCols(text, data.cols())
                                                               : parser.ConvertRows(text, data.rows());
    const qint64 expandMs = clock.elapsed();

    const QByteArray bytes = result.toUtf8();
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) !=
            static_cast<size_t>(bytes.size()) ||
        std::fflush(stdout) != 0) {
        CliError(QStringLiteral("quorvin-cli expand: cannot write the result"));
        return 1;
    }
    if (timing)
        std::fprintf(stderr, "read: %lld ms, expand: %lld ms\n", static_cast<long long>(readMs),
                     static_cast<long long>(expandMs));
    return 0;
}

} // namespace

QUORVIN_CLI_COMMAND("expand", kUsage, runExpand)

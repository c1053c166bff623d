#include "CliCommand.h"
#include "CliHeap.h"
#include "Mdl_Main.h"
#include "QVNDiagnostics.h"
#include "QVNFunction.h"
#include "QVNJsonData.h"
#include "QVNParser.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>

#if defined(__GLIBC__) && defined(__linux__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

/// Processor time of the process so far (user + system), in milliseconds.
qint64 cpuMs()
{
    timespec ts{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0)
        return 0;
    return static_cast<qint64>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

/**
 * Writes the text to standard output as UTF-8, a slice at a time: the output of a large model runs
 * to megabytes, and converting it whole would fill a second buffer of that size first. A slice
 * never ends between the two halves of a surrogate pair, so the bytes are those of toUtf8().
 */
bool writeUtf8(QStringView text)
{
    constexpr qsizetype kSlice = 64 * 1024;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype n = std::min(kSlice, text.size() - at);
        if (at + n < text.size() && text[at + n - 1].isHighSurrogate())
            --n;
        const QByteArray bytes = text.sliced(at, n).toUtf8();
        if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) !=
            static_cast<size_t>(bytes.size()))
            return false;
        at += n;
    }
    return std::fflush(stdout) == 0;
}

const char* const kUsage = "[--timing] [--strict | --no-diagnostics] TEMPLATE DATA.json";

// Expands TEMPLATE against the sets of DATA.json and writes the result to standard output as UTF-8,
// with nothing added. With --timing, "read: N ms, expand: M ms (cpu: ...)" goes to standard error, so the
// engine can be timed apart from reading the inputs. The template's diagnostics go to standard error
// as "file:line:column: reason"; with --strict they make the exit code 1.
int runExpand(const QStringList& args)
{
    bool timing = false;
    bool strict = false;
    bool diagnose = true;
    QStringList files;
    for (const QString& a : args) {
        if (a == QLatin1String("--timing"))
            timing = true;
        else if (a == QLatin1String("--strict"))
            strict = true;
        else if (a == QLatin1String("--no-diagnostics"))
            diagnose = false;
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

    CliPrepareHeap();
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
    bool read = false;
    try {
        read = QVNJsonData::ReadFile(files[1], data, error);
    } catch (const std::bad_alloc&) {
        error = QStringLiteral("%1: out of memory while reading the data file").arg(files[1]);
    }
    if (!read) {
        CliError(QStringLiteral("quorvin-cli expand: ") + error);
        return 2;
    }
    const qint64 readMs = clock.restart();
    const qint64 readCpu = cpuMs();

    QVNParser parser;
    QVNDiagnostics diagnostics;
    if (diagnose) {
        diagnostics.AddSource(files[0], text);
        diagnostics.CheckStructure();
        parser.SetDiagnostics(&diagnostics);
    }
    QString result;
    try {
        result = data.type() == TQXValue::Type::Cols ? parser.ConvertCols(text, data.cols())
                                                     : parser.ConvertRows(text, data.rows());
        if (diagnose)
            diagnostics.CheckOutput(result);
    } catch (const std::bad_alloc&) {
        CliError(QStringLiteral("quorvin-cli expand: out of memory while expanding the template"));
        return 1;
    }
    const qint64 expandMs = clock.elapsed();
    const qint64 expandCpu = cpuMs() - readCpu;
    if (parser.OverLimit()) {
        CliError(QStringLiteral("quorvin-cli expand: ") + parser.Exceptions.ToString().trimmed());
        return 2;
    }

    if (!writeUtf8(result)) {
        CliError(QStringLiteral("quorvin-cli expand: cannot write the result"));
        return 1;
    }
    if (timing)
        std::fprintf(stderr, "read: %lld ms, expand: %lld ms (cpu: read %lld ms, expand %lld ms)\n",
                     static_cast<long long>(readMs), static_cast<long long>(expandMs), static_cast<long long>(readCpu),
                     static_cast<long long>(expandCpu));
    for (const QVNDiagnostic& d : diagnostics.Items())
        CliError(d.Text());
    std::fflush(stderr);
    // Everything is written. A model's data set is some hundred thousand small objects; freeing them
    // one by one would cost a good part of the run, and the process ends here anyway.
    std::_Exit(strict && !diagnostics.IsEmpty() ? 1 : 0);
}

} // namespace

QUORVIN_CLI_COMMAND("expand", runExpand)

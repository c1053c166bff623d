#include "QVNGenerateRun.h"

#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNGenerate.h"
#include "QVNLanguage.h"
#include "QVNTextMerge.h"

#include <unistd.h>

#include <QElapsedTimer>

#include <csignal>
#include <cstdio>
#include <optional>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
int g_interruptScopes = 0;

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
    // A second Ctrl-C ends the program the usual way.
    std::signal(SIGINT, SIG_DFL);
}

// The progress line of a terminal: one line rewritten in place, cleared before a log line.
class ProgressLine
{
public:
    explicit ProgressLine(bool terminal) : m_terminal(terminal) { m_clock.start(); }

    void Log(const QString& line)
    {
        Clear();
        std::fputs(line.toUtf8().constData(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    void Show(const QString& text)
    {
        if (!m_terminal || m_clock.elapsed() < 50)
            return; // redrawing more often only slows the build down
        m_clock.restart();
        QString shown = text;
        shown.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (shown.size() > 100)
            shown = shown.left(97) + QStringLiteral("...");
        std::fputs("\r\x1b[K", stderr);
        std::fputs(shown.toUtf8().constData(), stderr);
        std::fflush(stderr);
        m_shown = true;
    }
    void Clear()
    {
        if (m_shown) {
            std::fputs("\r\x1b[K", stderr);
            m_shown = false;
        }
    }

private:
    bool m_terminal;
    bool m_shown = false;
    QElapsedTimer m_clock;
};

QString localized(const QString& section, const QString& key, const QString& fallback)
{
    const QString text = Mdl_Main::Language().GetLocalizeMessage(section, key);
    return text.isEmpty() ? fallback : text;
}

} // namespace

GenerateInterrupt::GenerateInterrupt()
{
    ++g_interruptScopes;
    g_interrupted = 0;
    m_previous = std::signal(SIGINT, onInterrupt);
}

GenerateInterrupt::~GenerateInterrupt()
{
    --g_interruptScopes;
    std::signal(SIGINT, m_previous == SIG_ERR ? SIG_DFL : m_previous);
}

bool GenerateInterrupt::Pressed()
{
    return g_interrupted != 0;
}

int GenerateInterrupt::ReportCancelled()
{
    CliError(localized(QStringLiteral("QVNGENERATE"), QStringLiteral("MESSAGE_CANCELLED"),
                       QStringLiteral("generate: cancelled; the output folder was not changed")));
    return 1;
}

int RunGenerate(const QVNBuildRequest& request, const GenerateOptions& options)
{
    // A command that installed no handler of its own (tests, benchmarks) still cancels on Ctrl-C.
    std::optional<GenerateInterrupt> ownInterrupt;
    if (g_interruptScopes == 0)
        ownInterrupt.emplace();
    if (GenerateInterrupt::Pressed())
        return GenerateInterrupt::ReportCancelled();

    ProgressLine progress(isatty(fileno(stderr)) != 0);
    auto pollInterrupt = [&](bool& cancel) {
        if (g_interrupted)
            cancel = true;
    };
    QVNGenerate generate;
    generate.Progress = [&](const QString& message, bool& cancel) {
        if (!message.isEmpty())
            progress.Log(message);
        pollInterrupt(cancel);
    };
    generate.Detail = [&](const QString& message, bool& cancel) {
        if (!message.isEmpty())
            progress.Show(message);
        pollInterrupt(cancel);
    };

    bool ok = generate.Prepare(request);
    progress.Clear();
    if (generate.BadInput()) {
        CliError(QStringLiteral("generate: ") + generate.Exceptions.ToString());
        return 2;
    }
    if (!ok && (generate.Canceled() || GenerateInterrupt::Pressed()))
        return GenerateInterrupt::ReportCancelled();
    if (!ok) {
        const QStringList causes = generate.FailureCauses();
        if (!causes.isEmpty())
            CliError(causes.join(QLatin1Char('\n')));
        CliError(QStringLiteral("generate: the build failed; the output folder was not changed"));
        return 1;
    }

    // What publishing would do, one line per file it touches.
    QString list;
    QByteArray diffs;
    for (const QVNBuildOutput::File& f : generate.Output().Files()) {
        const bool quiet = f.action == QVNBuildOutput::Action::Skip && f.kind == QVNBuildOutput::Kind::Unchanged;
        if (quiet)
            continue;
        list += QStringLiteral("%1  %2  %3\n")
                    .arg(QVNBuildOutput::KindName(f.kind), -18)
                    .arg(QVNBuildOutput::ActionName(f.action), -10)
                    .arg(f.path);
        for (const QString& note : f.notes)
            list += QStringLiteral("      %1\n").arg(note);
        if (options.diff) {
            const QByteArray& after = f.action == QVNBuildOutput::Action::Merge ? f.merged : f.generated;
            if (f.action == QVNBuildOutput::Action::Delete)
                diffs += QVNTextMerge::UnifiedDiff(f.current, QByteArray(), f.path);
            else if (f.kind != QVNBuildOutput::Kind::Removed)
                diffs += QVNTextMerge::UnifiedDiff(f.current, after, f.path);
        }
    }
    std::fputs(list.toUtf8().constData(), stdout);
    std::fwrite(diffs.constData(), 1, size_t(diffs.size()), stdout);
    if (options.dryRun) {
        const bool changes = generate.Output().WouldChange();
        generate.Discard();
        std::fflush(stdout);
        return changes ? 3 : 0;
    }
    ok = generate.Publish();
    progress.Clear();
    if (!ok) {
        if (generate.Canceled())
            return GenerateInterrupt::ReportCancelled();
        CliError(QStringLiteral("generate: ") + generate.Exceptions.ToString());
        return 1;
    }
    if (!generate.ReadmePage().isEmpty()) {
        if (generate.ReadmeFilled())
            progress.Log(localized(QStringLiteral("QVNGENERATE"), QStringLiteral("MESSAGE_README"),
                                   QStringLiteral("Read-me page")) +
                         QStringLiteral(": ") + generate.ReadmePage());
        else
            CliError(localized(QStringLiteral("QVNGENERATE"), QStringLiteral("ERROR_README"),
                               QStringLiteral("Cannot write the read-me page")) +
                     QStringLiteral(": ") + generate.ReadmePage());
    }
    std::fputs((generate.OutputFolder() + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
    return 0;
}

int RunGenerate(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides, bool strict)
{
    QVNBuildRequest request;
    request.strict = strict;
    QString error;
    if (!QVNGenerate::MakeRequest(model, outDir, tables, projectVars, overrides, request, error)) {
        CliError(QStringLiteral("generate: ") + error);
        return 2;
    }
    return RunGenerate(request);
}

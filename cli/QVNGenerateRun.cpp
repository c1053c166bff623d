#include "QVNGenerateRun.h"

#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNGenerate.h"
#include "QVNLanguage.h"

#include <unistd.h>

#include <QElapsedTimer>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void onInterrupt(int)
{
    g_interrupted = 1;
    // A second Ctrl-C ends the program the usual way.
    std::signal(SIGINT, SIG_DFL);
}

// Installs the Ctrl-C handler for the lifetime of one build and restores the previous one.
class InterruptScope
{
public:
    InterruptScope()
    {
        g_interrupted = 0;
        m_previous = std::signal(SIGINT, onInterrupt);
    }
    ~InterruptScope() { std::signal(SIGINT, m_previous == SIG_ERR ? SIG_DFL : m_previous); }
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    void (*m_previous)(int) = nullptr;
};

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

int RunGenerate(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides, bool strict)
{
    ProgressLine progress(isatty(fileno(stderr)) != 0);
    InterruptScope interrupt;
    bool cancelReported = false;
    auto pollInterrupt = [&](bool& cancel) {
        if (!g_interrupted)
            return;
        cancel = true;
        if (!cancelReported) {
            cancelReported = true;
            progress.Log(localized(QStringLiteral("QVNGENERATE"), QStringLiteral("MESSAGE_CANCELING"),
                                   QStringLiteral("Cancelling ...")));
        }
    };
    QVNGenerate generate;
    generate.SetStrict(strict);
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

    const bool ok = generate.Run(model, outDir, tables, projectVars, overrides);
    progress.Clear();
    if (generate.BadInput()) {
        CliError(QStringLiteral("generate: ") + generate.Exceptions.ToString());
        return 2;
    }
    if (!ok) {
        const QStringList causes = generate.FailureCauses();
        if (!causes.isEmpty())
            CliError(causes.join(QLatin1Char('\n')));
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
    return ok ? 0 : 1;
}

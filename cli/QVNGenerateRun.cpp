#include "QVNGenerateRun.h"

#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNLanguage.h"
#include "QVNModel.h"
#include "QVNModelPath.h"
#include "QVNParser.h"
#include "QVNProgress.h"

#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

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

bool BuildGenerateVariables(const TQXColsPtr& modelInfo, const QString& outFolder,
                            const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides,
                            TQXColsPtr& variables, QString& error)
{
    const QDateTime now = QDateTime::currentDateTime();
    auto dialogVars = TQXCols::Create();
    dialogVars->Add(TQXValue(now.toString(QStringLiteral("yyyy-MM-dd"))), QStringLiteral("RVG_DATE"));
    dialogVars->Add(TQXValue(now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))), QStringLiteral("RVG_DATETIME"));
    for (const auto& [name, value] : projectVars)
        dialogVars->Add(TQXValue(value), QStringLiteral("RVG_") + name);

    variables = TQXCols::Create();
    variables->Copy(dialogVars);
    QString folder = outFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    variables->Add(TQXValue(folder), QStringLiteral("RVG_FOLDER"));

    if (modelInfo) {
        if (const TQXColPtr list = modelInfo->Item("MI_VARIABLE"); list && list->Value().rows()) {
            QVNParser parser;
            for (const TQXRowPtr& record : *list->Value().rows()) {
                const TQXColsPtr& cols = record->Cols();
                const QString key = cols->Text(QStringLiteral("MV_NO")).trimmed();
                // Trimmed of spaces only, as the dialog trims: a multi-line default keeps its breaks.
                const QString def = QVNFunction::TrimSpaces(cols->Text(QStringLiteral("MV_DEFAULT"))).toString();
                variables->Add(TQXValue(parser.ConvertCols(def, dialogVars)), key);
            }
        }
    }

    for (const QString& item : overrides) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            error = QStringLiteral("--var needs KEY=VALUE, not \"%1\"").arg(item);
            return false;
        }
        const QString key = item.left(eq).trimmed();
        const QString value = item.mid(eq + 1);
        if (const TQXColPtr col = variables->Item(key))
            col->SetValue(TQXValue(value));
        else
            variables->Add(TQXValue(value), key);
    }
    return true;
}

int RunGenerate(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides)
{
    if (!QFileInfo(model).isFile()) {
        CliError(QStringLiteral("generate: the model package \"%1\" does not exist").arg(model));
        return 2;
    }
    const QString out = QDir(outDir).absolutePath() + QLatin1Char('/');
    const QString modelPath = QFileInfo(model).absoluteFilePath();

    QVNModel qvnModel;
    const TQXColsPtr info = qvnModel.GetModelInfo(modelPath);
    if (!info) {
        CliError(QStringLiteral("generate: \"%1\" is not a model package that can be opened").arg(model));
        CliError(qvnModel.Exceptions.ToString());
        return 2;
    }
    TQXColsPtr variables;
    QString error;
    if (!BuildGenerateVariables(info, out, projectVars, overrides, variables, error)) {
        CliError(QStringLiteral("generate: ") + error);
        return 2;
    }

    TQXRowsPtr tableSet = tables;
    if (!tableSet) {
        tableSet = TQXRows::Create();
        tableSet->SetTag(QStringLiteral("TABLES"));
    }

    ProgressLine progress(isatty(fileno(stderr)) != 0);
    InterruptScope interrupt;
    QString log;
    bool cancelReported = false;
    qvnModel.SetProgressListener([&](const QString& message, bool& cancel, bool self) {
        if (!message.isEmpty()) {
            if (self) {
                log += message + QStringLiteral("\r\n");
                progress.Log(message);
            } else {
                progress.Show(message);
            }
        }
        if (g_interrupted) {
            cancel = true;
            if (!cancelReported) {
                cancelReported = true;
                progress.Log(localized(QStringLiteral("QVNGENERATE"), QStringLiteral("MESSAGE_CANCELING"),
                                       QStringLiteral("Cancelling ...")));
            }
        }
    });

    const bool ok = qvnModel.BuildProcess(modelPath, out, variables, tableSet);
    progress.Clear();
    // The failures' own lines are already in the log; add only the causes beneath them.
    if (!ok) {
        QStringList causes;
        for (const TQXColPtr& c : *qvnModel.Exceptions.Messages) {
            const QString text = c->Value().ToText();
            if (c->Tag() != QLatin1String("0") || !log.contains(text + QStringLiteral("\r\n")))
                causes.append(QString(5 * c->Tag().toInt(), QLatin1Char(' ')) + text);
        }
        if (!causes.isEmpty())
            CliError(causes.join(QLatin1Char('\n')));
    }

    const QString readme = info->Text(QStringLiteral("MI_README")).trimmed();
    if (!readme.isEmpty()) {
        const QString page = out + QVNModelPath::Clean(readme); // as FillReadmeLog finds it
        if (QVNModel::FillReadmeLog(out, readme, log))
            progress.Log(localized(QStringLiteral("QVNGENERATE"), QStringLiteral("MESSAGE_README"),
                                   QStringLiteral("Read-me page")) +
                         QStringLiteral(": ") + page);
        else
            CliError(localized(QStringLiteral("QVNGENERATE"), QStringLiteral("ERROR_README"),
                               QStringLiteral("Cannot write the read-me page")) +
                     QStringLiteral(": ") + page);
    }
    std::fputs((out + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
    return ok ? 0 : 1;
}

#include "QVNGenerate.h"

#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNModel.h"
#include "QVNModelPath.h"
#include "QVNParser.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

TQXColsPtr dateVariables()
{
    const QDateTime now = QDateTime::currentDateTime();
    auto vars = TQXCols::Create();
    vars->Add(TQXValue(now.toString(QStringLiteral("yyyy-MM-dd"))), QStringLiteral("RVG_DATE"));
    vars->Add(TQXValue(now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))), QStringLiteral("RVG_DATETIME"));
    return vars;
}

} // namespace

void QVNBuildRequest::SetProjectVariables(const TQXColsPtr& project)
{
    variables = dateVariables();
    if (project) {
        for (const TQXColPtr& col : *project)
            variables->Add(col->Value(), QStringLiteral("RVG_") + col->Key());
    }
}

QString QVNGenerate::ExpandDefault(const QString& mvDefault, const TQXColsPtr& callerVariables)
{
    // Trimmed of spaces only: a multi-line default keeps its breaks.
    QVNParser parser;
    return parser.ConvertCols(QVNFunction::TrimSpaces(mvDefault).toString(), callerVariables);
}

TQXColsPtr QVNGenerate::Variables(const TQXColsPtr& modelInfo, const QString& outFolder,
                                  const TQXColsPtr& callerVariables, const QMap<QString, QString>& overrides)
{
    const TQXColsPtr caller = callerVariables ? callerVariables : dateVariables();
    auto variables = TQXCols::Create();
    variables->Copy(caller);
    QString folder = outFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    variables->Add(TQXValue(folder), QStringLiteral("RVG_FOLDER"));
    if (modelInfo) {
        if (const TQXColPtr list = modelInfo->Item("MI_VARIABLE"); list && list->Value().rows()) {
            for (const TQXRowPtr& record : *list->Value().rows()) {
                const TQXColsPtr& cols = record->Cols();
                variables->Add(TQXValue(ExpandDefault(cols->Text(QStringLiteral("MV_DEFAULT")), caller)),
                               cols->Text(QStringLiteral("MV_NO")).trimmed());
            }
        }
    }
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
        const QString key = it.key().trimmed();
        if (const TQXColPtr col = variables->Item(key))
            col->SetValue(TQXValue(it.value()));
        else
            variables->Add(TQXValue(it.value()), key);
    }
    return variables;
}

bool QVNGenerate::ParseOverrides(const QStringList& items, QMap<QString, QString>& overrides, QString& error)
{
    for (const QString& item : items) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            error = QStringLiteral("--var needs KEY=VALUE, not \"%1\"").arg(item);
            return false;
        }
        overrides.insert(item.left(eq).trimmed(), item.mid(eq + 1));
    }
    return true;
}

bool QVNGenerate::BuildVariables(const TQXColsPtr& modelInfo, const QString& outFolder,
                                 const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides,
                                 TQXColsPtr& variables, QString& error)
{
    QMap<QString, QString> map;
    if (!ParseOverrides(overrides, map, error))
        return false;
    auto project = TQXCols::Create();
    for (const auto& [name, value] : projectVars)
        project->Add(TQXValue(value), name);
    QVNBuildRequest request;
    request.SetProjectVariables(project);
    variables = Variables(modelInfo, outFolder, request.variables, map);
    return true;
}

QString QVNGenerate::DefaultOutputFolder(const QString& projectFolder, const QString& projectFile)
{
    if (!projectFolder.trimmed().isEmpty())
        return projectFolder.trimmed();
    return Mdl_Main::OutPath + QFileInfo(projectFile).completeBaseName();
}

QString QVNGenerate::UsableOutputFolder(const QString& wanted)
{
    QVNFunction& fn = Mdl_Main::Function();
    const QString folder = fn.AddFolderMark(wanted.trimmed());
    if (!wanted.trimmed().isEmpty() && fn.CreateFolder(folder))
        return folder;
    const QString fallback = Mdl_Main::AppPath + QStringLiteral("out/");
    fn.CreateFolder(fallback);
    return fallback;
}

void QVNGenerate::AddLogLine(const QString& line)
{
    bool cancel = m_canceled;
    m_log += line + QStringLiteral("\r\n");
    if (Progress)
        Progress(line, cancel);
    m_canceled = m_canceled || cancel;
}

void QVNGenerate::Warn(const QString& warning)
{
    m_warnings.append(warning);
    AddLogLine(QStringLiteral("Warning: ") + warning);
}

bool QVNGenerate::Prepare(const QVNBuildRequest& request)
{
    Exceptions.Clear();
    m_output->Discard();
    m_badInput = true;
    m_canceled = false;
    m_published = false;
    m_readmeFilled = false;
    m_log.clear();
    m_diagnostics.clear();
    m_readme.clear();
    m_warnings.clear();
    m_info.reset();
    m_out = QDir(request.outDir).absolutePath() + QLatin1Char('/');

    // 1. The package and its information record: without them there is nothing to build.
    if (!QFileInfo(request.model).isFile()) {
        Exceptions.Add(QStringLiteral("the model package \"%1\" does not exist").arg(request.model));
        return false;
    }
    const QString modelPath = QFileInfo(request.model).absoluteFilePath();
    QVNModel qvnModel;
    qvnModel.SetLanguage(request.language);
    m_info = qvnModel.GetModelInfo(modelPath);
    if (!m_info) {
        Exceptions.Add(QStringLiteral("\"%1\" is not a model package that can be opened").arg(request.model));
        Exceptions.AddExceptions(qvnModel.Exceptions);
        return false;
    }
    const TQXColsPtr variables = Variables(m_info, m_out, request.variables, request.overrides);
    m_badInput = false;

    TQXRowsPtr tableSet = request.tables;
    if (!tableSet) {
        tableSet = TQXRows::Create();
        tableSet->SetTag(QStringLiteral("TABLES"));
    }

    // 2. The build writes into a staging folder beside the output folder; its messages name the
    // output folder, which is where the files will be.
    if (!m_output->Begin(m_out)) {
        Exceptions.AddExceptions(m_output->Exceptions);
        return false;
    }
    const QString stage = m_output->StageFolder();
    qvnModel.SetProgressListener(
        [this, &stage](const QString& message, bool& cancel) {
            QString line = message;
            line.replace(stage, m_out);
            if (!line.isEmpty())
                m_log += line + QStringLiteral("\r\n");
            if (Progress)
                Progress(line, cancel);
        },
        [this, &stage](const QString& message, bool& cancel) {
            if (Detail)
                Detail(QString(message).replace(stage, m_out), cancel);
        });
    qvnModel.SetStrict(m_strict || request.strict);
    const bool ok = qvnModel.BuildProcess(modelPath, stage, variables, tableSet);
    m_diagnostics = qvnModel.Diagnostics().Lines();
    m_canceled = qvnModel.Canceled();
    if (!ok) {
        for (const TQXColPtr& c : *qvnModel.Exceptions.Messages)
            c->SetValue(TQXValue(c->Value().ToText().replace(stage, m_out)));
        Exceptions.AddExceptions(qvnModel.Exceptions);
        m_output->Discard();
        return false;
    }

    // 3. What the build produced but should not have: tags left in an output, tables the database
    // did not give a single column for (ticked, then dropped from the database).
    for (const TQXRowPtr& table : *tableSet) {
        const TQXColPtr columns = table->Cols()->Item(QStringLiteral("COLUMNS"));
        if (columns && columns->Value().rows() && columns->Value().rows()->Count() == 0)
            Warn(QStringLiteral("table %1: no columns were read; the database may no longer have it")
                     .arg(table->Cols()->Text(QStringLiteral("TL_NAME"))));
    }
    // Tags left in an output and the other mistakes of the templates were found by the engine while
    // expanding, with file, line and column, and are lines of the log already; they count as warnings.
    m_warnings += m_diagnostics;
    const QString readme = m_info->Text(QStringLiteral("MI_README")).trimmed();
    const QString readmePath = QVNModelPath::Clean(QVNModelPath::Normalize(readme));

    // 4. The read-me page gets the log in the staging folder and is published with the rest.
    if (!readme.isEmpty()) {
        m_readme = m_out + readmePath;
        m_readmeFilled = QVNModel::FillReadmeLog(stage, readme, m_log);
    }

    // 5. Every staged file compared with the output folder and the last build's record.
    if (!m_output->Classify(request.onConflict)) {
        Exceptions.AddExceptions(m_output->Exceptions);
        m_output->Discard();
        return false;
    }
    bool cancel = false;
    if (Progress)
        Progress(QString(), cancel);
    if (cancel || m_canceled) {
        m_canceled = true;
        m_output->Discard();
        return false;
    }
    return true;
}

bool QVNGenerate::Publish()
{
    Exceptions.Clear();
    const QString name = m_info ? m_info->Text(QStringLiteral("MI_NAME")) : QString();
    const QString version = m_info ? m_info->Text(QStringLiteral("MI_VERSION")) : QString();
    // A conflict that could not be merged is said once more where the user reads the result.
    for (const QVNBuildOutput::File& f : m_output->Files()) {
        if (f.kind == QVNBuildOutput::Kind::Conflict && f.action == QVNBuildOutput::Action::WriteNew)
            Warn(
                QStringLiteral("%1: your edits and this build's changes could not be merged; the new text is in %1.new")
                    .arg(f.path));
    }
    m_published = m_output->Publish(name, version, Progress);
    if (!m_published) {
        m_canceled = m_output->Canceled();
        Exceptions.AddExceptions(m_output->Exceptions);
        AddLogLine(m_canceled ? QStringLiteral("Publishing cancelled; the output folder is as it was.")
                              : QStringLiteral("Publishing failed; the output folder is as it was."));
    }
    return m_published;
}

void QVNGenerate::Discard()
{
    m_output->Discard();
}

bool QVNGenerate::Run(const QVNBuildRequest& request, bool dryRun)
{
    if (!Prepare(request))
        return false;
    if (dryRun) {
        Discard();
        return true;
    }
    return Publish();
}

bool QVNGenerate::MakeRequest(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                              const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides,
                              QVNBuildRequest& request, QString& error)
{
    request.model = model;
    request.outDir = outDir;
    request.tables = tables;
    auto project = TQXCols::Create();
    for (const auto& [name, value] : projectVars)
        project->Add(TQXValue(value), name);
    request.SetProjectVariables(project);
    return ParseOverrides(overrides, request.overrides, error);
}

bool QVNGenerate::Run(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                      const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides)
{
    QVNBuildRequest request;
    QString error;
    if (!MakeRequest(model, outDir, tables, projectVars, overrides, request, error)) {
        Exceptions.Clear();
        Exceptions.Add(error);
        m_badInput = true;
        m_log.clear();
        return false;
    }
    return Run(request);
}

QStringList QVNGenerate::FailureCauses() const
{
    // The build's own failure lines are already in the log; only the causes beneath them are new.
    // Exceptions holds the build's lines one level down (AddExceptions).
    QStringList causes;
    for (const TQXColPtr& c : *Exceptions.Messages) {
        const int level = c->Tag().toInt() - 1;
        const QString text = c->Value().ToText();
        if (level != 0 || !m_log.contains(text + QStringLiteral("\r\n")))
            causes.append(QString(5 * std::max(level, 0), QLatin1Char(' ')) + text);
    }
    return causes;
}

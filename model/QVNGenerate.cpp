#include "QVNGenerate.h"

#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNModel.h"
#include "QVNModelPath.h"
#include "QVNParser.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

bool QVNGenerate::BuildVariables(const TQXColsPtr& modelInfo, const QString& outFolder,
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

bool QVNGenerate::Run(const QString& model, const QString& outDir, const TQXRowsPtr& tables,
                      const QList<QPair<QString, QString>>& projectVars, const QStringList& overrides)
{
    Exceptions.Clear();
    m_badInput = true;
    m_canceled = false;
    m_readmeFilled = false;
    m_log.clear();
    m_diagnostics.clear();
    m_readme.clear();
    m_info.reset();
    m_out = QDir(outDir).absolutePath() + QLatin1Char('/');

    // 1. The package and its information record: without them there is nothing to build.
    if (!QFileInfo(model).isFile()) {
        Exceptions.Add(QStringLiteral("the model package \"%1\" does not exist").arg(model));
        return false;
    }
    const QString modelPath = QFileInfo(model).absoluteFilePath();
    QVNModel qvnModel;
    m_info = qvnModel.GetModelInfo(modelPath);
    if (!m_info) {
        Exceptions.Add(QStringLiteral("\"%1\" is not a model package that can be opened").arg(model));
        Exceptions.AddExceptions(qvnModel.Exceptions);
        return false;
    }
    TQXColsPtr variables;
    QString error;
    if (!BuildVariables(m_info, m_out, projectVars, overrides, variables, error)) {
        Exceptions.Add(error);
        return false;
    }
    m_badInput = false;

    TQXRowsPtr tableSet = tables;
    if (!tableSet) {
        tableSet = TQXRows::Create();
        tableSet->SetTag(QStringLiteral("TABLES"));
    }

    // 2. The build, its main messages kept as the log.
    qvnModel.SetProgressListener(
        [this](const QString& message, bool& cancel) {
            if (!message.isEmpty())
                m_log += message + QStringLiteral("\r\n");
            if (Progress)
                Progress(message, cancel);
        },
        [this](const QString& message, bool& cancel) {
            if (Detail)
                Detail(message, cancel);
        });
    qvnModel.SetStrict(m_strict);
    const bool ok = qvnModel.BuildProcess(modelPath, m_out, variables, tableSet);
    m_diagnostics = qvnModel.Diagnostics().Lines();
    m_canceled = qvnModel.Canceled();
    if (!ok)
        Exceptions.AddExceptions(qvnModel.Exceptions);

    // 3. The read-me page gets the log, after a failed build too: the log says what happened.
    const QString readme = m_info->Text(QStringLiteral("MI_README")).trimmed();
    if (!readme.isEmpty()) {
        m_readme = m_out + QVNModelPath::Clean(readme); // where FillReadmeLog finds it
        m_readmeFilled = QVNModel::FillReadmeLog(m_out, readme, m_log);
    }
    return ok;
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

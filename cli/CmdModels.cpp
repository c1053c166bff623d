// quorvin-cli models: lists the model packages of a folder as the build dialog lists them.
#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNJsonData.h"
#include "QVNModel.h"

#include <QFileInfo>

#include <cstdio>

namespace {

int runModels(const QStringList& args)
{
    bool json = false;
    QString folder;
    for (const QString& a : args) {
        if (a == QLatin1String("--json"))
            json = true;
        else if (folder.isEmpty() && !a.startsWith(QLatin1String("--")))
            folder = a;
        else {
            CliError(QStringLiteral("models: unexpected argument \"%1\"").arg(a));
            return 2;
        }
    }
    CliStartup();
    if (folder.isEmpty())
        folder = Mdl_Main::ModelPath;
    if (!QFileInfo(folder).isDir()) {
        CliError(QStringLiteral("models: the folder \"%1\" does not exist").arg(folder));
        return 2;
    }
    QVNModel model;
    const TQXRowsPtr models = model.GetAllModels(folder);
    // The list stays what the build dialog shows; what it leaves out is said here.
    for (const QVNModel::SkippedModel& skipped : model.SkippedModels())
        CliError(QStringLiteral("models: skipped %1: %2").arg(skipped.file, skipped.reason));
    if (json) {
        const QByteArray text = QVNJsonData::Write(models);
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    // One model per line: key, name, version and package file, separated by tabs.
    for (const TQXRowPtr& row : *models) {
        const TQXColsPtr& cols = row->Cols();
        const QString line = row->Key() + QLatin1Char('\t') + cols->Text(QStringLiteral("MI_NAME")) +
                             QLatin1Char('\t') + cols->Text(QStringLiteral("MI_VERSION")) + QLatin1Char('\t') +
                             cols->Text(QStringLiteral("MI_FILE")) + QLatin1Char('\n');
        std::fputs(line.toUtf8().constData(), stdout);
    }
    return 0;
}

} // namespace

QUORVIN_CLI_COMMAND("models", runModels)

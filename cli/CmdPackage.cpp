// quorvin-cli package: packs model folders into packages beside them, as the packaging window does.
#include "CliCommand.h"
#include "QVNModel.h"
#include "QVNZIP.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

int runPackage(const QStringList& args)
{
    QString ext = QStringLiteral("qvnm");
    QString password = QVNModel::ModelPassword();
    QStringList folders;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--ext") && i + 1 < args.size())
            ext = args.at(++i);
        else if (a == QLatin1String("--password") && i + 1 < args.size())
            password = args.at(++i);
        else if (a.startsWith(QLatin1String("--"))) {
            CliError(QStringLiteral("package: unexpected argument \"%1\"").arg(a));
            return 2;
        } else
            folders.append(a);
    }
    if (folders.isEmpty()) {
        CliError(QStringLiteral("usage: quorvin-cli package FOLDER... [--ext EXT] [--password PWD]"));
        return 2;
    }
    for (const QString& f : folders) {
        if (!QFileInfo(f).isDir()) {
            CliError(QStringLiteral("package: the folder \"%1\" does not exist").arg(f));
            return 2;
        }
    }
    int result = 0;
    QVNZIP zip;
    for (const QString& f : folders) {
        // Package naming: the folder P/N becomes P/N.EXT, written beside the folder.
        const QString source = QDir::cleanPath(QFileInfo(f).absoluteFilePath());
        const QString package = source + QLatin1Char('.') + ext;
        if (zip.PackageFolder(package, password, source)) {
            std::fputs((package + QLatin1Char('\n')).toUtf8().constData(), stdout);
        } else {
            CliError(zip.Exceptions.ToString());
            result = 1; // a failure does not stop the other folders
        }
    }
    return result;
}

} // namespace

QUORVIN_CLI_COMMAND("package", runPackage)

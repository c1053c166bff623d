#include "QVNShell.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

QString QVNShell::GetFolder(const QString& initial, QWidget* owner)
{
    return QFileDialog::getExistingDirectory(owner, QString(), initial.trimmed(),
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

bool QVNShell::Execute(QWidget* /*hwnd*/, const QString& /*lpOperation*/, const QString& lpFile,
                       const QString& lpParameters, const QString& lpDirectory, int /*nShowCmd*/)
{
    const QString file = lpFile.trimmed();
    if (file.isEmpty())
        return false;
    const QFileInfo info(file);
    if (!lpParameters.trimmed().isEmpty() && info.isFile() && info.isExecutable()) {
        return QProcess::startDetached(info.absoluteFilePath(), QProcess::splitCommand(lpParameters),
                                       lpDirectory.trimmed());
    }
    const QUrl url = info.exists() || file.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(info.absoluteFilePath())
                                                                        : QUrl(file, QUrl::TolerantMode);
    return QDesktopServices::openUrl(url);
}

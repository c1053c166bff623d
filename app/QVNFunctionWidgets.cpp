// The part of QVNFunction that needs the window layer: the folder picker.
#include "QVNFunction.h"

#include <QFileDialog>

QString QVNFunction::GetFolder(const QString& initial, QWidget* owner)
{
    // Cancelling yields an empty text; only real folders of the file system can be picked.
    return QFileDialog::getExistingDirectory(owner, QString(), initial.trimmed(),
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

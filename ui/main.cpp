// The window program: a QApplication and the start-up; everything else lives in the libraries.
#include "Frm_Database.h"
#include "QVNMainGuard.h"
#include "QVNWindowStartup.h"
#include "QuorvinBuildTime.h"

#include <QApplication>

int main(int argc, char** argv)
{
    return QVNMainGuard("quorvin", [&]() -> int {
        QApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("quorvin"));
        QApplication::setDesktopFileName(QStringLiteral("quorvin"));
        QVNWindowStartup::InitResources();
        Frm_Database::SetBuildTime(QDateTime::fromSecsSinceEpoch(QUORVIN_BUILD_TIME, Qt::UTC));
        QStringList arguments = QApplication::arguments();
        arguments.removeFirst();
        return QVNWindowStartup::Run(QApplication::applicationDirPath(), arguments);
    });
}

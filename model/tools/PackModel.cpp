// Packs a model source folder into a package file: quorvin-pack-model FOLDER PACKAGE [PASSWORD].
// Used by the build to lay the shipped models into the application folder.
#include "QVNMainGuard.h"
#include "QVNModel.h"
#include "QVNZIP.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    return QVNMainGuard("quorvin-pack-model", [&]() -> int {
        QCoreApplication app(argc, argv);
        const QStringList args = app.arguments();
        if (args.size() < 3 || args.size() > 4) {
            std::fputs("usage: quorvin-pack-model FOLDER PACKAGE [PASSWORD]\n", stderr);
            return 2;
        }
        QVNZIP zip;
        const QString password = args.size() == 4 ? args.at(3) : QVNModel::ModelPassword();
        if (!zip.PackageFolder(args.at(2), password, args.at(1))) {
            std::fprintf(stderr, "%s\n", zip.Exceptions.ToString().toUtf8().constData());
            return 1;
        }
        return 0;
    });
}

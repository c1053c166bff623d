// dromale: the progress server. Started by a client as "dromale --embedding NAME", it serves
// Process objects on the local socket NAME until its last client has gone. Started any other way
// it shows a notice and ends.

#include "DromaleNotice.h"
#include "DromaleServer.h"
#include "QVNMainGuard.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[])
{
    return QVNMainGuard("dromale", [&]() -> int {
        // Checked before QApplication exists, so a wrong command line is reported even without a display.
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        const qsizetype embedding = arguments.indexOf(QStringLiteral("--embedding"));
        if (embedding >= 0 && (embedding + 1 >= arguments.size() || arguments.at(embedding + 1).isEmpty())) {
            std::fputs("dromale: --embedding needs the name to listen on\n", stderr);
            return 2;
        }

        QApplication application(argc, argv);
        // The progress window comes and goes; only the clients decide when the server ends.
        QApplication::setQuitOnLastWindowClosed(false);

        if (embedding < 0) {
            // "--notice-autoclose MS" lets scripts and tests see the notice without a click.
            const qsizetype autoClose = arguments.indexOf(QStringLiteral("--notice-autoclose"));
            DromaleNotice::Show(autoClose > 0 && autoClose + 1 < arguments.size() ? arguments.at(autoClose + 1).toInt()
                                                                                  : 0);
            return 0;
        }
        DromaleServer server;
        // Lets tests on the client side press Cancel and read the window through extra members.
        server.State().SetTestHooksEnabled(qEnvironmentVariable("DROMALE_TEST_HOOKS") == QLatin1String("1"));
        QString error;
        if (!server.Listen(arguments.at(embedding + 1), &error)) {
            std::fprintf(stderr, "dromale: %s\n", qPrintable(error));
            return 1;
        }
        QObject::connect(&server, &DromaleServer::finished, &application, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        return QApplication::exec();
    });
}

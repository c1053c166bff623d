#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNMainGuard.h"

#include <QCoreApplication>

#include <cstdio>

static void printUsage(std::FILE* out)
{
    std::fputs("usage: quorvin-cli COMMAND [ARGS...]\n\ncommands:\n", out);
    for (const CliCommand& c : CliRegistry::All())
        std::fprintf(out, "  %s %s\n", c.name, c.usage);
}

int main(int argc, char** argv)
{
    return QVNMainGuard("quorvin-cli", [&]() -> int {
        QCoreApplication app(argc, argv);
        QStringList args = app.arguments();
        args.removeFirst();
        if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
            printUsage(args.isEmpty() ? stderr : stdout);
            return args.isEmpty() ? 2 : 0;
        }
        const QString name = args.takeFirst();
        for (const CliCommand& c : CliRegistry::All()) {
            if (name == QLatin1String(c.name))
                return c.run(args);
        }
        CliError(QStringLiteral("quorvin-cli: unknown command \"%1\"").arg(name));
        printUsage(stderr);
        return 2;
    });
}

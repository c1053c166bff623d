#include "CliCommand.h"
#include "CliHelp.h"
#include "QVNMainGuard.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

bool isHelpOption(const QString& arg)
{
    return arg == QLatin1String("--help") || arg == QLatin1String("-h");
}

const CliCommand* findCommand(const QString& name)
{
    for (const CliCommand& c : CliRegistry::All()) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

// help [COMMAND]
int runHelp(const QStringList& args)
{
    if (args.isEmpty()) {
        CliPrintUsage(stdout);
        return 0;
    }
    const CliHelpEntry* entry = args.size() == 1 ? CliHelpFor(args.first()) : nullptr;
    if (!entry) {
        CliError(QStringLiteral("quorvin-cli help: unknown command \"%1\"").arg(args.join(QLatin1Char(' '))));
        return 2;
    }
    CliPrintHelp(*entry, stdout);
    return 0;
}

} // namespace

QUORVIN_CLI_COMMAND("help", runHelp)

int main(int argc, char** argv)
{
    return QVNMainGuard("quorvin-cli", [&]() -> int {
        QCoreApplication app(argc, argv);
        QStringList args = app.arguments();
        args.removeFirst();
        QString languageError;
        if (!CliTakeLanguage(args, languageError)) {
            CliError(QStringLiteral("quorvin-cli: ") + languageError);
            return 2;
        }
        if (args.isEmpty() || isHelpOption(args.first())) {
            CliPrintUsage(args.isEmpty() ? stderr : stdout);
            return args.isEmpty() ? 2 : 0;
        }
        // --man-page PROGRAM FILE: the build writes the manual pages from the help table.
        if (args.size() == 3 && args.first() == QLatin1String("--man-page")) {
            std::FILE* file = std::fopen(args.at(2).toLocal8Bit().constData(), "wb");
            const bool written = file && CliWriteManPage(args.at(1), file);
            const bool closed = file && std::fclose(file) == 0;
            if (written && closed)
                return 0;
            CliError(QStringLiteral("quorvin-cli: cannot write the manual page of \"%1\" to %2")
                         .arg(args.at(1), args.at(2)));
            return 2;
        }
        const QString name = args.takeFirst();
        const CliCommand* command = findCommand(name);
        if (!command) {
            CliError(QStringLiteral("quorvin-cli: unknown command \"%1\"").arg(name));
            CliPrintUsage(stderr);
            return 2;
        }
        // COMMAND --help, and for a command with subcommands also COMMAND SUB --help.
        const CliHelpEntry* help = CliHelpFor(name);
        if (help && !args.isEmpty() &&
            (isHelpOption(args.first()) ||
             (name == QLatin1String("project") && args.size() == 2 && isHelpOption(args.at(1)))))
            return runHelp({name});
        return command->run(args);
    });
}

#include "CliCommand.h"

#include "Mdl_Main.h"

#include <QCoreApplication>

#include <cstdio>

bool CliRegistry::Add(const CliCommand& command)
{
    auto& all = const_cast<std::vector<CliCommand>&>(All());
    all.push_back(command);
    return true;
}

const std::vector<CliCommand>& CliRegistry::All()
{
    static std::vector<CliCommand> commands;
    return commands;
}

void CliStartup()
{
    static bool done = false;
    if (!done) {
        Mdl_Main::Startup(QCoreApplication::applicationDirPath());
        done = true;
    }
}

void CliError(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

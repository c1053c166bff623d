#include "CliCommand.h"

#include "QVNStartup.h"

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
    QVNStartup::Run(QCoreApplication::applicationDirPath());
}

void CliError(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

void LeaveToExit(std::shared_ptr<const void> object)
{
    // Never freed: held from a static pointer, so the objects stay reachable to the end.
    static auto* const kept = new std::vector<std::shared_ptr<const void>>();
    kept->push_back(std::move(object));
}

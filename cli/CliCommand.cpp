#include "CliCommand.h"

#include "Mdl_Main.h"
#include "QVNError.h"
#include "QVNSampleProject.h"

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
        // The sample project points at the sample database with its real path on this machine;
        // it is made on first run (and again if deleted). Not fatal: everything works without it.
        QVNError sampleErrors;
        QVNSampleProject::Ensure(Mdl_Main::AppPath, Mdl_Main::ProjectPath, Mdl_Main::OutPath, sampleErrors);
        done = true;
    }
}

void CliError(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

// quorvin-cli project: makes a project file for a database, or shows what a project file holds.
#include "CliCommand.h"
#include "Mdl_Main.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "QVNSampleProject.h"

#include <QFileInfo>

#include <cstdio>

namespace {
void Print(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

/// new FILE --connection STR [...]: NewProject, read the tables over the connection, save.
int RunNew(const QStringList& args)
{
    QString file, connection, user, password, no, name, path;
    bool force = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--connection") && hasValue)
            connection = args.at(++i);
        else if (a == QLatin1String("--user") && hasValue)
            user = args.at(++i);
        else if (a == QLatin1String("--password") && hasValue)
            password = args.at(++i);
        else if (a == QLatin1String("--no") && hasValue)
            no = args.at(++i);
        else if (a == QLatin1String("--name") && hasValue)
            name = args.at(++i);
        else if (a == QLatin1String("--path") && hasValue)
            path = args.at(++i);
        else if (a == QLatin1String("--force"))
            force = true;
        else if (file.isEmpty() && !a.startsWith(QLatin1String("--")))
            file = a;
        else {
            CliError(QStringLiteral("project new: unexpected argument \"%1\"").arg(a));
            return 2;
        }
    }
    if (file.isEmpty() || connection.isEmpty()) {
        CliError(QStringLiteral("usage: quorvin-cli project new FILE --connection STR [--user U] [--password P] "
                                "[--no N] [--name NAME] [--path DIR] [--force]"));
        return 2;
    }
    // A project file holds the user's annotations: never replace one without being told to.
    if (QFileInfo::exists(file) && !force) {
        CliError(QStringLiteral("project new: \"%1\" exists (use --force to replace it)").arg(file));
        return 2;
    }
    CliStartup();
    QVNProject project;
    QVNProjectLifecycle lifecycle;
    if (!lifecycle.Create(file, {no, name, connection, user, password, path}, force, project)) {
        CliError(QStringLiteral("project new: ") + lifecycle.Exceptions.ToString());
        return lifecycle.LastFailure() == QVNProjectLifecycle::Failure::BadInput ? 2 : 1;
    }
    Print(QStringLiteral("%1: %2 tables and views\n").arg(file).arg(project.TABLES->Count()));
    return 0;
}

/// info FILE: the six project values, one "KEY=value" line each (the password is not shown).
int RunInfo(const QStringList& args)
{
    if (args.size() != 1 || args.first().startsWith(QLatin1String("--"))) {
        CliError(QStringLiteral("usage: quorvin-cli project info FILE"));
        return 2;
    }
    CliStartup();
    QVNProject project;
    QVNProjectLifecycle lifecycle;
    if (!lifecycle.OpenFile(args.first(), project)) {
        CliError(QStringLiteral("project info: ") + lifecycle.Exceptions.ToString());
        return 2;
    }
    Print(QStringLiteral("P_NO=%1\nP_NAME=%2\nP_DATABASE=%3\nP_USERID=%4\nP_PWD=%5\nP_PATH=%6\n")
              .arg(project.P_NO, project.P_NAME, project.P_DATABASE, project.P_USERID,
                   project.P_PWD.isEmpty() ? QString() : QStringLiteral("********"), project.P_PATH));
    return 0;
}

/// sample [DIR]: makes sure the sample project exists in DIR (default: the projects folder) and
/// prints its path.
int RunSample(const QStringList& args)
{
    if (args.size() > 1 || (args.size() == 1 && args.first().startsWith(QLatin1String("--")))) {
        CliError(QStringLiteral("usage: quorvin-cli project sample [DIR]"));
        return 2;
    }
    CliStartup();
    const QString folder = args.isEmpty() ? Mdl_Main::ProjectPath : args.first();
    QVNError errors;
    if (!QVNSampleProject::Ensure(Mdl_Main::AppPath, folder, Mdl_Main::OutPath, errors)) {
        CliError(QStringLiteral("project sample: ") + errors.ToString());
        return 1;
    }
    Print(QVNSampleProject::ProjectFile(folder) + QLatin1Char('\n'));
    return 0;
}

int RunProject(const QStringList& args)
{
    const QString sub = args.value(0);
    if (sub == QLatin1String("new"))
        return RunNew(args.mid(1));
    if (sub == QLatin1String("info"))
        return RunInfo(args.mid(1));
    if (sub == QLatin1String("sample"))
        return RunSample(args.mid(1));
    CliError(QStringLiteral("usage: quorvin-cli project new FILE --connection STR [--user U] [--password P] [--no N] "
                            "[--name NAME] [--path DIR] [--force] | project info FILE | project sample [DIR]"));
    return 2;
}
} // namespace

QUORVIN_CLI_COMMAND("project", RunProject)

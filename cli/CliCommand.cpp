#include "CliCommand.h"

#include "Mdl_Main.h"
#include "QVNLanguage.h"
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

namespace {

QString& chosenLanguage()
{
    static QString language;
    return language;
}

} // namespace

void CliStartup()
{
    QVNStartup::Run(QCoreApplication::applicationDirPath());
    if (!chosenLanguage().isEmpty())
        Mdl_Main::Language().SetLanguage(chosenLanguage());
}

bool CliTakeLanguage(QStringList& args, QString& error)
{
    static const QString option = QStringLiteral("--language");
    for (qsizetype i = 0; i < args.size();) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--"))
            break;
        QString value;
        if (a == option) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("--language needs a language number, such as 1033 or 2052");
                return false;
            }
            value = args.at(i + 1);
            args.remove(i, 2);
        } else if (a.startsWith(option + QLatin1Char('='))) {
            value = a.mid(option.size() + 1);
            args.remove(i);
        } else {
            ++i;
            continue;
        }
        bool number = false;
        const uint parsed = value.toUInt(&number);
        if (!number || parsed == 0 || value.size() > 10 || value != QString::number(parsed)) {
            error = QStringLiteral("--language needs a language number, such as 1033 or 2052, not \"%1\"").arg(value);
            return false;
        }
        chosenLanguage() = value;
    }
    return true;
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

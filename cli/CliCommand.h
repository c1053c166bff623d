#pragma once

#include <QStringList>

#include <memory>
#include <vector>

/**
 * Subcommands of quorvin-cli register themselves from their own source file, so each area of the
 * program adds its commands without touching the dispatcher; their descriptions live in the one
 * table of CliHelp.cpp.
 *
 * Exit codes, the same rule for every command: 0 success, 1 the work itself failed (a build
 * returned false, a database cannot be reached, a file cannot be written), 2 bad usage or bad
 * input (a missing, unreadable or damaged file; one clear line on standard error).
 */
struct CliCommand
{
    const char* name;
    int (*run)(const QStringList& args);
};

class CliRegistry
{
public:
    static bool Add(const CliCommand& command);
    static const std::vector<CliCommand>& All();
};

/// Runs the start-up the window runs (folders, settings, language, the sample project) for commands
/// that need it. The language is the setting the window uses, unless CliTakeLanguage found one.
void CliStartup();

/// Takes the option "--language N" (or "--language=N") out of `args`, wherever it stands before a
/// "--"; N (a language number such as 1033 or 2052) then replaces the language setting for this run:
/// messages, and the texts of models. False with one line in `error` for a value that is no number.
bool CliTakeLanguage(QStringList& args, QString& error);

/// Writes one line to standard error (UTF-8).
void CliError(const QString& line);

/// Keeps an object alive until the process ends instead of destroying it: a command that has
/// finished with a large collection (a million small objects for a big schema) leaves it to the
/// system, which takes the memory back at once rather than object by object. The objects stay
/// reachable, so leak checkers do not report them. Only for what nothing needs to tear down.
void LeaveToExit(std::shared_ptr<const void> object);

#define QUORVIN_CLI_CONCAT2(a, b) a##b
#define QUORVIN_CLI_CONCAT(a, b) QUORVIN_CLI_CONCAT2(a, b)
#define QUORVIN_CLI_COMMAND(name, fn)                                                                                  \
    static const bool QUORVIN_CLI_CONCAT(s_registered_, __COUNTER__) = CliRegistry::Add(CliCommand{name, fn});

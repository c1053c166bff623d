#pragma once

#include <QStringList>

#include <vector>

/**
 * Subcommands of quorvin-cli register themselves from their own source file, so each area of the
 * program adds its commands without touching the dispatcher.
 *
 * Exit codes: 0 success, 1 the operation itself failed (a build returned false), 2 bad usage,
 * bad input or a missing file (one clear line on standard error).
 */
struct CliCommand
{
    const char* name;
    const char* usage; ///< one line: arguments after the command name
    int (*run)(const QStringList& args);
};

class CliRegistry
{
public:
    static bool Add(const CliCommand& command);
    static const std::vector<CliCommand>& All();
};

/// Runs the start-up steps the window runs (folders, settings, language) for commands that need them.
void CliStartup();

/// Writes one line to standard error (UTF-8).
void CliError(const QString& line);

#define QUORVIN_CLI_CONCAT2(a, b) a##b
#define QUORVIN_CLI_CONCAT(a, b) QUORVIN_CLI_CONCAT2(a, b)
#define QUORVIN_CLI_COMMAND(name, usage, fn)                                                                           \
    static const bool QUORVIN_CLI_CONCAT(s_registered_, __LINE__) = CliRegistry::Add(CliCommand{name, usage, fn});

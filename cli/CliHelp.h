#pragma once

#include <QString>

#include <cstdio>
#include <vector>

/**
 * The descriptions of quorvin-cli's commands: the one table the command list, `quorvin-cli help
 * COMMAND` and `quorvin-cli COMMAND --help` are printed from.
 */
struct CliHelpEntry
{
    const char* name;
    const char* usage;   ///< the arguments after the command name; alternatives on separate lines
    const char* summary; ///< one line
    const char* details; ///< what it does, its arguments and options (lines, may be empty)
    const char* exits;   ///< its exit codes, one per line
};

/// Every command, in the order the command list shows them.
const std::vector<CliHelpEntry>& CliHelpTable();
/// The entry of a command; null for an unknown name.
const CliHelpEntry* CliHelpFor(const QString& name);
/// The full help of one command.
void CliPrintHelp(const CliHelpEntry& entry, std::FILE* out);
/// The program's usage and the list of commands with their summaries.
void CliPrintUsage(std::FILE* out);
/// The manual page (man(7) markup) of `program`, quorvin-cli or quorvin, written from the same
/// descriptions as the help; false for another name.
bool CliWriteManPage(const QString& program, std::FILE* out);

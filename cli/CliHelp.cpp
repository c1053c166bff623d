#include "CliHelp.h"

#include <QByteArray>
#include <QStringList>

#include <algorithm>

namespace {

// Exit codes follow one rule everywhere: 0 done, 1 the work itself failed, 2 the request could
// not be carried out as given (bad usage, a missing, unreadable or damaged input). Each command
// lists what falls under which code for it.
const std::vector<CliHelpEntry> kCommands = {
    {"expand", "[--timing] [--strict | --no-diagnostics] TEMPLATE DATA.json",
     "expand a template against a data set and write the result to standard output",
     "TEMPLATE is a text file in the tag language; DATA.json a column set or a row set in the JSON\n"
     "data format. The result is written as UTF-8 with nothing added; the template's mistakes go to\n"
     "standard error as \"file:line:column: reason\" (they never change the result).\n"
     "  --timing           write \"read: N ms, expand: M ms\" to standard error\n"
     "  --strict           a template with diagnostics makes the exit code 1\n"
     "  --no-diagnostics   do not look for mistakes",
     "0  the result was written\n"
     "1  the result could not be written, or (--strict) the template has diagnostics\n"
     "2  bad usage, a missing template, a missing or malformed data file"},
    {"check", "MODEL.qvnm|FOLDER [--project FILE.qvn | --data FILE.json]",
     "check a model: its description files and every template expanded over a table set",
     "The description files must be well-formed XML with the required fields, every MF_FILE must be\n"
     "in the model and every MF_TO stay inside the output folder. The model is then built into a\n"
     "temporary folder over the project's tables (default: the sample project's) or the JSON table\n"
     "set, and every mistake is written to standard output as \"file:line:column: reason\".\n"
     "  --project FILE.qvn   the tables of this project\n"
     "  --data FILE.json     this table set",
     "0  the model is clean\n"
     "1  the model has diagnostics\n"
     "2  bad usage, a model that cannot be opened, a project or data file that cannot be read"},
    {"eval", "EXPR", "write the value of a VBScript expression as text",
     "The arguments are joined by spaces, so an unquoted expression works too; \"--\" before an\n"
     "expression starting with \"-\". An expression that fails gives the empty text.",
     "0  the value was written (also the empty text of a failed expression)\n"
     "1  the value could not be written\n"
     "2  no expression"},
    {"vars", "FILE", "write the sections of a variable file as JSON [key, value] pairs", "",
     "0  the sections were written\n"
     "1  they could not be written\n"
     "2  bad usage, a missing or unreadable file"},
    {"models", "[DIR] [--json]", "list the model packages of a folder as the build dialog lists them",
     "DIR defaults to the models folder of the settings. One line per model: key, name, version and\n"
     "package file, separated by tabs. A package that cannot be opened is left out of the list and\n"
     "named on standard error with the reason.\n"
     "  --json   the list as a row set in the JSON data format",
     "0  the list was written (also when packages were left out)\n"
     "2  bad usage, a missing folder"},
    {"package", "FOLDER... [--ext EXT] [--password PWD]",
     "pack model folders into packages beside them, as the packaging window does",
     "The folder P/N becomes the package P/N.EXT; the package path is written to standard output.\n"
     "  --ext EXT        the package's extension (default qvnm)\n"
     "  --password PWD   the entries' password (default: the models' own)",
     "0  every folder was packed\n"
     "1  a folder could not be packed (the others still are)\n"
     "2  bad usage, a missing folder"},
    {"tables", "FILE [--json]", "list the tables and views of a project's database with their annotations",
     "FILE is a project file; its database is read over the project's connection.\n"
     "  --json   the table set in the JSON data format",
     "0  the list was written\n"
     "1  the project's database cannot be reached\n"
     "2  bad usage, a project file that is missing, unreadable or damaged"},
    {"columns", "FILE TABLE [--json]", "list one table's columns as the column grid shows them",
     "  --json   the column set in the JSON data format",
     "0  the list was written\n"
     "1  the project's database cannot be reached\n"
     "2  bad usage, a project file that is missing, unreadable or damaged, an unknown table"},
    {"generate",
     "--model PACKAGE --out DIR --data TABLES.json [--var KEY=VALUE]... [--strict] [--dry-run] [--diff]\n"
     "  [--on-conflict merge|new|skip|overwrite]\n"
     "--project FILE --model PACKAGE [--tables A,B | --all-tables | --all] [--out DIR] [--var KEY=VALUE]... [...]",
     "run a model's build, as the build dialog does",
     "The table set comes from a JSON data file (--data) or is collected from a project file as the\n"
     "main window collects it (--project; every table when no --tables is named). Progress goes to\n"
     "standard error, the output folder to standard output; Ctrl-C cancels the build.\n"
     "  --model PACKAGE     the model package\n"
     "  --out DIR           the output folder (with --project: default the project's folder, else the\n"
     "                      output folder of the settings + the project's name)\n"
     "  --data TABLES.json  the table set\n"
     "  --project FILE      the project file\n"
     "  --tables A,B        the tables to build (any letter case); --all-tables: every table;\n"
     "                      --all: every table and view\n"
     "  --var KEY=VALUE     replaces (or adds) one of the build's variables; may be repeated\n"
     "  --strict            mistakes found in the model's templates (\"file:line:column: reason\"\n"
     "                      lines of the log) make the build fail\n"
     "  --dry-run           list what the build would change (class and action per file), write nothing\n"
     "  --diff              print a unified diff of every file the build changes\n"
     "  --on-conflict HOW   a file you edited that the build also changes: merge (default; when the\n"
     "                      changes overlap, FILE.new is written instead), new, skip or overwrite\n"
     "The build is made in a staging folder beside the output folder and published only when complete;\n"
     "a failed or cancelled build leaves the output folder as it was. Ctrl-C cancels at any moment.",
     "0  the build succeeded (--dry-run: nothing would change)\n"
     "1  the build failed or was cancelled (with --strict: the templates have diagnostics), or the\n"
     "   project's database cannot be reached\n"
     "2  bad usage, a missing or unusable model package, a bad data file, a project file that is\n"
     "   missing, unreadable or damaged, an unknown table, a --var without \"=\"\n"
     "3  --dry-run: the build would change files"},
    {"project",
     "new FILE --connection STR [--user U] [--password P] [--no N] [--name NAME] [--path DIR] [--force]\n"
     "info FILE\n"
     "sample [DIR]",
     "make a project file for a database, or show what a project file holds",
     "new      reads the database's tables over the connection and writes the new project file; the\n"
     "         file appears only when it is complete. An existing file is replaced only with\n"
     "         --force, and stays as it was when the new project cannot be made.\n"
     "info     the six project values, one KEY=value line each (the password is not shown)\n"
     "sample   makes sure the sample project exists in DIR (default: the projects folder)",
     "0  done\n"
     "1  the database cannot be reached, or the file cannot be written\n"
     "2  bad usage, an existing file without --force, a project file that is missing, unreadable\n"
     "   or damaged"},
    {"help", "[COMMAND]", "describe a command: usage, options and exit codes", "",
     "0  the help was written\n"
     "2  an unknown command"},
};

void put(std::FILE* out, const QString& text)
{
    std::fputs(text.toUtf8().constData(), out);
}

QString indented(const char* text, const QString& indent)
{
    QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = indent + line;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace

const std::vector<CliHelpEntry>& CliHelpTable()
{
    return kCommands;
}

const CliHelpEntry* CliHelpFor(const QString& name)
{
    for (const CliHelpEntry& e : kCommands) {
        if (name == QLatin1String(e.name))
            return &e;
    }
    return nullptr;
}

void CliPrintHelp(const CliHelpEntry& entry, std::FILE* out)
{
    QString text;
    const QStringList forms = QString::fromUtf8(entry.usage).split(QLatin1Char('\n'));
    for (int i = 0; i < forms.size(); ++i)
        text += (i == 0 ? QStringLiteral("usage: ") : QStringLiteral("       ")) + QStringLiteral("quorvin-cli ") +
                QLatin1String(entry.name) + QLatin1Char(' ') + forms.at(i) + QLatin1Char('\n');
    text += QLatin1Char('\n') + QString::fromUtf8(entry.summary) + QLatin1Char('\n');
    if (*entry.details)
        text += QLatin1Char('\n') + QString::fromUtf8(entry.details) + QLatin1Char('\n');
    text += QStringLiteral("\nexit codes:\n") + indented(entry.exits, QStringLiteral("  "));
    put(out, text);
}

void CliPrintUsage(std::FILE* out)
{
    QString text = QStringLiteral("usage: quorvin-cli COMMAND [ARGS...]\n"
                                  "       quorvin-cli COMMAND --help   (or: quorvin-cli help COMMAND)\n\n"
                                  "--language N (with any command) takes messages and the models' texts in\n"
                                  "language N (1033 English, 2052 Chinese) instead of the language setting.\n\n"
                                  "commands:\n");
    int width = 0;
    for (const CliHelpEntry& e : kCommands)
        width = std::max(width, static_cast<int>(qstrlen(e.name)));
    for (const CliHelpEntry& e : kCommands)
        text += QStringLiteral("  ") + QString::fromLatin1(e.name).leftJustified(width + 2) +
                QString::fromUtf8(e.summary) + QLatin1Char('\n');
    text += QStringLiteral("\nexit codes: 0 done, 1 the work itself failed, 2 bad usage or bad input\n");
    put(out, text);
}

namespace {

// Text for roff: backslashes and hyphens escaped, a line never starting with a control character.
QString roff(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\e")).replace(QLatin1Char('-'), QStringLiteral("\\-"));
    QStringList lines = escaped.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\'')))
            line.prepend(QStringLiteral("\\&"));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString roff(const char* text)
{
    return roff(QString::fromUtf8(text));
}

// Lines laid out by hand (aligned options, exit codes) keep their layout.
QString literal(const QString& text)
{
    return QStringLiteral(".nf\n") + roff(text) + QStringLiteral(".fi\n");
}

QString cliManPage()
{
    QString page =
        QStringLiteral(".TH QUORVIN\\-CLI 1 \"\" \"Quorvin\" \"User Commands\"\n"
                       ".SH NAME\n"
                       "quorvin\\-cli \\- run Quorvin's services without the window\n"
                       ".SH SYNOPSIS\n"
                       ".B quorvin\\-cli\n"
                       ".I COMMAND\n"
                       ".RI [ ARGS ...]\n"
                       ".br\n"
                       ".B quorvin\\-cli\n"
                       ".I COMMAND\n"
                       ".B \\-\\-help\n"
                       ".br\n"
                       ".B quorvin\\-cli help\n"
                       ".RI [ COMMAND ]\n"
                       ".SH DESCRIPTION\n"
                       "quorvin\\-cli runs the services of the window program headless: it expands templates,\n"
                       "lists models, tables and columns, makes project files and builds models over a\n"
                       "project's tables.\n"
                       ".SH OPTIONS\n"
                       ".TP\n"
                       ".BI \\-\\-language \" N\"\n"
                       "with any command: take messages and the models' texts in language N (1033 English,\n"
                       "2052 Chinese) instead of the language setting the window uses.\n"
                       ".SH COMMANDS\n");
    for (const CliHelpEntry& e : kCommands) {
        page += QStringLiteral(".SS ") + roff(e.name);
        QString forms;
        for (const QString& form : QString::fromUtf8(e.usage).split(QLatin1Char('\n')))
            forms +=
                QStringLiteral("quorvin-cli ") + QLatin1String(e.name) + QLatin1Char(' ') + form + QLatin1Char('\n');
        forms.chop(1);
        page += literal(forms) + QStringLiteral(".PP\n") + roff(e.summary);
        if (*e.details)
            page += QStringLiteral(".PP\n") + literal(QString::fromUtf8(e.details));
        page +=
            QStringLiteral(".PP\nExit codes:\n.RS\n") + literal(QString::fromUtf8(e.exits)) + QStringLiteral(".RE\n");
    }
    page += QStringLiteral(".SH EXIT STATUS\n"
                           "0 done, 1 the work itself failed, 2 bad usage or bad input.\n"
                           ".SH SEE ALSO\n"
                           ".BR quorvin (1)\n");
    return page;
}

QString windowManPage()
{
    return QStringLiteral(".TH QUORVIN 1 \"\" \"Quorvin\" \"User Commands\"\n"
                          ".SH NAME\n"
                          "quorvin \\- code generator for database applications\n"
                          ".SH SYNOPSIS\n"
                          ".B quorvin\n"
                          ".RI [ PROJECT.qvn ]\n"
                          ".br\n"
                          ".B quorvin \\-\\-edit\\-model\n"
                          ".I MODEL\n"
                          ".SH DESCRIPTION\n"
                          "quorvin is the window program: it opens a project (the file named on the command\n"
                          "line, if any), connects to its database, lists its tables and columns for annotation\n"
                          "and builds source files from template models, with progress and Cancel in the\n"
                          "progress server's window. With \\-\\-edit\\-model it opens only the model editor on\n"
                          "MODEL, previewing against the sample project.\n"
                          ".SH FILES\n"
                          ".TP\n"
                          ".I /usr/share/quorvin/models\n"
                          "the shipped model packages\n"
                          ".TP\n"
                          ".I $XDG_DATA_HOME/quorvin\n"
                          "projects, models, output and temporary files of an installed copy\n"
                          ".SH SEE ALSO\n"
                          ".BR quorvin\\-cli (1)\n");
}

} // namespace

bool CliWriteManPage(const QString& program, std::FILE* out)
{
    if (program == QLatin1String("quorvin-cli"))
        put(out, cliManPage());
    else if (program == QLatin1String("quorvin"))
        put(out, windowManPage());
    else
        return false;
    return std::fflush(out) == 0 && !std::ferror(out);
}

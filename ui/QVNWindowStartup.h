#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QVNProcess;

/**
 * @brief The start-up of the window program, from the progress server to the shown main window.
 *
 * The progress server is created first of all; without it nothing else happens (no folder, no
 * setting, no window): the reason is shown and the program ends with a non-zero status.
 */
class QVNWindowStartup
{
public:
    /// Shows a start-up failure; by default a modal error box. Tests replace it.
    using FailureDisplay = std::function<void(const QString& text)>;

    /// Runs the program in the application folder `appFolder` with the command-line arguments
    /// (without the program name): an optional project file to open after start-up, or
    /// "--edit-model FOLDER" for the model editor alone (status 2 when FOLDER is no model). Returns the
    /// program's exit status. A QApplication must exist.
    static int Run(const QString& appFolder, const QStringList& arguments, const FailureDisplay& failure = {});

    /// Registers the program's built-in resources (the icon) and sets the application icon.
    static void InitResources();

    /// Step one: starts the progress server, which comes up while the settings are read and the
    /// window is made; FinishProgressServer waits until it answers. False with `error` set when it
    /// cannot be started or created.
    static bool StartProgressServer(QVNProcess& process, const QString& appFolder, QString& error);
    static bool FinishProgressServer(QVNProcess& process, QString& error);
};

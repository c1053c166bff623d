#pragma once

#include <QString>

class QWidget;

/**
 * @brief What the desktop shell does for the windows: the folder picker and opening documents,
 * folders, mail and web addresses with their default handler.
 *
 * Window layer only (appwidgets); services and the command-line tool never show a dialog.
 */
class QVNShell
{
public:
    /// The desktop's folder picker starting at `initial`; empty when cancelled. Only real folders
    /// of the file system can be picked.
    static QString GetFolder(const QString& initial, QWidget* owner);

    /// Starts an executable `lpFile` with `lpParameters` directly; anything else (a document, a
    /// folder, a "mailto:" or web address) goes to the desktop's default handler (xdg-open). The
    /// verb and the window mode have no meaning on this desktop and are ignored.
    static bool Execute(QWidget* hwnd, const QString& lpOperation, const QString& lpFile, const QString& lpParameters,
                        const QString& lpDirectory, int nShowCmd);
};

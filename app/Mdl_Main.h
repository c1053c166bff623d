#pragma once

#include <QString>

class QVNConfig;
class QVNFunction;
class QVNLanguage;

/**
 * @brief The application-wide state: folders, product name and the shared services.
 *
 * Everything runs on the one user-interface thread. The shared services are created on first use
 * and live until the program ends. All folder values end in "/".
 */
class Mdl_Main
{
public:
    static inline QString AppPath;     ///< the application folder (language/, system.qvnm, models/)
    static inline QString ProductName; ///< "Pellmar Quorvin": the settings application name
    static inline QString ProjectPath;
    static inline QString ModelPath;
    static inline QString OutPath;

    /// The start-up steps shared by the window and the command-line tool: product name, AppPath
    /// from `appFolder`, the temp folder, the folder settings, the language folder and language.
    static void Startup(const QString& appFolder);
    /// Reads the three folder settings, falls back to the defaults where a folder cannot be
    /// created, and normalises them with a trailing "/". The stored settings are not rewritten.
    static void LoadFolderSettings();
    /// The folder below which the writable defaults live: AppPath, or $XDG_DATA_HOME/quorvin/
    /// (default ~/.local/share/quorvin/) when AppPath is not writable.
    static QString WritableBase();

    static QVNConfig& Config();
    static QVNFunction& Function();
    static QVNLanguage& Language();
};

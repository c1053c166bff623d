#pragma once

#include <QString>

/**
 * @brief Finds the executable that serves a class identifier.
 *
 * The activation file "activation.ini" in a folder (normally the application folder) maps class
 * identifiers to server executables:
 *
 *     [Classes]
 *     Dromale.Process=dromale
 *
 * Class identifiers are matched without regard to case; a relative executable path is relative to
 * the folder of the activation file. Lines starting with ";" or "#" are comments.
 */
class QVNComRegistry
{
public:
    static QString FileName() { return QStringLiteral("activation.ini"); }

    /// The absolute path of the executable registered for `classId` in `folder`'s activation file;
    /// empty with a one-line reason in `error` when the file, the entry or the executable is missing.
    static QString Lookup(const QString& folder, const QString& classId, QString* error);
};

#pragma once

#include "QVNError.h"

#include <QString>

/**
 * @brief The sample project: a project file over the sample database shipped in the application
 * folder, with captions and descriptions already entered.
 *
 * The application folder holds the sample database (sample/sample.db) and an annotated project
 * template (sample/sample.qvnm) whose tb_Project is empty. Ensure turns them into a working
 * project on first run: it copies the template to the projects folder, points P_DATABASE at the
 * sample database's real absolute path on this machine, reads the database's tables and saves.
 */
class QVNSampleProject
{
public:
    static QString DatabaseFile(const QString& appPath);
    static QString TemplateFile(const QString& appPath);
    /// projectPath + "sample.qvn"
    static QString ProjectFile(const QString& projectPath);
    /// The connection string of the sample database at its place in appPath.
    static QString ConnectionString(const QString& appPath);

    /**
     * Creates the sample project when it does not exist yet; an existing one is left alone unless
     * its database path no longer exists while the application's sample database does (the
     * application folder moved), in which case it is re-pointed with its annotations kept.
     * The output folder of the project is outPath + "sample/" (empty outPath: none).
     * @return true when the sample project is usable afterwards; otherwise errors says why.
     */
    static bool Ensure(const QString& appPath, const QString& projectPath, const QString& outPath, QVNError& errors);
};

#pragma once

#include "QVNError.h"

#include <QString>

class QVNProject;

/// The six values of a project's record: what the connection dialog edits.
struct QVNProjectSettings
{
    QString no;
    QString name;
    QString database; ///< connection string of the described database, without user and password
    QString user;
    QString password;
    QString path; ///< the project's output folder (may be empty)
};

/**
 * @brief Creating, opening and saving a project file, as the main window and `quorvin-cli project`
 * both do it.
 *
 * Create never exposes a half-made file: the new project is built in a hidden file beside the
 * target and renamed over it only when complete, so an interrupted or failed creation leaves the
 * target exactly as it was (absent, or the old project). Leftovers of creations whose process died
 * are removed by the next creation in the same folder.
 *
 * Error contract: every operation clears Exceptions and returns false with one line per failure;
 * LastFailure() then says whose fault it was, which is what a caller needs to pick its exit code
 * or its message.
 */
class QVNProjectLifecycle
{
public:
    enum class Failure {
        None,
        BadInput, ///< the request cannot work: an existing file not to be replaced, a project file
                  ///< that is missing, unreadable or damaged
        Failed,   ///< the work itself failed: the database cannot be reached, a file cannot be written
    };

    QVNError Exceptions;
    Failure LastFailure() const { return m_failure; }

    /**
     * Makes `file` a project for the database of `settings`: the template, the project record and,
     * when `settings.database` is not empty, the database's tables (read over the connection; a
     * connection that fails makes the whole creation fail). An existing file is replaced only when
     * `replace` is true (keeping its permissions). On success `project` is the new project with its
     * tables, its file set to `file`.
     */
    bool Create(const QString& file, const QVNProjectSettings& settings, bool replace, QVNProject& project);

    /// Reads the project file's record into `project` (GetProjectInfo). A file without its record
    /// is damaged.
    bool OpenFile(const QString& file, QVNProject& project);
    /// Connects to the project's database and reads its tables (GetTables) with the current values.
    /// When that fails the project keeps the table list it had.
    bool ReadTables(QVNProject& project);
    /// OpenFile, then ReadTables.
    bool Open(const QString& file, QVNProject& project);

    /// Saves the project's values and tables into its file (SaveProject: atomic, with a ".bak").
    bool Save(QVNProject& project);

    /// The hidden files a creation of `file` builds beside it and that were left behind by a
    /// process that no longer runs; removes them and returns how many it removed.
    static int RemoveLeftovers(const QString& file);

private:
    bool Fail(Failure failure, const QVNError& inner);

    Failure m_failure = Failure::None;
};

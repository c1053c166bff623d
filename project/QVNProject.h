#pragma once

#include "QVNDatabase.h"
#include "QVNError.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QString>

#include <memory>

class QTemporaryDir;

/**
 * @brief The open project: its target database, its tables and the user's annotations, and the
 * project file they are stored in.
 *
 * The project file is a SQLite file (extension ".qvn") with the tables tb_Version, tb_Project,
 * tb_Table and tb_Column, every column text. A new file is a byte copy of the empty template
 * "system.qvnm" in the application folder. Nothing keeps the file open: each operation opens it,
 * works and closes it again.
 *
 * Saving never rewrites the project file in place: the new contents are built from the template
 * in a temporary file beside it and replace the project file by an atomic rename only after the
 * transaction committed, so a failed save leaves the project file exactly as it was.
 *
 * Error contract: the operations that return bool clear Exceptions first and record one line per
 * failure, the localized text of the step (section "QVNPROJECT") followed by the driver's or the
 * file utilities' own lines. The column operations never fail as a whole.
 */
class QVNProject
{
public:
    QVNProject();
    ~QVNProject();
    QVNProject(const QVNProject&) = delete;
    QVNProject& operator=(const QVNProject&) = delete;

    QVNError Exceptions;
    QString P_NO;
    QString P_NAME;
    QString P_DATABASE;
    QString P_USERID;
    QString P_PWD;
    QString P_PATH;
    TQXRowsPtr TABLES;

    QVNDatabase& SystemDatabase();
    QVNDatabase& ProjectDatabase();

    QString ProjectFile() const { return m_projectFile; }
    void SetProjectFile(const QString& pStr_ProjectFile) { m_projectFile = pStr_ProjectFile; }

    /// The empty template copied by NewProject and SaveProject: AppPath + "system.qvnm" unless set.
    QString TemplateFile() const;
    void SetTemplateFile(const QString& path) { m_templateFile = path; }

    /// The target connection string: P_DATABASE plus uid/user id and pwd/password when given.
    QString ConnectionString() const;
    /// The connection string that opens a project file (any path: spaces, ";", non-ASCII).
    static QString SystemConnectionString(const QString& projectFile);

    bool NewProject(const QString& pStr_ProjectFile);
    bool SaveProject(const QString& pStr_P_NO, const QString& pStr_P_NAME, const QString& pStr_P_DATABASE,
                     const QString& pStr_P_USERID, const QString& pStr_P_PWD, const QString& pStr_P_PATH,
                     const TQXRowsPtr& pRows_Tables);
    TQXColsPtr GetVersion();
    bool GetProjectInfo();
    /// Whether the last successful GetProjectInfo found the project's record (a bare template has
    /// none: GetProjectInfo still succeeds, with empty values).
    bool HasProjectRecord() const { return m_hasProjectRecord; }
    bool GetTables();

    /// The table's column description records (Tag "COLUMNS"), merged with the saved annotations.
    TQXRowsPtr GetColumns(const QString& pStr_TableName);
    static TQXRowsPtr GetOneTypeColumns(const QString& pStr_TypeName, const TQXRowsPtr& pRows_Column,
                                        const QString& pStr_Type);
    static QString AutoColumnType(const QString& pStr_ShowType, const QString& pStr_DataType,
                                  const QString& pStr_Length);
    static TQXRowsPtr GetColumnConverts(const QString& captions, const QString& values);

    /// The insert statement for one row, in the project file's fixed statement shape.
    static QString InsertStatement(const QString& table, const QStringList& columns, const QStringList& values);

private:
    void ClearProjectInfo();
    bool OpenSystemDatabase();
    bool OpenSystemFile(const QString& path);
    /// Why the file cannot be a readable project database (unreadable, not a SQLite file); empty
    /// when it may be one.
    static QString ProjectFileProblem(const QString& path);
    void CloseDatabases();
    TQXRowsPtr GetSavedColumns(const QString& tableName);
    bool WriteContents(const QString& no, const QString& name, const QString& database, const QString& user,
                       const QString& password, const QString& path, const TQXRowsPtr& tables);
    static QString Text(const QString& section, const QString& key);

    QString m_projectFile;
    QString m_templateFile;
    bool m_hasProjectRecord = false;
    std::unique_ptr<QVNDatabase> m_systemDatabase;
    std::unique_ptr<QVNDatabase> m_projectDatabase;
    /// A private folder holding a link to the project file while its path cannot be written into
    /// a connection string (the SQLite driver reads a value up to the next ";", braces or not).
    std::unique_ptr<QTemporaryDir> m_linkFolder;
};

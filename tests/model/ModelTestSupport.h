#pragma once

#include "TQXCols.h"
#include "TQXRows.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

class TempDir;

namespace modeltest {

/// Points the application state at a private folder below `dir` (temp/ lives there) and at the
/// language files of the source tree, English first.
void UseAppFolder(const TempDir& dir);

/// One record of model_file.qvns.
struct FileEntry
{
    QString file;
    QString to;
    QString type;
    QString convert;
};

/// The XML text of a record file: root `root`, one `record` element per field map (fields in order).
QByteArray RecordFile(const QString& root, const QString& record, const std::vector<QStringList>& records);
QByteArray FileList(const std::vector<FileEntry>& entries);
QByteArray Info(const QString& name, const QString& version, const QString& readme = QString());

/// Writes the files (relative path -> bytes) below `folder`; true when all were written.
bool WriteTree(const QString& folder, const QMap<QString, QByteArray>& files);
/// Writes the tree and packs it with the model password into `package`.
bool MakePackage(const QString& folder, const QString& package, const QMap<QString, QByteArray>& files);

/// A small table set (tag "TABLES"): `names` tables, each with columns id (key) and name.
TQXRowsPtr Tables(const QStringList& names);
/// The sample project's tables as the build collects them (resources/sample/tables.json), tagged
/// "TABLES"; a failed read is a test failure and gives an empty set.
TQXRowsPtr SampleTables();
/// The caller variables the build dialog would pass (dates and the folder).
TQXColsPtr CallerVariables(const QString& out);

QString ReadText(const QString& path);
/// The source tree's root.
inline const QString kSource = QStringLiteral(QUORVIN_SOURCE_DIR);
/// Every file below `folder`, relative paths, sorted.
QStringList ListFiles(const QString& folder);
/// Runs a program; its exit code (-1 when it could not start). Output and errors go to `output`.
int RunProgram(const QString& program, const QStringList& args, QString* output = nullptr,
               const QString& workingDir = QString(), int timeoutMs = 120000);
/// True when the program can be found on PATH.
bool HasProgram(const QString& program);

} // namespace modeltest

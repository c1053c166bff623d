#pragma once

#include "QVNDatabase.h"
#include "QVNError.h"

#include <QString>

/// The throw-away PostgreSQL server of the db tests (started by pg_fixture.sh as a CTest fixture).
namespace Pg {
/// Empty when the fixture is running; otherwise why not (the tests fail with this text).
QString Problem();
/// The connection string of a database on the fixture server.
QString ConnectionString(const QString& database);
/// Creates a fresh, uniquely named database and runs the script in it; its connection string,
/// or empty with error set.
QString CreateDatabase(const QString& script, QString& error);
/// The id of the server process that serves this connection.
int BackendPid(QVNDatabase& db);
} // namespace Pg

/// Creates a SQLite database file from SQL with the sqlite3 tool; empty error on success.
QString CreateSqliteFile(const QString& path, const QString& script);
QString SqliteConnection(const QString& path);

/// The sample schema shipped with the program, for both engines (PRAGMA lines dropped).
QString SampleSql();
/// The application folder the build laid out (with a trailing "/").
QString AppDir();
/// A script of tests/data/project by its file name.
QString Script(const char* name);
/// A field of the row under `key`, or a text naming the missing row.
QString Text(const TQXRowsPtr& rows, const QString& key, const char* field);
/// Everything the collector holds, one line per entry.
inline QString Lines(const QVNError& e)
{
    return e.ToString();
}

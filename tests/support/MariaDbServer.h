#pragma once

#include <QString>
#include <QStringList>

/// The throw-away MariaDB server of the db tests (started by tests/project/mariadb_fixture.sh as
/// the CTest fixture quorvin_mariadb). Usable from every test program: it needs only the
/// `mariadb` client, not the database layer.
namespace Maria {
/// Empty when the fixture is running; otherwise why not (the tests fail with this text).
QString Problem();
/// The ODBC connection string of a database on the fixture server, through its unix socket
/// (`overTcp`: through 127.0.0.1 and its port instead).
QString ConnectionString(const QString& database, bool overTcp = false);
/// The arguments of the `mariadb` client for a database on the fixture server (empty database:
/// none chosen); the client stops at the first error.
QStringList ClientArguments(const QString& database = QString());
/// Runs SQL through the `mariadb` client in the database; empty on success, else the client's
/// errors. Tab-separated result rows go to `output` when given.
QString RunSql(const QString& database, const QString& sql, QString* output = nullptr);
/// Creates a fresh, uniquely named database (utf8mb4) and runs the script in it through the
/// client; its ODBC connection string (and its name in `name`), or empty with error set.
QString CreateDatabase(const QString& script, QString& error, QString* name = nullptr);
/// A setting of the fixture's environment file (MARIADB_SOCKET, MARIADB_HOST, MARIADB_PORT,
/// MARIADB_USER, MARIADB_DATA_DIR, MARIADB_DIR).
QString Setting(const QString& name);
} // namespace Maria

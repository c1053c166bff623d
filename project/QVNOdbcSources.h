#pragma once

#include <sql.h>

#include <QList>
#include <QString>
#include <QStringList>

/**
 * @brief What the ODBC driver manager knows: the installed drivers and data sources, a test
 * connection, and the identifier quote of an open connection.
 *
 * TestConnect uses a connection handle of its own and touches no other state, so it may run on a
 * worker thread while the window stays responsive; everything else runs on the caller's thread.
 */
class QVNOdbcSources
{
public:
    struct DataSource
    {
        QString name;
        QString driver; ///< the driver's description as the driver manager reports it
    };

    /// The kind of fields a driver takes in its connection string.
    enum class DriverKind {
        File,   ///< a database file (SQLite)
        Server, ///< server, port and database name (PostgreSQL, MySQL, SQL Server, ...)
    };

    /// Installed drivers by name, in the driver manager's order; empty when none are installed.
    static QStringList Drivers();
    /// User and system data sources.
    static QList<DataSource> DataSources();
    static DriverKind KindOf(const QString& driverName);

    /**
     * Connects with `connectString` (user and password as given, added when not empty) within
     * `loginTimeout` seconds and disconnects again. `message` is the driver's own text: its
     * diagnostics on failure, its name and version on success.
     */
    static bool TestConnect(const QString& connectString, const QString& user, const QString& password,
                            int loginTimeout, QString& message);

    /// The connection's identifier quote character; empty when the driver does not quote.
    static QString IdentifierQuote(SQLHDBC connection);
    /**
     * A table as a statement names it: each of `schema` (may be empty) and `name` unchanged when it
     * is a plain lower-case identifier that is no reserved word, else in `quote` with the quote
     * doubled (mixed case, spaces, reserved words). An empty quote leaves names as they are.
     */
    static QString QuoteTableName(const QString& name, const QString& quote, const QString& schema = QString());
};

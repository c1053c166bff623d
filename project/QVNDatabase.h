#pragma once

#include "OdbcHandle.h"
#include "OdbcWatchdog.h"
#include "QVNError.h"
#include "QVNRecordset.h"
#include "TQXRows.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QVNCatalogReader;

/**
 * @brief One database connection over ODBC, turning what the database returns into row sets.
 *
 * The connection opens lazily and reopens by itself: every query first calls TestConnect, which
 * reconnects with the kept AdoConnectString when the connection is closed or the driver reports
 * it dead. Schema information comes from the ODBC catalog functions with its fields renamed to
 * the schema names the program uses (TABLE_CATALOG, FK_COLUMN_NAME, ...) and ODBC SQL types
 * mapped to the program's data type numbers (DataType2Name). What the database itself knows better
 * comes from the catalog reader of its system (QVNCatalogReader), chosen from the DBMS name.
 *
 * Error contract: no exception leaves a public member. Operations clear Exceptions where stated
 * and record the driver's own texts (SQLGetDiagRec), one line per diagnostic record.
 *
 * Time limits: opening gives up after ConnectionTimeout seconds; a catalog read after
 * SchemaTimeout seconds; statements after CommandTimeout seconds (0 = no limit). A server that
 * stops answering is cut off at those limits (see OdbcWatchdog), so nothing hangs beyond them.
 *
 * Used by one thread at a time (a window runs it on a worker); Cancel is the one member another
 * thread may call. The watchdog runs a helper thread.
 */
class QVNDatabase
{
public:
    /// Schema numbers understood by GetSchema.
    enum Schema {
        SchemaColumns = 4,
        SchemaIndexes = 12,
        SchemaTables = 20,
        SchemaForeignKeys = 27,
        SchemaPrimaryKeys = 28
    };

    QVNDatabase();
    ~QVNDatabase();
    QVNDatabase(const QVNDatabase&) = delete;
    QVNDatabase& operator=(const QVNDatabase&) = delete;

    QString AdoConnectString;
    QVNError Exceptions;
    int ConnectionTimeout = 5;
    int CommandTimeout = 0;
    int SchemaTimeout = 30;

    /// The open connection after TestConnect; null when it cannot be opened.
    SQLHDBC Connection();
    bool TestConnect();
    /// True while a connection is held and the driver does not report it dead.
    bool IsConnected() const;
    bool ConnectToServer(const QString& ConnectString = QString());
    bool DisConnectFromServer();
    /// Stops what the connection is doing, from any thread: a call waiting on the server returns
    /// with an error at once (the connection is closed under it), and no reconnect happens until
    /// ClearCancel. An embedded database file has nothing to wait on and goes on.
    void Cancel();
    void ClearCancel();

    /// Transactions on the connection (one at a time); the connection returns to auto-commit
    /// after CommitTrans or RollbackTrans.
    bool BeginTrans();
    bool CommitTrans();
    bool RollbackTrans();

    bool RunAdoSearch(const QString& SearchSql, std::unique_ptr<QVNRecordset>& ReturnRs);
    bool ExecuteSql(const QString& sql);
    TQXRowsPtr GetDatasFromSql(const QString& sql, const QString& keyField = QString());
    /// Every remaining record as a row of trimmed texts (null = empty), keyed by keyField's value
    /// when given; a repeated key keeps the first row. Fields are keyed by their trimmed names.
    TQXRowsPtr SaveAdoToDatas(QVNRecordset& Rec_Data, const QString& keyField);

    static QString DataType2Name(int t);
    static QString DataType2Name2(int t);
    /// The program's data type number for an ODBC SQL type (SQL_VARCHAR -> 200, ...).
    static int SqlTypeToDataType(int sqlType);
    /// A connection-string value written so the string parser reads it back unchanged: as it is
    /// when that is safe, else in braces with "}" doubled.
    static QString QuoteConnectionValue(const QString& value);

    TQXRowsPtr GetSchema(int schema, const QStringList& criteria);
    TQXRowsPtr GetTables(const QString& tableType = QString());
    /// The full columns rowset of a table (all catalog fields, renamed and typed).
    TQXRowsPtr GetColumns1(const QString& tableName);
    /// The seven fields the column import relies on: COLUMN_NAME, COLUMN_DEFAULT, IS_NULLABLE
    /// ("True"/"False"), DATA_TYPE, CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION, NUMERIC_SCALE.
    /// Nothing is added to Exceptions; an unknown table gives an empty set.
    TQXRowsPtr GetColumns(const QString& tableName);

    /// One column of the columns rowset as plain values (GetColumns1 gives them as texts: the data
    /// type number, "True"/"False" and "1"/"0").
    struct ColumnInfo
    {
        QString catalog, schema, table, name, ordinal, defaultValue, typeName, length, precision, scale, description;
        QString dbType, dbBase, dbKind, genExpr;
        int dataType = 0;
        bool nullable = false, identity = false, generated = false, unbounded = false;
    };
    /// What GetColumns returns, one entry per row in its order, without building the row set.
    std::vector<ColumnInfo> GetColumnInfo(const QString& tableName);
    TQXRowsPtr GetPrimaryKeys(const QString& tableName);
    /// One row per referencing column keyed by FK_COLUMN_NAME (a column in several keys keeps the
    /// first one reported).
    TQXRowsPtr GetForeignKeys(const QString& tableName);
    /// Every foreign-key row of the table in the order reported, unkeyed, with PK_TABLE_KEY (the
    /// referenced table's key in the table list) and FK_NAME always filled.
    TQXRowsPtr GetForeignKeyRows(const QString& tableName);
    TQXRowsPtr GetIndexes(const QString& indexName);
    /// The table's indexes other than its primary key's, one row per index (IX_NAME, IX_UNIQUE,
    /// IX_KIND unique/exclude/index, IX_METHOD, IX_WHERE, IX_EXPRESSION, IX_COLUMNS, and IX_PARTS
    /// with IP_COLUMN, IP_EXPRESSION, IP_DESC, IP_OPCLASS, IP_INCLUDE "0" in key order; IX_INCLUDE the
    /// columns the index only carries, IP_INCLUDE "1"); PostgreSQL, SQLite and MariaDB, else empty.
    TQXRowsPtr GetIndexRows(const QString& tableName);
    /// The table's CHECK constraints (CK_NAME, CK_EXPRESSION); PostgreSQL, SQLite and MariaDB, else empty.
    TQXRowsPtr GetCheckRows(const QString& tableName);
    /// The labels of the table's enum columns (arrays and domains of enums too) by column name:
    /// rows tagged CL_ENUMS holding EV_VALUE, in the enum's order (MariaDB: enum and set columns).
    QHash<QString, TQXRowsPtr> GetEnumLabels(const QString& tableName);
    /// The table's columns of types the program does not know (an extension's, or another base
    /// type made outside the system catalog), by column name, each with its extension's name
    /// (empty when none); PostgreSQL, else empty.
    QHash<QString, QString> GetColumnExtensions(const QString& tableName);
    /// The tables and views an extension owns, "schema\x1Fname" -> extension; PostgreSQL, else empty.
    QHash<QString, QString> GetExtensionObjects();

    /// What the database itself says of a column beyond the ODBC catalog: its type in its own words
    /// (dbType), the built-in type beneath it (dbBase), "enum"/"domain"/"array" or "" (dbKind),
    /// whether the database produces its value (identity) or computes it (generated, genExpr).
    struct ColumnExtra
    {
        QString dbType, dbBase, dbKind, genExpr;
        /// The default as the database itself writes it (SQLite), where the driver loses one.
        QString defaultValue;
        bool identity = false, generated = false;
        /// An integer type without sign (its data type number is the unsigned one).
        bool isUnsigned = false;
        /// The sizes of the facts are the database's own: no size rule of the type names applies.
        bool ownSizes = false;
    };

    /// One column as the driver's catalog reports it (SQLColumns or a described query).
    struct ColumnFacts
    {
        QString catalog, schema, table, name, typeName, defaultValue, description, ordinal;
        int sqlType = 0;
        bool hasSize = false, hasDigits = false;
        qint64 size = 0;
        int digits = 0;
        int nullable = SQL_NULLABLE_UNKNOWN;
        QString isNullableText;
    };

    /// The database system behind the connection, as far as the program treats it specially.
    enum class Dbms { Other, PostgreSQL, SQLite, MariaDB };
    Dbms Kind();

    /// A table as the database names it: its schema ("" when the database has none) and its name.
    struct TableName
    {
        QString schema;
        QString object;
    };
    /// The table behind a key of the last full table list (exact key, then ignoring case, then
    /// "schema.name"); an unknown key is a bare name without schema.
    TableName ResolveTable(const QString& key) const;
    /// The key the last full table list gave (schema, name); the bare name when not listed.
    QString TableKey(const QString& schema, const QString& object) const;

    /// Reads the columns, primary keys and foreign keys of these tables (keys of the last full
    /// table list) at once and answers GetColumns, GetPrimaryKeys and GetForeignKeys of them from
    /// that until ForgetCatalog or the next full table list. PostgreSQL and MariaDB are read with one
    /// catalog query per kind; other databases table by table through the ODBC catalog calls.
    void PrepareCatalog(const QStringList& keys);
    void ForgetCatalog();
    /// How the last PrepareCatalog read the columns: in one query of the system catalog (checked
    /// against the driver's catalog of driverTables tables on PostgreSQL), or (oneQuery false)
    /// through the driver's catalog of each schema or table by table.
    struct CatalogRead
    {
        bool oneQuery = false;
        int driverTables = 0;
    };
    CatalogRead LastCatalogRead() const { return m_lastRead; }

private:
    friend class QVNCatalogReader;
    using CatalogCall = std::function<SQLRETURN(SQLHSTMT)>;
    using RowFilter = std::function<bool(const TQXColsPtr&)>;

    OdbcStatement NewStatement();
    /// TestConnect, a new statement, and sql run on it within timeout seconds (0 = no limit).
    /// False, with the reason in Exceptions, when nothing could be run; else rc is the driver's
    /// answer and stmt holds the statement for reading or diagnostics.
    bool Execute(const QString& sql, int timeout, OdbcStatement& stmt, SQLRETURN& rc);
    void AddDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const QString& fallback);
    /// Runs a catalog function and converts its result; retried once on a connection that died.
    TQXRowsPtr ReadCatalog(const CatalogCall& call, const QString& keyField, const QHash<QString, QString>& rename,
                           const RowFilter& filter);
    TQXRowsPtr ReadCatalogOnce(const CatalogCall& call, const QString& keyField, const QHash<QString, QString>& rename,
                               const RowFilter& filter, bool& connectionLost);
    TQXRowsPtr ColumnsOf(const QString& tableName);
    /// The columns of a table, from the bulk facts when held, else from the catalog.
    std::vector<ColumnInfo> ColumnInfosOf(const QString& tableName);
    std::vector<ColumnInfo> DescribeColumnsBySelect(const QString& tableName);
    QString QuoteIdentifier(const QString& name);
    void NoteTimeout();
    /// The table with its schema filled in where the database has schemas and the last table
    /// list did not name it; lost when the server stopped answering meanwhile.
    TableName Qualified(const TableName& table, bool& lost);
    /// The catalog reader of the connected database's system (the plain ODBC one until known).
    QVNCatalogReader& Reader();

    /// A prepared statement with its parameters bound as texts, run under SchemaTimeout; null
    /// (the reason in Exceptions) when it could not be run.
    std::unique_ptr<QVNRecordset> OpenBound(const QString& sql, const QStringList& params);
    /// Every record of it as texts; ok false (and nothing) when it failed: these reads only
    /// complete what the ODBC catalog says.
    std::vector<QStringList> SelectBound(const QString& sql, const QStringList& params, bool& ok);
    /// Every row of an open result as texts (a value equal to the one above shares its text); ok is
    /// false, and nothing is returned, when reading failed.
    std::vector<QStringList> ReadTexts(QVNRecordset& rs, bool& ok);
    /// The rows of a catalog query for one table (its first two fields are the schema and the
    /// table), run with oneTable's values, or, after PrepareCatalog of several tables, taken from
    /// the whole catalog's answer (allTables' values) read once.
    std::vector<QStringList> ConstraintRows(const QString& sql, const TableName& table, const QStringList& oneTable,
                                            const QStringList& allTables, bool& ok);
    /// The whole catalog's answer of such a query by "schema\x1Fname", read once while a bulk read
    /// is prepared (null when it cannot be read, or no bulk read is prepared).
    const QHash<QString, std::vector<QStringList>>* AllConstraintRows(const QString& sql, const QStringList& allTables);
    /// Keeps rows another read of the whole catalog already gave as the answer of such a query.
    void KeepConstraintRows(const QString& sql, QHash<QString, std::vector<QStringList>> byTable);
    /// Lets the reader put the list right, then keys the rows: the bare name, or "schema.name"
    /// where names repeat.
    TQXRowsPtr KeyTables(const TQXRowsPtr& listed);
    /// The columns of a table: the driver's catalog fields completed by the reader's extras (by
    /// column name); a name repeated (ignoring case) keeps its first column, as the keyed rowset does.
    std::vector<ColumnInfo> ColumnRecords(const std::vector<ColumnFacts>& raw,
                                          const QHash<QString, ColumnExtra>& extras);
    /// SQLColumns of a schema and table (empty = every one), the rows keep() accepts, in the
    /// catalog's order; retried once on a connection that died.
    std::vector<ColumnFacts> ReadColumnFacts(const QString& schema, const QString& table,
                                             const std::function<bool(const ColumnFacts&)>& keep);
    /// Primary (foreign = false) or foreign key rows of one table: the reader's, else the driver's.
    TQXRowsPtr ForeignKeyRowsOf(const TableName& table);
    TQXRowsPtr PrimaryKeysOf(const TableName& table);

    struct CachedTable
    {
        /// The columns as read, turned into records only when asked for (smaller meanwhile).
        std::vector<ColumnFacts> columns;
        /// ColumnExtras of these columns by column name (released with them).
        QHash<QString, ColumnExtra> extras;
        bool hasColumns = false;
        TQXRowsPtr primaryKeys, foreignKeyRows;
    };
    const CachedTable* Cached(const TableName& table) const;

    OdbcConnection m_connection;
    OdbcWatchdog m_watchdog;
    bool m_inTransaction = false;
    bool m_dbmsKnown = false;
    Dbms m_dbms = Dbms::Other;
    std::unique_ptr<QVNCatalogReader> m_reader;
    Dbms m_readerKind = Dbms::Other;
    /// The tables of the last full table list: key -> table, and "schema\x1Fname" -> key, so the
    /// per-table catalog calls look in the right schema when several schemas hold tables.
    QHash<QString, TableName> m_tables;
    QHash<QString, TableName> m_firstOfName;
    QHash<QString, QString> m_tableKeys;
    /// Catalog facts read by PrepareCatalog, by "schema\x1Fname".
    QHash<QString, CachedTable> m_cache;
    /// After PrepareCatalog of several tables, the constraint queries (indexes, checks, enum
    /// labels, extension types) read every table at once on first use: query text ->
    /// "schema\x1Fname" -> rows. Cleared with m_cache.
    bool m_bulkConstraints = false;
    QHash<QString, QHash<QString, std::vector<QStringList>>> m_constraintRows;
    CatalogRead m_lastRead;
};

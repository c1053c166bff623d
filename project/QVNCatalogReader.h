#pragma once

#include "QVNDatabase.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

/**
 * @brief What one database system adds to, or puts right in, the driver's catalog.
 *
 * QVNDatabase reads the ODBC catalog functions and asks its reader, chosen from the DBMS name the
 * driver reports, for everything the database itself knows better: its own view of columns, keys
 * in key order, indexes, checks, enum labels, and reads of many tables at once. The reader of an
 * unknown system (QVNOdbcCatalogReader) adds nothing, so the driver's catalog is all there is.
 *
 * Every query a reader runs is a file under resources/catalog/<system>/ (Query), read once per
 * process, its values bound as parameters. Rows come back as texts (null = empty).
 *
 * Row shapes shared by all readers (the first two fields are always schema and table, the schema
 * empty where the database has none):
 * - IndexRows: index, unique ("1"), owner constraint kind (u, x or empty), partial condition,
 *   part number, part (column or expression), expression ("1"), descending ("1"), method,
 *   operator class (empty for the default), carried only ("1": an INCLUDE column, after the keys).
 * - CheckRows: constraint name, the condition without CHECK and its parentheses.
 * - EnumRows: column, one label (in the type's order).
 * - ExtensionColumns: column, its extension (empty for a type no extension owns).
 */
class QVNCatalogReader
{
public:
    using TableName = QVNDatabase::TableName;
    using ColumnFacts = QVNDatabase::ColumnFacts;
    using ColumnExtra = QVNDatabase::ColumnExtra;
    using Rows = std::vector<QStringList>;
    using Facts = std::vector<ColumnFacts>;
    /// Extras by column name.
    using Extras = QHash<QString, ColumnExtra>;

    explicit QVNCatalogReader(QVNDatabase& db) : m_db(db) {}
    virtual ~QVNCatalogReader() = default;
    QVNCatalogReader(const QVNCatalogReader&) = delete;
    QVNCatalogReader& operator=(const QVNCatalogReader&) = delete;

    /// The database system a DBMS name (SQL_DBMS_NAME) stands for.
    static QVNDatabase::Dbms KindOf(const QString& dbmsName);
    static std::unique_ptr<QVNCatalogReader> Create(QVNDatabase::Dbms kind, QVNDatabase& db);
    /// The text of a catalog query file ("postgresql/indexes.sql"), read from the resources once.
    static const QString& Query(const QString& path);
    /// What separates a schema from a name in the readers' keys and bound schema lists.
    static constexpr QChar kSeparator = QChar(0x1F);
    /// A table's key in the readers' maps: "schema\x1Fname".
    static QString Joined(const QString& schema, const QString& object) { return schema + kSeparator + object; }
    /// A yes-or-no field of a catalog row set: "1" or "0".
    static QString Flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

    /// Puts the driver's table list right in place: drops what is not the user's, types and
    /// describes what the driver does not.
    virtual void CompleteTableList(std::vector<TQXColsPtr>& rows) { (void)rows; }
    /// A table the last list did not name, with its schema where the database has schemas; lost
    /// when the server stopped answering.
    virtual TableName Qualified(const TableName& table, bool& lost)
    {
        lost = false;
        return table;
    }
    /// The columns of one table read the reader's own way; false when the driver's catalog is read.
    virtual bool Columns(const TableName& table, Facts& raw, Extras& extras)
    {
        (void)table, (void)raw, (void)extras;
        return false;
    }
    /// Completes the driver's columns of one table: puts in the columns it leaves out and returns
    /// what the database says of each beyond the driver's catalog.
    virtual Extras ColumnExtras(const TableName& table, Facts& raw)
    {
        (void)table, (void)raw;
        return {};
    }
    /// True when the driver numbers the rows of its answer rather than each table's columns.
    virtual bool RenumbersColumns() const { return false; }
    /// Primary-key (foreign = false) or foreign-key rows of the tables in the driver's fields, in
    /// key order; distributed into byTable by "schema\x1Fname" when given. False: ask the driver.
    virtual bool KeyRows(bool foreign, const QList<TableName>& tables, QHash<QString, TQXRowsPtr>* byTable,
                         TQXRowsPtr& rows)
    {
        (void)foreign, (void)tables, (void)byTable, (void)rows;
        return false;
    }
    /// The driver's primary-key rows of a table in the key's own order.
    virtual TQXRowsPtr KeyOrder(const TableName& table, const TQXRowsPtr& rows)
    {
        (void)table;
        return rows;
    }
    /// Whether a set of tables is read at once (PrepareCatalog); else table by table.
    virtual bool ReadsInBulk() const { return false; }
    /// The columns and extras of many tables ("schema\x1Fname" in wanted) in a few queries, by
    /// table; driverTables counts the tables the driver's catalog was asked about to check them.
    /// False when nothing was filled.
    virtual bool BulkColumns(const QList<TableName>& tables, const QSet<QString>& wanted, QHash<QString, Facts>& raw,
                             QHash<QString, Extras>& extras, int& driverTables)
    {
        (void)tables, (void)wanted, (void)raw, (void)extras, (void)driverTables;
        return false;
    }

    virtual Rows IndexRows(const TableName& table)
    {
        (void)table;
        return {};
    }
    virtual Rows CheckRows(const TableName& table)
    {
        (void)table;
        return {};
    }
    virtual Rows EnumRows(const TableName& table)
    {
        (void)table;
        return {};
    }
    virtual Rows ExtensionColumns(const TableName& table)
    {
        (void)table;
        return {};
    }
    /// The tables and views an extension owns: schema, name, extension.
    virtual Rows ExtensionObjects() { return {}; }
    /// Whether the driver takes bound texts as UTF-8 bytes rather than wide texts.
    virtual bool NarrowParameters() const { return false; }

protected:
    /// A catalog query file run with these values bound; ok false (and nothing) when it failed.
    Rows Select(const QString& file, const QStringList& params, bool& ok);
    /// A catalog query file opened for reading row by row; null when it could not be run.
    std::unique_ptr<QVNRecordset> Open(const QString& file, const QStringList& params);
    /// The rows of a query file for one table (oneTable's values), from the answer for every table
    /// (allTables' values) once PrepareCatalog asked for several.
    Rows ConstraintRows(const QString& file, const TableName& table, const QStringList& oneTable,
                        const QStringList& allTables, bool& ok);
    /// That query's answer for every table by "schema\x1Fname" while a bulk read is prepared, else null.
    const QHash<QString, Rows>* AllRows(const QString& file, const QStringList& allTables);
    /// Rows already read that answer that query for every table while a bulk read is prepared.
    void KeepRows(const QString& file, QHash<QString, Rows> byTable);
    /// SQLColumns of a schema and table (empty = every one), the rows keep() accepts.
    Facts DriverColumns(const QString& schema, const QString& table,
                        const std::function<bool(const ColumnFacts&)>& keep);
    QString TableKey(const QString& schema, const QString& object) const;
    /// One row of a system's primary_keys.sql or foreign_keys.sql with the field names of the
    /// driver's SQLPrimaryKeys or SQLForeignKeys rows; null when the row is too short.
    TQXColsPtr KeyRow(const QStringList& r, bool foreign) const;
    /// True when the last call was cut off at the time limit (noted in Exceptions).
    bool TimedOut();
    QVNDatabase& m_db;
};

/// Any other system: the driver's catalog as it is.
class QVNOdbcCatalogReader final : public QVNCatalogReader
{
public:
    using QVNCatalogReader::QVNCatalogReader;
};

/// SQLite: the table pragmas and the CREATE statements.
class QVNSqliteCatalogReader final : public QVNCatalogReader
{
public:
    using QVNCatalogReader::QVNCatalogReader;
    Extras ColumnExtras(const TableName& table, Facts& raw) override;
    TQXRowsPtr KeyOrder(const TableName& table, const TQXRowsPtr& rows) override;
    Rows IndexRows(const TableName& table) override;
    Rows CheckRows(const TableName& table) override;
    bool NarrowParameters() const override { return true; }

private:
    /// The table's CREATE statement ("" when none).
    QString CreateStatement(const TableName& table);
};

/// PostgreSQL: the system catalog, one query per kind for any number of tables.
class QVNPostgresCatalogReader final : public QVNCatalogReader
{
public:
    using QVNCatalogReader::QVNCatalogReader;
    void CompleteTableList(std::vector<TQXColsPtr>& rows) override;
    TableName Qualified(const TableName& table, bool& lost) override;
    Extras ColumnExtras(const TableName& table, Facts& raw) override;
    bool RenumbersColumns() const override { return true; }
    bool KeyRows(bool foreign, const QList<TableName>& tables, QHash<QString, TQXRowsPtr>* byTable,
                 TQXRowsPtr& rows) override;
    bool ReadsInBulk() const override { return true; }
    bool BulkColumns(const QList<TableName>& tables, const QSet<QString>& wanted, QHash<QString, Facts>& raw,
                     QHash<QString, Extras>& extras, int& driverTables) override;
    Rows IndexRows(const TableName& table) override;
    Rows CheckRows(const TableName& table) override;
    Rows EnumRows(const TableName& table) override;
    Rows ExtensionColumns(const TableName& table) override;
    Rows ExtensionObjects() override;

private:
    /// The extras of the tables by "schema\x1Fname", then column name.
    void ReadExtras(const QList<TableName>& tables, QHash<QString, Extras>& byTable);
    /// The fast bulk read (see the definition); false when it cannot be vouched for.
    bool FastColumns(const QList<TableName>& tables, const QSet<QString>& wanted, QHash<QString, Facts>& raw,
                     QHash<QString, Extras>& extras, int& driverTables);
    /// The rows of a constraint query file with the schema and table values.
    Rows PerTable(const QString& file, const TableName& table);
};

/// MariaDB and MySQL: information_schema of the connected database only.
class QVNMariaCatalogReader final : public QVNCatalogReader
{
public:
    using QVNCatalogReader::QVNCatalogReader;
    void CompleteTableList(std::vector<TQXColsPtr>& rows) override;
    bool Columns(const TableName& table, Facts& raw, Extras& extras) override;
    bool KeyRows(bool foreign, const QList<TableName>& tables, QHash<QString, TQXRowsPtr>* byTable,
                 TQXRowsPtr& rows) override;
    bool ReadsInBulk() const override { return true; }
    bool BulkColumns(const QList<TableName>& tables, const QSet<QString>& wanted, QHash<QString, Facts>& raw,
                     QHash<QString, Extras>& extras, int& driverTables) override;
    Rows IndexRows(const TableName& table) override;
    Rows CheckRows(const TableName& table) override;
    Rows EnumRows(const TableName& table) override;

    /// The labels of an enum or set column type ("enum('a','b''c')" gives a, b'c).
    static QStringList TypeLabels(const QString& columnType);

private:
    /// Columns read by columns.sql (one table, or every one: table empty) into raw and extras.
    bool ReadColumns(const QString& table, const QSet<QString>* wanted, QHash<QString, Facts>& raw,
                     QHash<QString, Extras>& extras);
    Rows PerTable(const QString& file, const TableName& table);
};

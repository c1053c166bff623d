#pragma once

#include "QVNError.h"
#include "QVNProgress.h"
#include "TQXCols.h"
#include "TQXRows.h"

#include <QString>
#include <QStringList>

class QVNProject;

/**
 * @brief Collects what a build needs from a project file, as the main window does for the
 * ticked tables: the project's values, the chosen tables with their typed columns and the four
 * screen lists, and the project's output folder.
 *
 * Single-threaded. Progress goes to the optional listener once per table (its cancel flag stops
 * the collection). Failures land in Exceptions, one line each, and the result is false.
 */
class QVNBuildCollector
{
public:
    QVNError Exceptions;
    QVNProgressListener Progress;

    /// With no table named, Collect takes every table; with this set, every view after them too.
    bool IncludeViews = false;

    /**
     * @param tableNames the tables to collect (matched ignoring case); empty = every table whose
     *        kind is "TABLE". An unknown name fails the whole collection before anything is read
     *        beyond the table list.
     * @param tables out: a row set tagged "TABLES", one row per chosen table in the project's
     *        table order: a copy of the table's record with COLUMNS replaced by the typed column
     *        records and UPDATE_COLUMNS, SEARCH_COLUMNS, MAIN_COLUMNS, SHOW_COLUMNS,
     *        FOREIGN_KEYS, the keys (AddKeys), INDEXES, CHECKS, EXTENSIONS and ENUM_TYPES (AddExtensions)
     *        added.
     * @param projectVariables out: P_NO, P_NAME, P_DATABASE, P_USERID, P_PWD, P_PATH and
     *        P_CONNECTIONSTRING, in this order, keyed by these names (a build dialog adds them as
     *        "RVG_" + name).
     * @param projectFolder out: the project's P_PATH (the proposed output folder; may be empty).
     */
    bool Collect(const QString& projectFile, const QStringList& tableNames, TQXRowsPtr& tables,
                 TQXColsPtr& projectVariables, QString& projectFolder);

    /// The foreign-key constraints of a table (FOREIGN_KEYS) from its foreign-key rows
    /// (QVNDatabase::GetForeignKeyRows): one row per constraint keyed by its name, with FK_NAME,
    /// FK_REF_TABLE (the referenced table's key), FK_REF_SCHEMA, FK_REF_OBJECT, FK_COLUMNS and
    /// FK_REF_COLUMNS (joined by ", " in key order), FK_ON_UPDATE and FK_ON_DELETE (the
    /// referential actions as SQL writes them, e.g. "SET NULL"; empty when the catalog gives none)
    /// and FK_PAIRS (FP_COLUMN, FP_REF_COLUMN).
    static TQXRowsPtr ForeignKeys(const TQXRowsPtr& keyRows);
    /// Adds a table's keys to its record: PK_COLUMNS, the declared primary key's columns in key
    /// order (rows shared with COLUMNS); KEY_COLUMNS, the key generated code works with (the
    /// declared key, else the project's TL_PK, else none); TL_KEYSOURCE, "database", "project"
    /// or empty. keyRows are QVNDatabase::GetPrimaryKeys rows.
    static void AddKeys(const TQXColsPtr& table, const TQXRowsPtr& columns, const TQXRowsPtr& keyRows);
    /// Adds EXTENSIONS to every table of a collected set: the database extensions the table needs
    /// (the one owning it, TL_EXTENSION, and those whose types its columns use, CL_EXTENSION) that
    /// no table before it in the set needs, so a script creates each extension once, before the
    /// first table that uses it. Rows keyed by name: EX_NAME, EX_TYPES ("1" when a column of any
    /// table of the set has one of its types, "0" when it only owns tables). Adds ENUM_TYPES the
    /// same way: the enum types of its columns (CL_DBKIND "enum", or "array" of an enum, with
    /// labels) that no table before it uses, keyed by name: ET_NAME (CL_DBTYPE as the database
    /// writes it, without an array's "[]") and CL_ENUMS (the labels in order, shared with the column).
    static void AddExtensions(const TQXRowsPtr& tables);
    /// The same collection from a project already open in memory (with its unsaved annotations).
    bool Collect(QVNProject& project, const QStringList& tableNames, TQXRowsPtr& tables, TQXColsPtr& projectVariables,
                 QString& projectFolder);

    /// True when the last Collect stopped because the listener asked to cancel.
    bool Canceled() const { return m_canceled; }
    /// The names the last Collect could not find (bad input rather than a failed operation).
    const QStringList& UnknownTables() const { return m_unknown; }
    /// True when the last Collect failed on bad input: unknown table names, or a project file that
    /// is missing, unreadable or damaged (as opposed to a database that cannot be reached).
    bool BadInput() const { return m_badProjectFile || !m_unknown.isEmpty(); }
    /// The table list of the project the last Collect read from a file (its tables, columns and
    /// annotations), kept by the collector: the program decides when that memory goes, after the
    /// project itself is closed.
    const TQXRowsPtr& ProjectTables() const { return m_projectTables; }

private:
    TQXRowsPtr m_projectTables;
    bool m_canceled = false;
    bool m_badProjectFile = false;
    QStringList m_unknown;
};

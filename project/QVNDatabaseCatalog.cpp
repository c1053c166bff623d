// The catalog reads every database system shares: the table registry (keys over several schemas),
// catalog queries with bound values, and the bulk read of a set of tables that the system's
// catalog reader does in its own way.
#include "QVNCatalogReader.h"
#include "QVNDatabase.h"
#include "QVNProgress.h"

#include <QSet>

#include <algorithm>
#include <optional>

QVNDatabase::Dbms QVNDatabase::Kind()
{
    if (m_dbmsKnown)
        return m_dbms;
    if (!TestConnect())
        return Dbms::Other;
    SQLWCHAR buffer[128] = {};
    SQLSMALLINT length = 0;
    QString name;
    if (SQL_SUCCEEDED(SQLGetInfoW(m_connection.get(), SQL_DBMS_NAME, buffer, sizeof buffer, &length)))
        name = Odbc::FromWide(buffer, std::min<qsizetype>(length / sizeof(SQLWCHAR), 127)).trimmed();
    m_dbms = QVNCatalogReader::KindOf(name);
    m_dbmsKnown = true;
    return m_dbms;
}

QVNCatalogReader& QVNDatabase::Reader()
{
    // A reader is replaced only when the system changed: a reconnection in the middle of one of
    // its reads finds it still in place.
    const Dbms kind = Kind();
    if (!m_reader || m_readerKind != kind) {
        m_reader = QVNCatalogReader::Create(kind, *this);
        m_readerKind = kind;
    }
    return *m_reader;
}

QVNDatabase::TableName QVNDatabase::ResolveTable(const QString& key) const
{
    const QString wanted = key.trimmed();
    const auto exact = m_tables.constFind(wanted);
    if (exact != m_tables.cend())
        return exact.value();
    for (auto it = m_tables.cbegin(); it != m_tables.cend(); ++it) {
        if (it.key().compare(wanted, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    // A bare name that several schemas hold names the first one listed, as it always did.
    const auto first = m_firstOfName.constFind(wanted);
    if (first != m_firstOfName.cend())
        return first.value();
    // "schema.name" for a table whose name is unique (and so keyed bare).
    for (int dot = wanted.indexOf(QLatin1Char('.')); dot > 0; dot = wanted.indexOf(QLatin1Char('.'), dot + 1)) {
        const TableName candidate{wanted.left(dot), wanted.mid(dot + 1)};
        if (m_tableKeys.contains(QVNCatalogReader::Joined(candidate.schema, candidate.object)))
            return candidate;
    }
    return {QString(), wanted};
}

QVNDatabase::TableName QVNDatabase::Qualified(const TableName& table, bool& lost)
{
    lost = false;
    if (!table.schema.isEmpty() || table.object.isEmpty())
        return table;
    return Reader().Qualified(table, lost);
}

QString QVNDatabase::TableKey(const QString& schema, const QString& object) const
{
    return m_tableKeys.value(QVNCatalogReader::Joined(schema, object), object);
}

std::unique_ptr<QVNRecordset> QVNDatabase::OpenBound(const QString& sql, const QStringList& params)
{
    if (sql.isEmpty() || !TestConnect())
        return nullptr;
    OdbcStatement stmt = NewStatement();
    if (!stmt)
        return nullptr;
    // The time limit covers preparing and running; the record set keeps it while fetching.
    std::optional<OdbcWatchdog::Scope> limit(std::in_place, m_watchdog, SchemaTimeout);
    if (!SQL_SUCCEEDED(SQLPrepareW(stmt.get(), Odbc::Wide(sql), static_cast<SQLINTEGER>(sql.size())))) {
        AddDiagnostics(SQL_HANDLE_STMT, stmt.get(), QStringLiteral("A catalog query could not be prepared."));
        return nullptr;
    }
    // Byte-only drivers (SQLite's) take UTF-8; the others their wide texts. The buffers live until
    // the statement has run.
    const bool wide = !Reader().NarrowParameters();
    std::vector<QByteArray> narrow(static_cast<size_t>(params.size()));
    std::vector<SQLLEN> lengths(static_cast<size_t>(params.size()));
    for (qsizetype i = 0; i < params.size(); ++i) {
        const auto n = static_cast<size_t>(i);
        SQLRETURN rc;
        if (wide) {
            lengths[n] = static_cast<SQLLEN>(params.at(i).size() * sizeof(SQLWCHAR));
            rc = SQLBindParameter(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR,
                                  SQL_WVARCHAR, static_cast<SQLULEN>(std::max<qsizetype>(1, params.at(i).size())), 0,
                                  Odbc::Wide(params.at(i)), lengths[n], &lengths[n]);
        } else {
            narrow[n] = params.at(i).toUtf8();
            lengths[n] = static_cast<SQLLEN>(narrow[n].size());
            rc = SQLBindParameter(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR,
                                  SQL_VARCHAR, static_cast<SQLULEN>(std::max<qsizetype>(1, narrow[n].size())), 0,
                                  narrow[n].data(), lengths[n], &lengths[n]);
        }
        if (!SQL_SUCCEEDED(rc)) {
            AddDiagnostics(SQL_HANDLE_STMT, stmt.get(), QStringLiteral("A catalog query parameter was refused."));
            return nullptr;
        }
    }
    const SQLRETURN rc = SQLExecute(stmt.get());
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        AddDiagnostics(SQL_HANDLE_STMT, stmt.get(), QStringLiteral("A catalog query failed."));
        NoteTimeout();
        return nullptr;
    }
    limit.reset();
    return std::make_unique<QVNRecordset>(std::move(stmt), &m_watchdog, SchemaTimeout);
}

std::vector<QStringList> QVNDatabase::SelectBound(const QString& sql, const QStringList& params, bool& ok)
{
    ok = false;
    const std::unique_ptr<QVNRecordset> rs = OpenBound(sql, params);
    if (!rs)
        return {};
    return ReadTexts(*rs, ok);
}

std::vector<QStringList> QVNDatabase::ReadTexts(QVNRecordset& rs, bool& ok)
{
    std::vector<QStringList> result;
    const int count = rs.FieldCount();
    while (!rs.IsEof()) {
        QStringList row;
        row.reserve(count);
        // A value equal to the one above it shares that text (names and kinds repeat row after row).
        const QStringList* above = result.empty() ? nullptr : &result.back();
        for (int i = 0; i < count; ++i) {
            QString value = rs.Value(i);
            row << (above && above->at(i) == value ? above->at(i) : value);
        }
        result.push_back(std::move(row));
        rs.MoveNext();
    }
    ok = rs.Errors().isEmpty();
    if (!ok) {
        NoteTimeout();
        result.clear();
    }
    return result;
}

TQXRowsPtr QVNDatabase::KeyTables(const TQXRowsPtr& listed)
{
    // The reader puts the driver's list right first (what is not the user's, types, comments).
    std::vector<TQXColsPtr> kept;
    kept.reserve(listed->Count());
    for (const TQXRowPtr& row : *listed)
        kept.push_back(row->Cols());
    if (!kept.empty())
        Reader().CompleteTableList(kept);
    // Names that more than one schema holds are keyed "schema.name" (keys ignore case).
    QHash<QString, int> uses;
    for (const TQXColsPtr& cols : kept)
        uses[cols->Text(QStringLiteral("TABLE_NAME")).toCaseFolded()] += 1;
    auto rows = TQXRows::Create();
    rows->Reserve(static_cast<qsizetype>(kept.size()));
    for (const TQXColsPtr& cols : kept) {
        const QString schema = cols->Text(QStringLiteral("TABLE_SCHEMA"));
        const QString name = cols->Text(QStringLiteral("TABLE_NAME"));
        QString key = name;
        if (uses.value(name.toCaseFolded()) > 1 && !schema.isEmpty())
            key = schema + QLatin1Char('.') + name;
        // Names that still meet (only letter case tells them apart) are numbered.
        for (int n = 2; rows->Exists(key); ++n)
            key = (schema.isEmpty() ? name : schema + QLatin1Char('.') + name) + QStringLiteral(" (%1)").arg(n);
        rows->Add(cols, key);
    }
    return rows;
}

const QVNDatabase::CachedTable* QVNDatabase::Cached(const TableName& table) const
{
    if (m_cache.isEmpty())
        return nullptr;
    const auto it = m_cache.constFind(QVNCatalogReader::Joined(table.schema, table.object));
    return it == m_cache.cend() ? nullptr : &it.value();
}

void QVNDatabase::ForgetCatalog()
{
    m_cache.clear();
    m_constraintRows.clear();
    m_bulkConstraints = false;
}

void QVNDatabase::PrepareCatalog(const QStringList& keys)
{
    ForgetCatalog();
    m_lastRead = {};
    if (keys.isEmpty() || !Reader().ReadsInBulk())
        return; // other databases answer table by table
    QList<TableName> tables;
    QSet<QString> wanted;
    for (const QString& key : keys) {
        const TableName t = ResolveTable(key);
        if (!wanted.contains(QVNCatalogReader::Joined(t.schema, t.object))) {
            wanted.insert(QVNCatalogReader::Joined(t.schema, t.object));
            tables << t;
        }
    }
    if (tables.size() == 1)
        return; // one table is read as it is asked for
    m_bulkConstraints = true;
    QVNCatalogReader& reader = Reader();
    QHash<QString, std::vector<ColumnFacts>> raw;
    QHash<QString, QHash<QString, ColumnExtra>> extras;
    int driverTables = 0;
    const bool columnsRead = reader.BulkColumns(tables, wanted, raw, extras, driverTables);
    if (columnsRead && driverTables >= 0)
        m_lastRead = {true, driverTables};
    QHash<QString, TQXRowsPtr> primary, foreign;
    TQXRowsPtr unused;
    const bool primaryOk = reader.KeyRows(false, tables, &primary, unused);
    const bool foreignOk = reader.KeyRows(true, tables, &foreign, unused);
    for (const TableName& t : tables) {
        const QString id = QVNCatalogReader::Joined(t.schema, t.object);
        CachedTable entry;
        const auto columns = raw.find(id);
        if (columns != raw.end()) {
            entry.columns = std::move(columns.value());
            entry.extras = extras.take(id);
            entry.hasColumns = true;
        }
        if (primaryOk)
            entry.primaryKeys = primary.value(id) ? primary.value(id) : TQXRows::Create();
        if (foreignOk)
            entry.foreignKeyRows = foreign.value(id) ? foreign.value(id) : TQXRows::Create();
        m_cache.insert(id, std::move(entry));
        QVNEvents::DoEvents();
    }
}

const QHash<QString, std::vector<QStringList>>* QVNDatabase::AllConstraintRows(const QString& sql,
                                                                               const QStringList& allTables)
{
    if (!m_bulkConstraints)
        return nullptr;
    auto known = m_constraintRows.constFind(sql);
    if (known == m_constraintRows.cend()) {
        bool all = false;
        std::vector<QStringList> rows = SelectBound(sql, allTables, all);
        if (!all)
            return nullptr;
        QHash<QString, std::vector<QStringList>> byTable;
        for (QStringList& r : rows) {
            if (r.size() >= 2)
                byTable[QVNCatalogReader::Joined(r.at(0), r.at(1))].push_back(std::move(r));
        }
        known = m_constraintRows.insert(sql, std::move(byTable));
    }
    return &known.value();
}

void QVNDatabase::KeepConstraintRows(const QString& sql, QHash<QString, std::vector<QStringList>> byTable)
{
    if (m_bulkConstraints)
        m_constraintRows.insert(sql, std::move(byTable));
}

std::vector<QStringList> QVNDatabase::ConstraintRows(const QString& sql, const TableName& table,
                                                     const QStringList& oneTable, const QStringList& allTables,
                                                     bool& ok)
{
    // After a bulk read, the whole catalog at once; when that cannot be read, table by table.
    const QHash<QString, std::vector<QStringList>>* all = AllConstraintRows(sql, allTables);
    if (!all)
        return SelectBound(sql, oneTable, ok);
    ok = true;
    return all->value(QVNCatalogReader::Joined(table.schema, table.object));
}

// Indexes and CHECK constraints of a table, read from the database's own catalog. The queries are
// files under resources/catalog/<system>/ (compiled in as Qt resources), read once per process,
// and their values are bound as parameters, never pasted into the text.
#include "QVNDatabase.h"
#include "QVNSqlText.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace {
/// The text of a catalog query, read from the resources on first use.
const QString& CatalogQuery(const QString& path)
{
    static QHash<QString, QString> texts;
    auto it = texts.find(path);
    if (it == texts.end()) {
        QFile file(QStringLiteral(":/catalog/") + path);
        // The comment lines at the head of a file are for its readers: SQLite's driver takes a
        // comment for a statement of its own.
        QStringList lines;
        if (file.open(QIODevice::ReadOnly)) {
            for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
                if (!line.trimmed().startsWith(QLatin1String("--")))
                    lines << line;
            }
        }
        it = texts.insert(path, lines.join(QLatin1Char('\n')).trimmed());
    }
    return it.value();
}

/// The parts of a SQLite CREATE INDEX statement between the parentheses after ON name, split at
/// the commas outside parentheses and quotes, and the condition after WHERE (empty when none).
void SplitSqliteIndex(const QString& sql, QStringList& parts, QString& condition)
{
    parts.clear();
    condition.clear();
    static const QRegularExpression on(QStringLiteral("\\sON\\s"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = on.match(sql);
    if (!m.hasMatch())
        return;
    const int open = sql.indexOf(QLatin1Char('('), m.capturedEnd());
    if (open < 0)
        return;
    const qsizetype i = QVNSqlText::SplitList(sql, open, parts);
    static const QRegularExpression where(QStringLiteral("^\\s*WHERE\\s+(.*)$"),
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch w = where.match(sql.mid(i + 1));
    if (w.hasMatch())
        condition = w.captured(1).trimmed();
}

/// A key part written as a column: its sort order after the name or expression is not part of it.
QString WithoutOrder(const QString& part, bool& descending)
{
    static const QRegularExpression order(QStringLiteral("\\s+(ASC|DESC)\\s*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = order.match(part);
    descending = m.hasMatch() && m.captured(1).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
    return m.hasMatch() ? part.left(m.capturedStart()).trimmed() : part;
}
} // namespace

std::vector<QStringList> QVNDatabase::SelectBound(const QString& sql, const QStringList& params, bool& ok)
{
    std::vector<QStringList> result;
    ok = false;
    if (sql.isEmpty() || !TestConnect())
        return result;
    OdbcStatement stmt = NewStatement();
    if (!stmt)
        return result;
    // The time limit covers preparing and running; the record set keeps it while fetching.
    std::optional<OdbcWatchdog::Scope> limit(std::in_place, m_watchdog, SchemaTimeout);
    if (!SQL_SUCCEEDED(SQLPrepareW(stmt.get(), Odbc::Wide(sql), static_cast<SQLINTEGER>(sql.size())))) {
        AddDiagnostics(SQL_HANDLE_STMT, stmt.get(), QStringLiteral("A catalog query could not be prepared."));
        return result;
    }
    // Byte-only drivers (SQLite's) take UTF-8; the others their wide texts. The buffers live until
    // the statement has run.
    const bool wide = Kind() != Dbms::SQLite;
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
            return result;
        }
    }
    const SQLRETURN rc = SQLExecute(stmt.get());
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        AddDiagnostics(SQL_HANDLE_STMT, stmt.get(), QStringLiteral("A catalog query failed."));
        NoteTimeout();
        return result;
    }
    limit.reset();
    QVNRecordset rs(std::move(stmt), &m_watchdog, SchemaTimeout);
    return ReadTexts(rs, ok);
}

TQXRowsPtr QVNDatabase::GetIndexRows(const QString& tableName)
{
    auto result = TQXRows::Create();
    result->SetTag(QStringLiteral("INDEXES"));
    const TableName table = ResolveTable(tableName.trimmed());
    bool ok = false;
    std::vector<QStringList> rows;
    const Dbms kind = Kind();
    if (kind == Dbms::PostgreSQL)
        rows = ConstraintRows(QStringLiteral("postgresql/indexes.sql"), table, ok);
    else if (kind == Dbms::SQLite)
        rows = SelectBound(CatalogQuery(QStringLiteral("sqlite/indexes.sql")), {table.object, table.object}, ok);
    else
        return result;

    QStringList sqliteParts;
    QString sqliteCondition;
    for (const QStringList& r : rows) {
        // SQLite's answer is the one table's; PostgreSQL's is checked.
        if (r.size() < 11 || (kind == Dbms::PostgreSQL && (r.at(1) != table.object || r.at(0) != table.schema)))
            continue;
        const QString name = r.at(2);
        TQXRowPtr index = result->Item(name);
        if (!index) {
            QString condition = r.at(5);
            if (kind == Dbms::SQLite) {
                SplitSqliteIndex(r.at(10), sqliteParts, sqliteCondition);
                condition = r.at(5) == QLatin1String("1") ? sqliteCondition : QString();
            }
            auto cols = TQXCols::Create();
            cols->Add(name, QStringLiteral("IX_NAME"));
            cols->Add(r.at(3) == QLatin1String("1") ? QStringLiteral("1") : QStringLiteral("0"),
                      QStringLiteral("IX_UNIQUE"));
            const QString owner = r.at(4);
            cols->Add(owner == QLatin1String("u")   ? QStringLiteral("unique")
                      : owner == QLatin1String("x") ? QStringLiteral("exclude")
                                                    : QStringLiteral("index"),
                      QStringLiteral("IX_KIND"));
            cols->Add(kind == Dbms::PostgreSQL ? r.at(10) : QStringLiteral("btree"), QStringLiteral("IX_METHOD"));
            cols->Add(condition, QStringLiteral("IX_WHERE"));
            cols->Add(QStringLiteral("0"), QStringLiteral("IX_EXPRESSION"));
            cols->Add(QString(), QStringLiteral("IX_COLUMNS"));
            auto parts = TQXRows::Create();
            parts->SetTag(QStringLiteral("IX_PARTS"));
            cols->Add(parts, QStringLiteral("IX_PARTS"));
            index = result->Add(cols, name);
            if (!index)
                continue;
        }
        const TQXColsPtr& ic = index->Cols();
        const bool expression = r.at(8) == QLatin1String("1");
        bool descending = r.at(9) == QLatin1String("1");
        QString part = r.at(7);
        if (expression && kind == Dbms::SQLite) {
            const int at = r.at(6).toInt() - 1;
            part = at >= 0 && at < sqliteParts.size() ? WithoutOrder(sqliteParts.at(at), descending) : QString();
        }
        if (expression)
            ic->Item(QStringLiteral("IX_EXPRESSION"))->SetValue(QStringLiteral("1"));
        auto pc = TQXCols::Create();
        pc->Add(part, QStringLiteral("IP_COLUMN"));
        pc->Add(expression ? QStringLiteral("1") : QStringLiteral("0"), QStringLiteral("IP_EXPRESSION"));
        pc->Add(descending ? QStringLiteral("1") : QStringLiteral("0"), QStringLiteral("IP_DESC"));
        pc->Add(kind == Dbms::PostgreSQL && r.size() > 11 ? r.at(11) : QString(), QStringLiteral("IP_OPCLASS"));
        ic->Item(QStringLiteral("IX_PARTS"))->Value().rows()->Add(pc);
        const TQXColPtr joined = ic->Item(QStringLiteral("IX_COLUMNS"));
        const QString before = joined->Value().ToText();
        joined->SetValue(before.isEmpty() ? part : before + QStringLiteral(", ") + part);
    }
    return result;
}

TQXRowsPtr QVNDatabase::GetCheckRows(const QString& tableName)
{
    auto result = TQXRows::Create();
    result->SetTag(QStringLiteral("CHECKS"));
    if (Kind() != Dbms::PostgreSQL)
        return result;
    const TableName table = ResolveTable(tableName.trimmed());
    bool ok = false;
    const auto rows = ConstraintRows(QStringLiteral("postgresql/checks.sql"), table, ok);
    // "CHECK (expression)" with NOT VALID or NO INHERIT after it: the expression alone.
    static const QRegularExpression check(QStringLiteral("^CHECK \\((.*)\\)((?: NOT VALID| NO INHERIT)*)$"),
                                          QRegularExpression::DotMatchesEverythingOption);
    for (const QStringList& r : rows) {
        if (r.size() < 4 || r.at(0) != table.schema || r.at(1) != table.object)
            continue;
        const QRegularExpressionMatch m = check.match(r.at(3));
        auto cols = TQXCols::Create();
        cols->Add(r.at(2), QStringLiteral("CK_NAME"));
        cols->Add(m.hasMatch() ? m.captured(1) : r.at(3), QStringLiteral("CK_EXPRESSION"));
        result->Add(cols, r.at(2));
    }
    return result;
}

QHash<QString, TQXRowsPtr> QVNDatabase::GetEnumLabels(const QString& tableName)
{
    QHash<QString, TQXRowsPtr> result;
    if (Kind() != Dbms::PostgreSQL)
        return result;
    const TableName table = ResolveTable(tableName.trimmed());
    bool ok = false;
    const auto rows = ConstraintRows(QStringLiteral("postgresql/enum_labels.sql"), table, ok);
    for (const QStringList& r : rows) {
        if (r.size() < 4)
            continue;
        TQXRowsPtr& labels = result[r.at(2)];
        if (!labels) {
            labels = TQXRows::Create();
            labels->SetTag(QStringLiteral("CL_ENUMS"));
        }
        auto cols = TQXCols::Create();
        cols->Add(r.at(3), QStringLiteral("EV_VALUE"));
        labels->Add(cols);
    }
    return result;
}

QHash<QString, QString> QVNDatabase::GetColumnExtensions(const QString& tableName)
{
    QHash<QString, QString> result;
    if (Kind() != Dbms::PostgreSQL)
        return result;
    const TableName table = ResolveTable(tableName.trimmed());
    bool ok = false;
    const auto rows = ConstraintRows(QStringLiteral("postgresql/column_extensions.sql"), table, ok);
    for (const QStringList& r : rows) {
        if (r.size() >= 4)
            result.insert(r.at(2), r.at(3));
    }
    return result;
}

QHash<QString, QString> QVNDatabase::GetExtensionObjects()
{
    QHash<QString, QString> result;
    if (Kind() != Dbms::PostgreSQL)
        return result;
    bool ok = false;
    const auto rows = SelectBound(CatalogQuery(QStringLiteral("postgresql/extension_objects.sql")), {}, ok);
    for (const QStringList& r : rows) {
        if (r.size() >= 3)
            result.insert(r.at(0) + QChar(0x1F) + r.at(1), r.at(2));
    }
    return result;
}

std::vector<QStringList> QVNDatabase::ConstraintRows(const QString& queryFile, const TableName& table, bool& ok)
{
    const QString& sql = CatalogQuery(queryFile);
    if (!m_bulkConstraints)
        return SelectBound(sql, {table.schema, table.schema, table.object, table.object}, ok);
    auto known = m_constraintRows.constFind(queryFile);
    if (known == m_constraintRows.cend()) {
        bool all = false;
        std::vector<QStringList> rows = SelectBound(sql, {QString(), QString(), QString(), QString()}, all);
        if (!all) // the whole catalog could not be read: table by table then
            return SelectBound(sql, {table.schema, table.schema, table.object, table.object}, ok);
        QHash<QString, std::vector<QStringList>> byTable;
        for (QStringList& r : rows) {
            if (r.size() >= 2)
                byTable[r.at(0) + QChar(0x1F) + r.at(1)].push_back(std::move(r));
        }
        known = m_constraintRows.insert(queryFile, std::move(byTable));
    }
    ok = true;
    return known->value(table.schema + QChar(0x1F) + table.object);
}

TQXRowsPtr QVNDatabase::SqliteKeyOrder(const TableName& table, const TQXRowsPtr& rows)
{
    bool ok = false;
    const auto order = SelectBound(CatalogQuery(QStringLiteral("sqlite/key_order.sql")), {table.object}, ok);
    if (!ok || !rows || order.size() != static_cast<size_t>(rows->Count()))
        return rows;
    auto result = TQXRows::Create();
    result->SetTag(rows->Tag());
    for (const QStringList& r : order) {
        const TQXRowPtr row = rows->Item(r.at(0));
        if (!row)
            return rows;
        if (const TQXColPtr ordinal = row->Cols()->Item(QStringLiteral("ORDINAL")))
            ordinal->SetValue(r.at(1));
        result->Add(row->Cols(), row->Key());
    }
    return result;
}

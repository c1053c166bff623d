// SQLite's catalog reader: the table pragmas give the declared types, the rowid alias, the
// generated columns the driver leaves out and the key order; indexes and CHECK constraints come
// from the CREATE statements.
#include "QVNCatalogReader.h"
#include "QVNSqlText.h"

#include <QRegularExpression>

#include <algorithm>

namespace {
/// The expressions of the generated columns in a SQLite CREATE TABLE statement, by lower-cased
/// column name: the text inside "AS (...)" of each column definition.
QHash<QString, QString> GeneratedExpressions(const QString& sql)
{
    QHash<QString, QString> result;
    const int open = sql.indexOf(QLatin1Char('('));
    if (open < 0)
        return result;
    QStringList parts;
    QVNSqlText::SplitList(sql, open, parts);
    for (const QString& raw : parts) {
        const QString part = raw.trimmed();
        if (part.isEmpty())
            continue;
        // The column name: quoted, or up to the first blank.
        QString name;
        int pos = 0;
        const QChar first = part.at(0);
        if (first == QLatin1Char('"') || first == QLatin1Char('`') || first == QLatin1Char('[')) {
            const QChar close = first == QLatin1Char('[') ? QLatin1Char(']') : first;
            pos = 1;
            while (pos < part.size()) {
                if (part.at(pos) == close) {
                    if (close != QLatin1Char(']') && pos + 1 < part.size() && part.at(pos + 1) == close) {
                        name += close;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                name += part.at(pos++);
            }
        } else {
            while (pos < part.size() && !part.at(pos).isSpace())
                name += part.at(pos++);
        }
        // "AS (" at the top level of the definition starts the expression.
        int level = 0;
        QChar q;
        for (int i = pos; i < part.size(); ++i) {
            const QChar ch = part.at(i);
            if (!q.isNull()) {
                if (ch == q)
                    q = QChar();
                continue;
            }
            if (ch == QLatin1Char('\'') || ch == QLatin1Char('"') || ch == QLatin1Char('`')) {
                q = ch;
                continue;
            }
            if (ch == QLatin1Char('('))
                ++level;
            else if (ch == QLatin1Char(')'))
                --level;
            if (level != 0 || ch.toLower() != QLatin1Char('a') || i + 1 >= part.size() ||
                part.at(i + 1).toLower() != QLatin1Char('s') || (i > 0 && part.at(i - 1).isLetterOrNumber()))
                continue;
            int j = i + 2;
            while (j < part.size() && part.at(j).isSpace())
                ++j;
            if (j >= part.size() || part.at(j) != QLatin1Char('('))
                continue;
            // The balanced parenthesis after AS.
            int d = 0;
            QChar qq;
            const int start = j + 1;
            for (int k = j; k < part.size(); ++k) {
                const QChar c = part.at(k);
                if (!qq.isNull()) {
                    if (c == qq)
                        qq = QChar();
                    continue;
                }
                if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
                    qq = c;
                else if (c == QLatin1Char('('))
                    ++d;
                else if (c == QLatin1Char(')') && --d == 0) {
                    result.insert(name.toLower(), part.mid(start, k - start).trimmed());
                    break;
                }
            }
            break;
        }
    }
    return result;
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

QString QVNSqliteCatalogReader::CreateStatement(const TableName& table)
{
    bool ok = false;
    const Rows rows = Select(QStringLiteral("sqlite/table_sql.sql"), {table.object}, ok);
    return rows.empty() || rows.front().isEmpty() ? QString() : rows.front().at(0);
}

QVNCatalogReader::Extras QVNSqliteCatalogReader::ColumnExtras(const TableName& table, Facts& raw)
{
    Extras result;
    bool ok = false;
    const Rows rows = Select(QStringLiteral("sqlite/table_xinfo.sql"), {table.object}, ok);
    enum { Name, Type, NotNull, Default, Key, Hidden };
    int keyColumns = 0;
    bool anyGenerated = false;
    for (const QStringList& r : rows) {
        if (r.size() <= Hidden)
            return result;
        if (r.at(Key).toInt() > 0)
            ++keyColumns;
        anyGenerated = anyGenerated || r.at(Hidden).toInt() >= 2;
    }
    QHash<QString, QString> expressions;
    if (anyGenerated)
        expressions = GeneratedExpressions(CreateStatement(table));
    for (const QStringList& r : rows) {
        ColumnExtra e;
        e.dbType = r.at(Type);
        // The rowid alias: the one key column declared exactly INTEGER.
        e.identity = keyColumns == 1 && r.at(Key).toInt() > 0 &&
                     r.at(Type).trimmed().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
        e.generated = r.at(Hidden).toInt() >= 2;
        e.defaultValue = r.at(Default);
        if (e.generated)
            e.genExpr = expressions.value(r.at(Name).toLower());
        result.insert(r.at(Name), e);
    }

    // The driver lists a table's columns from the pragma that leaves generated columns out; the
    // extended pragma has them, in their place.
    if (raw.empty() || rows.size() <= raw.size())
        return result;
    Facts complete;
    complete.reserve(rows.size());
    for (const QStringList& r : rows) {
        const auto listed =
            std::find_if(raw.begin(), raw.end(), [&](const ColumnFacts& f) { return f.name == r.at(Name); });
        if (listed != raw.end()) {
            complete.push_back(*listed);
            continue;
        }
        ColumnFacts f;
        f.catalog = raw.front().catalog;
        f.schema = raw.front().schema;
        f.table = raw.front().table;
        f.name = r.at(Name);
        f.typeName = r.at(Type);
        // The column's type by SQLite's own affinity rules.
        const QString t = r.at(Type).toUpper();
        if (t.contains(QLatin1String("INT")))
            f.sqlType = t.startsWith(QLatin1String("BIGINT")) ? SQL_BIGINT : SQL_INTEGER;
        else if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) ||
                 t.contains(QLatin1String("TEXT")))
            f.sqlType = SQL_VARCHAR;
        else if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
                 t.contains(QLatin1String("DOUB")))
            f.sqlType = SQL_DOUBLE;
        else if (t.contains(QLatin1String("BLOB")))
            f.sqlType = SQL_LONGVARBINARY;
        else if (t.isEmpty())
            f.sqlType = SQL_VARCHAR; // as the driver lists a plain column without a declared type
        else
            f.sqlType = SQL_NUMERIC;
        f.nullable = r.at(NotNull) == QLatin1String("1") ? SQL_NO_NULLS : SQL_NULLABLE;
        f.defaultValue = r.at(Default);
        f.ordinal = QString::number(complete.size() + 1);
        complete.push_back(std::move(f));
    }
    raw = std::move(complete);
    return result;
}

TQXRowsPtr QVNSqliteCatalogReader::KeyOrder(const TableName& table, const TQXRowsPtr& rows)
{
    bool ok = false;
    const Rows order = Select(QStringLiteral("sqlite/key_order.sql"), {table.object}, ok);
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

QVNCatalogReader::Rows QVNSqliteCatalogReader::IndexRows(const TableName& table)
{
    bool ok = false;
    Rows rows = Select(QStringLiteral("sqlite/indexes.sql"), {table.object, table.object}, ok);
    // The pragmas name no expression and no condition: both are read from the CREATE statement.
    QStringList parts;
    QString condition, parsedFor;
    Rows result;
    result.reserve(rows.size());
    for (const QStringList& r : rows) {
        if (r.size() < 11)
            continue;
        if (parsedFor != r.at(2)) {
            parsedFor = r.at(2);
            SplitSqliteIndex(r.at(10), parts, condition);
        }
        const bool expression = r.at(8) == QLatin1String("1");
        bool descending = r.at(9) == QLatin1String("1");
        QString part = r.at(7);
        if (expression) {
            const int at = r.at(6).toInt() - 1;
            part = at >= 0 && at < parts.size() ? WithoutOrder(parts.at(at), descending) : QString();
        }
        result.push_back({r.at(0), r.at(1), r.at(2), r.at(3), r.at(4),
                          r.at(5) == QLatin1String("1") ? condition : QString(), r.at(6), part,
                          expression ? QStringLiteral("1") : QStringLiteral("0"),
                          descending ? QStringLiteral("1") : QStringLiteral("0"), QStringLiteral("btree"), QString(),
                          QStringLiteral("0")});
    }
    return result;
}

QVNCatalogReader::Rows QVNSqliteCatalogReader::CheckRows(const TableName& table)
{
    Rows result;
    QSet<QString> names;
    for (const QVNSqlText::Check& check : QVNSqlText::Checks(CreateStatement(table))) {
        // A check without a name is named as PostgreSQL names it: table_column_check for a
        // column's, table_check for the table's, numbered from 1 when the name is taken.
        QString name = check.name;
        if (name.isEmpty()) {
            const QString base = table.object + QLatin1Char('_') +
                                 (check.column.isEmpty() ? QString() : check.column + QLatin1Char('_')) +
                                 QStringLiteral("check");
            name = base;
            for (int n = 1; names.contains(name.toLower()); ++n)
                name = base + QString::number(n);
        }
        names.insert(name.toLower());
        result.push_back({table.schema, table.object, name, check.expression});
    }
    return result;
}

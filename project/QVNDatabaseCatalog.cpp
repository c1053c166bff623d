// The catalog reads that know the database system: table keys over several schemas, the
// database's own view of columns (PostgreSQL's system catalog, SQLite's table pragmas), and the
// bulk reads that answer a whole set of tables with one query per kind.
#include "QVNDatabase.h"
#include "QVNProgress.h"
#include "QVNSqlText.h"

#include <QSet>

namespace {
const QChar kSep(0x1F);

QString Joined(const QString& schema, const QString& object)
{
    return schema + kSep + object;
}

/// A text as an SQL string literal; backslashes written so that either setting of PostgreSQL's
/// standard_conforming_strings reads them back unchanged.
QString Literal(const QString& text)
{
    QString inner = text;
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    if (!inner.contains(QLatin1Char('\\')))
        return QLatin1Char('\'') + inner + QLatin1Char('\'');
    inner.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return QStringLiteral("E'") + inner + QLatin1Char('\'');
}

/// The condition that restricts a PostgreSQL catalog query (n = namespace, c = class) to the
/// tables: one table exactly, or the schemas of several (the caller picks its tables).
QString PgFilter(const QList<QVNDatabase::TableName>& tables)
{
    if (tables.size() == 1)
        return QStringLiteral("n.nspname = %1 and c.relname = %2")
            .arg(Literal(tables.first().schema), Literal(tables.first().object));
    if (tables.isEmpty())
        return QStringLiteral("n.nspname not in ('pg_catalog', 'information_schema') and n.nspname not like "
                              "'pg\\_toast%'");
    QStringList schemas;
    for (const QVNDatabase::TableName& t : tables) {
        const QString s = Literal(t.schema);
        if (!schemas.contains(s))
            schemas << s;
    }
    return QStringLiteral("n.nspname in (") + schemas.join(QLatin1String(", ")) + QLatin1Char(')');
}

/// Texts that repeat row after row (type names, kinds), each kept once and shared by its uses.
class SharedTexts
{
public:
    QString operator()(const QString& text)
    {
        if (text.isEmpty())
            return text;
        const auto known = m_texts.constFind(text);
        if (known != m_texts.cend())
            return *known;
        m_texts.insert(text);
        return text;
    }

private:
    QSet<QString> m_texts;
};

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
} // namespace

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
    m_dbms = name.startsWith(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) ? Dbms::PostgreSQL
             : name.startsWith(QLatin1String("SQLite"), Qt::CaseInsensitive)   ? Dbms::SQLite
                                                                               : Dbms::Other;
    m_dbmsKnown = true;
    return m_dbms;
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
        if (m_tableKeys.contains(Joined(candidate.schema, candidate.object)))
            return candidate;
    }
    return {QString(), wanted};
}

QVNDatabase::TableName QVNDatabase::Qualified(const TableName& table, bool& lost)
{
    lost = false;
    if (!table.schema.isEmpty() || table.object.isEmpty() || Kind() != Dbms::PostgreSQL)
        return table;
    // A table the last list did not name: the one the search path finds.
    bool ok = false;
    const auto rows =
        SelectTexts(QStringLiteral("select n.nspname from pg_catalog.pg_class c join pg_catalog.pg_namespace n "
                                   "on n.oid = c.relnamespace where c.relname = %1 and "
                                   "pg_catalog.pg_table_is_visible(c.oid)")
                        .arg(Literal(table.object)),
                    ok);
    lost = !ok && m_watchdog.Tripped();
    return rows.empty() ? table : TableName{rows.front().at(0), table.object};
}

QString QVNDatabase::TableKey(const QString& schema, const QString& object) const
{
    return m_tableKeys.value(Joined(schema, object), object);
}

std::vector<QStringList> QVNDatabase::SelectTexts(const QString& sql, bool& ok)
{
    std::vector<QStringList> result;
    ok = false;
    OdbcStatement stmt;
    SQLRETURN rc = SQL_ERROR;
    if (!Execute(sql, SchemaTimeout, stmt, rc) || !SQL_SUCCEEDED(rc)) {
        NoteTimeout();
        return result;
    }
    QVNRecordset rs(std::move(stmt), &m_watchdog, SchemaTimeout);
    return ReadTexts(rs, ok);
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
    struct Relation
    {
        QString kind, comment;
        bool partition = false;
    };
    QHash<QString, Relation> relations;
    if (listed->Count() > 0 && Kind() == Dbms::PostgreSQL) {
        bool ok = false;
        const auto rows = SelectTexts(
            QStringLiteral("select n.nspname, c.relname, c.relkind, case when c.relispartition then '1' else '0' end, "
                           "coalesce(obj_description(c.oid, 'pg_class'), '') from pg_catalog.pg_class c "
                           "join pg_catalog.pg_namespace n on n.oid = c.relnamespace "
                           "where c.relkind in ('r', 'v', 'm', 'p', 'f')"),
            ok);
        for (const QStringList& r : rows)
            relations.insert(Joined(r.at(0), r.at(1)), {r.at(2), r.at(4), r.at(3) == QLatin1String("1")});
    }
    // Names that more than one schema holds are keyed "schema.name" (keys ignore case).
    QHash<QString, int> uses;
    std::vector<TQXColsPtr> kept;
    kept.reserve(listed->Count());
    for (const TQXRowPtr& row : *listed) {
        const TQXColsPtr& cols = row->Cols();
        const QString schema = cols->Text(QStringLiteral("TABLE_SCHEMA"));
        const QString name = cols->Text(QStringLiteral("TABLE_NAME"));
        const auto rel = relations.constFind(Joined(schema, name));
        if (rel != relations.cend()) {
            // A partition is part of its parent table, not a table of its own.
            if (rel->partition)
                continue;
            const TQXColPtr type = cols->Item(QStringLiteral("TABLE_TYPE"));
            if (type && rel->kind == QLatin1String("m"))
                type->SetValue(QStringLiteral("VIEW"));
            else if (type && rel->kind == QLatin1String("p"))
                type->SetValue(QStringLiteral("TABLE"));
            const TQXColPtr description = cols->Item(QStringLiteral("DESCRIPTION"));
            if (description && description->Value().ToText().isEmpty() && !rel->comment.isEmpty())
                description->SetValue(rel->comment.trimmed());
        }
        uses[name.toCaseFolded()] += 1;
        kept.push_back(cols);
    }
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

QHash<QString, QVNDatabase::ColumnExtra> QVNDatabase::ColumnExtras(const QList<TableName>& tables)
{
    switch (Kind()) {
    case Dbms::PostgreSQL:
        return PgColumnExtras(tables);
    case Dbms::SQLite:
        return tables.size() == 1 ? SqliteColumnExtras(tables.first()) : QHash<QString, ColumnExtra>();
    default:
        return {};
    }
}

QHash<QString, QVNDatabase::ColumnExtra>
QVNDatabase::PgColumnExtras(const QList<TableName>& tables, QHash<QString, QHash<QString, ColumnExtra>>* byTable)
{
    QHash<QString, ColumnExtra> result;
    bool ok = false;
    const auto rows = SelectTexts(
        QStringLiteral("select n.nspname, c.relname, a.attname, format_type(a.atttypid, a.atttypmod), "
                       "case t.typtype when 'd' then format_type(t.typbasetype, t.typtypmod) when 'e' then 'text' "
                       "else format_type(a.atttypid, a.atttypmod) end, "
                       "case when t.typtype = 'e' then 'enum' when t.typtype = 'd' then 'domain' "
                       "when t.typcategory = 'A' then 'array' else '' end, "
                       "case when a.attidentity <> '' then '1' when a.attgenerated = '' and "
                       "pg_get_expr(d.adbin, d.adrelid) like 'nextval(%' then '1' else '0' end, "
                       "case when a.attgenerated <> '' then '1' else '0' end, "
                       "case when a.attgenerated <> '' then pg_get_expr(d.adbin, d.adrelid) else '' end "
                       "from pg_catalog.pg_attribute a join pg_catalog.pg_class c on c.oid = a.attrelid "
                       "join pg_catalog.pg_namespace n on n.oid = c.relnamespace "
                       "join pg_catalog.pg_type t on t.oid = a.atttypid "
                       "left join pg_catalog.pg_attrdef d on d.adrelid = a.attrelid and d.adnum = a.attnum "
                       "where a.attnum > 0 and not a.attisdropped and c.relkind in ('r', 'v', 'm', 'p', 'f') and ") +
            PgFilter(tables),
        ok);
    if (!byTable)
        result.reserve(static_cast<qsizetype>(rows.size()));
    // A schema uses a few dozen types: each type text is kept once and shared by its columns.
    SharedTexts shared;
    QHash<QString, ColumnExtra>* into = nullptr;
    QString intoSchema, intoTable;
    for (const QStringList& r : rows) {
        ColumnExtra e;
        e.dbType = shared(r.at(3));
        e.dbBase = shared(r.at(4));
        e.dbKind = shared(r.at(5));
        e.identity = r.at(6) == QLatin1String("1");
        e.generated = r.at(7) == QLatin1String("1");
        e.genExpr = r.at(8);
        if (byTable) {
            // Rows come table by table: the table's set is looked up once per table.
            if (!into || r.at(0) != intoSchema || r.at(1) != intoTable) {
                intoSchema = r.at(0);
                intoTable = r.at(1);
                into = &(*byTable)[Joined(intoSchema, intoTable)];
            }
            into->insert(r.at(2), e);
        } else {
            result.insert(r.at(0) + kSep + r.at(1) + kSep + r.at(2), e);
        }
    }
    return result;
}

QHash<QString, QVNDatabase::ColumnExtra> QVNDatabase::SqliteColumnExtras(const TableName& table)
{
    QHash<QString, ColumnExtra> result;
    bool ok = false;
    const auto rows =
        SelectTexts(QStringLiteral("select name, type, pk, hidden, dflt_value from pragma_table_xinfo(%1)")
                        .arg(Literal(table.object)),
                    ok);
    int keyColumns = 0;
    for (const QStringList& r : rows) {
        if (r.at(2).toInt() > 0)
            ++keyColumns;
    }
    QHash<QString, QString> expressions;
    bool anyGenerated = false;
    for (const QStringList& r : rows)
        anyGenerated = anyGenerated || r.at(3).toInt() >= 2;
    if (anyGenerated) {
        const auto sql = SelectTexts(QStringLiteral("select sql from sqlite_master where type = 'table' and name = %1")
                                         .arg(Literal(table.object)),
                                     ok);
        if (!sql.empty())
            expressions = GeneratedExpressions(sql.front().at(0));
    }
    const QString prefix = table.schema + kSep + table.object + kSep;
    for (const QStringList& r : rows) {
        ColumnExtra e;
        e.dbType = r.at(1);
        // The rowid alias: the one key column declared exactly INTEGER.
        e.identity = keyColumns == 1 && r.at(2).toInt() > 0 &&
                     r.at(1).trimmed().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
        e.generated = r.at(3).toInt() >= 2;
        e.defaultValue = r.at(4);
        if (e.generated)
            e.genExpr = expressions.value(r.at(0).toLower());
        result.insert(prefix + r.at(0), e);
    }
    return result;
}

TQXRowsPtr QVNDatabase::PgKeyRows(bool foreign, const QList<TableName>& tables, QHash<QString, TQXRowsPtr>* byTable,
                                  bool& ok)
{
    const QString sql =
        foreign
            ? QStringLiteral("select n.nspname, c.relname, a.attname, k.ord, con.conname, rn.nspname, rc.relname, "
                             "ra.attname from pg_catalog.pg_constraint con "
                             "join pg_catalog.pg_class c on c.oid = con.conrelid "
                             "join pg_catalog.pg_namespace n on n.oid = c.relnamespace "
                             "join pg_catalog.pg_class rc on rc.oid = con.confrelid "
                             "join pg_catalog.pg_namespace rn on rn.oid = rc.relnamespace "
                             "cross join lateral unnest(con.conkey, con.confkey) with ordinality as k(att, ref, ord) "
                             "join pg_catalog.pg_attribute a on a.attrelid = con.conrelid and a.attnum = k.att "
                             "join pg_catalog.pg_attribute ra on ra.attrelid = con.confrelid and ra.attnum = k.ref "
                             "where con.contype = 'f' and con.conparentid = 0 and ") +
                  PgFilter(tables) +
                  QStringLiteral(" order by n.nspname, c.relname, rn.nspname, rc.relname, con.conname, k.ord")
            : QStringLiteral("select n.nspname, c.relname, a.attname, k.ord, con.conname "
                             "from pg_catalog.pg_constraint con "
                             "join pg_catalog.pg_class c on c.oid = con.conrelid "
                             "join pg_catalog.pg_namespace n on n.oid = c.relnamespace "
                             "cross join lateral unnest(con.conkey) with ordinality as k(att, ord) "
                             "join pg_catalog.pg_attribute a on a.attrelid = con.conrelid and a.attnum = k.att "
                             "where con.contype = 'p' and ") +
                  PgFilter(tables) + QStringLiteral(" order by n.nspname, c.relname, k.ord");
    const auto rows = SelectTexts(sql, ok);
    auto all = TQXRows::Create();
    TQXRowsPtr current;
    QString currentTable;
    for (const QStringList& r : rows) {
        auto cols = TQXCols::Create();
        if (foreign) {
            cols->Reserve(10);
            cols->Add(r.at(5), QStringLiteral("PK_TABLE_SCHEMA"));
            cols->Add(r.at(6), QStringLiteral("PK_TABLE_NAME"));
            cols->Add(r.at(7), QStringLiteral("PK_COLUMN_NAME"));
            cols->Add(r.at(0), QStringLiteral("FK_TABLE_SCHEMA"));
            cols->Add(r.at(1), QStringLiteral("FK_TABLE_NAME"));
            cols->Add(r.at(2), QStringLiteral("FK_COLUMN_NAME"));
            cols->Add(r.at(3), QStringLiteral("ORDINAL"));
            cols->Add(r.at(4), QStringLiteral("FK_NAME"));
            cols->Add(TableKey(r.at(5), r.at(6)), QStringLiteral("PK_TABLE_KEY"));
        } else {
            cols->Reserve(5);
            cols->Add(r.at(0), QStringLiteral("TABLE_SCHEMA"));
            cols->Add(r.at(1), QStringLiteral("TABLE_NAME"));
            cols->Add(r.at(2), QStringLiteral("COLUMN_NAME"));
            cols->Add(r.at(3), QStringLiteral("ORDINAL"));
            cols->Add(r.at(4), QStringLiteral("PK_NAME"));
        }
        const QString key = foreign ? QString() : r.at(2);
        if (byTable) {
            const QString table = Joined(r.at(0), r.at(1));
            if (table != currentTable || !current) {
                currentTable = table;
                TQXRowsPtr& slot = (*byTable)[table];
                if (!slot)
                    slot = TQXRows::Create();
                current = slot;
            }
            current->Add(cols, key);
        } else {
            all->Add(cols, key);
        }
    }
    return all;
}

void QVNDatabase::ReadSchemaColumns(const QStringList& schemas, const QSet<QString>& wanted,
                                    QHash<QString, std::vector<ColumnFacts>>& raw)
{
    for (const QString& schema : schemas) {
        // A table's columns come one after another: the answer for the table before is reused.
        QString lastTable;
        bool lastWanted = false;
        std::vector<ColumnFacts> all = ReadColumnFacts(schema, QString(), [&](const ColumnFacts& f) {
            if (f.schema != schema)
                return false;
            if (lastTable.isNull() || f.table != lastTable) {
                lastTable = f.table;
                lastWanted = wanted.contains(Joined(schema, f.table));
            }
            return lastWanted;
        });
        std::vector<ColumnFacts>* into = nullptr;
        lastTable = QString();
        for (ColumnFacts& f : all) {
            if (!into || f.table != lastTable) {
                lastTable = f.table;
                into = &raw[Joined(schema, f.table)];
            }
            into->push_back(std::move(f));
        }
    }
}

namespace {
/// What the driver's catalog says of one kind of column; learned from a column of that kind.
struct DriverView
{
    bool known = false;
    int sqlType = 0;
    QString typeName;
    bool hasSize = false, hasDigits = false;
    qint64 size = 0;
    int digits = 0;
    int nullable = SQL_NULLABLE_UNKNOWN;
    QString isNullableText;

    explicit DriverView() = default;
    explicit DriverView(const QVNDatabase::ColumnFacts& f)
        : known(true), sqlType(f.sqlType), typeName(f.typeName), hasSize(f.hasSize), hasDigits(f.hasDigits),
          size(f.size), digits(f.digits), nullable(f.nullable), isNullableText(f.isNullableText)
    {
    }
    bool operator==(const DriverView&) const = default;

    void ApplyTo(QVNDatabase::ColumnFacts& f) const
    {
        f.sqlType = sqlType;
        f.typeName = typeName;
        f.hasSize = hasSize;
        f.size = size;
        f.hasDigits = hasDigits;
        f.digits = digits;
        f.nullable = nullable;
        f.isNullableText = isNullableText;
    }
};
} // namespace

bool QVNDatabase::PgBulkColumns(const QList<TableName>& tables, const QSet<QString>& wanted,
                                QHash<QString, std::vector<ColumnFacts>>& raw,
                                QHash<QString, QHash<QString, ColumnExtra>>& extras)
{
    // psqlodbc builds its column catalog from pg_attribute in the client, row by row; for a whole
    // database that is most of the import's time. The same facts come here in one plain query.
    // How the driver renders a column's type (ODBC type, name, size, nullability) depends only on
    // the column's type, modifier and NOT NULL, and on the connection's options: it is taken from
    // the driver's own catalog of a few tables that together hold every such kind of column, and
    // those tables also check every other field read here. Anything unexpected gives up.
    OdbcStatement stmt;
    SQLRETURN rc = SQL_ERROR;
    const QString sql =
        QStringLiteral("select n.nspname, c.relname, a.attname, a.atttypid || ' ' || a.atttypmod || ' ' || "
                       "case when a.attnotnull then 'n' else '-' end || case when a.attidentity <> '' then 'i' "
                       "else '-' end || case when a.attgenerated <> '' then 'g' else '-' end || "
                       "case when t.typtype = 'e' then 'e' when t.typtype = 'd' then 'd' "
                       "when t.typcategory = 'A' then 'a' else '-' end || "
                       "case when col_description(c.oid, a.attnum) is null then '-' else 'c' end, "
                       "pg_get_expr(d.adbin, d.adrelid), format_type(a.atttypid, a.atttypmod), "
                       "case t.typtype when 'd' then format_type(t.typbasetype, t.typtypmod) when 'e' then 'text' end "
                       "from pg_catalog.pg_attribute a join pg_catalog.pg_class c on c.oid = a.attrelid "
                       "join pg_catalog.pg_namespace n on n.oid = c.relnamespace "
                       "join pg_catalog.pg_type t on t.oid = a.atttypid "
                       "left join pg_catalog.pg_attrdef d on a.atthasdef and d.adrelid = a.attrelid and "
                       "d.adnum = a.attnum where a.attnum > 0 and not a.attisdropped and "
                       "c.relkind in ('r', 'v', 'm', 'p', 'f') and ") +
        PgFilter(tables) + QStringLiteral(" order by n.nspname, c.relname, a.attnum");
    // A server that does not answer is not asked the long way as well: the tables are then read
    // one by one as they are asked for, each within the time limit.
    auto failed = [&] {
        if (!m_watchdog.Tripped())
            return false;
        NoteTimeout();
        return true;
    };
    if (!Execute(sql, SchemaTimeout, stmt, rc) || !SQL_SUCCEEDED(rc))
        return failed();

    struct Table
    {
        TableName name;
        std::vector<ColumnFacts> columns;
        std::vector<int> kinds; // per column, an index into views
        QHash<QString, ColumnExtra> extras;
    };
    std::vector<Table> read;
    QHash<QString, int> kindOf; // "type modifier flags" -> index into views
    std::vector<DriverView> views;
    SharedTexts shared;
    {
        QVNRecordset rs(std::move(stmt), &m_watchdog, SchemaTimeout);
        if (rs.FieldCount() != 7)
            return false;
        Table* into = nullptr;
        bool started = false, intoWanted = false;
        QString schema, table;
        while (!rs.IsEof()) {
            if (!started || rs.Value(1) != table || rs.Value(0) != schema) {
                started = true;
                schema = rs.Value(0);
                table = rs.Value(1);
                intoWanted = wanted.contains(Joined(schema, table));
                if (intoWanted) {
                    read.push_back({{schema, table}, {}, {}, {}});
                    into = &read.back();
                } else {
                    into = nullptr;
                }
            }
            if (intoWanted) {
                const QString attribute = rs.Value(2);
                const QString kind = rs.Value(3);
                const QString def = rs.Value(4);
                const int space = kind.lastIndexOf(QLatin1Char(' '));
                const QStringView flags = space < 0 ? QStringView() : QStringView(kind).mid(space + 1);
                if (flags.size() != 5)
                    return false;
                // The kind of column as the driver sees it: type, modifier, NOT NULL, whether it has
                // a default and a comment (so that the tables checked include such columns).
                QString kindKey = kind.left(space + 2);
                kindKey += def.isEmpty() ? QLatin1Char('-') : QLatin1Char('d');
                kindKey += flags.at(4);
                auto k = kindOf.constFind(kindKey);
                if (k == kindOf.cend()) {
                    k = kindOf.insert(kindKey, static_cast<int>(views.size()));
                    views.emplace_back();
                }
                ColumnFacts f;
                f.schema = into->name.schema;
                f.table = into->name.object;
                f.name = attribute.trimmed();
                f.defaultValue = def.trimmed();
                f.ordinal = QString::number(into->columns.size() + 1);
                into->columns.push_back(std::move(f));
                into->kinds.push_back(k.value());

                ColumnExtra e;
                e.dbType = shared(rs.Value(5));
                e.dbBase = rs.IsNull(6) ? e.dbType : shared(rs.Value(6));
                const QChar sort = flags.at(3);
                e.dbKind = sort == QLatin1Char('e')   ? QStringLiteral("enum")
                           : sort == QLatin1Char('d') ? QStringLiteral("domain")
                           : sort == QLatin1Char('a') ? QStringLiteral("array")
                                                      : QString();
                e.generated = flags.at(2) == QLatin1Char('g');
                e.identity =
                    flags.at(1) == QLatin1Char('i') || (!e.generated && def.startsWith(QLatin1String("nextval(")));
                if (e.generated)
                    e.genExpr = def;
                into->extras.insert(attribute, e);
            }
            QVNEvents::DoEvents();
            rs.MoveNext();
        }
        if (!rs.Errors().isEmpty())
            return failed();
    }

    // The tables the driver is asked about: the first one holding each kind not yet seen.
    std::vector<bool> seen(views.size(), false);
    std::vector<const Table*> samples;
    for (const Table& t : read) {
        if (std::any_of(t.kinds.begin(), t.kinds.end(), [&](int k) { return !seen[k]; })) {
            samples.push_back(&t);
            for (int k : t.kinds)
                seen[k] = true;
        }
    }
    // Each sample is one small catalog call; when a schema varies so much that many would be
    // needed, reading the driver's catalog of the whole schema is cheaper.
    if (samples.size() > 16 + read.size() / 16)
        return false;
    QString catalog;
    bool catalogKnown = false;
    for (const Table* t : samples) {
        const std::vector<ColumnFacts> driver =
            ReadColumnFacts(t->name.schema, t->name.object, [&](const ColumnFacts& f) {
                return f.table == t->name.object && f.schema == t->name.schema;
            });
        if (driver.size() != t->columns.size())
            return false;
        for (size_t i = 0; i < driver.size(); ++i) {
            const ColumnFacts& d = driver[i];
            const ColumnFacts& ours = t->columns[i];
            // Comments are not part of the driver's catalog; a driver that reports them is read
            // the long way.
            if (d.name != ours.name || d.defaultValue != ours.defaultValue || !d.description.isEmpty() ||
                (catalogKnown && d.catalog != catalog))
                return false;
            catalog = d.catalog;
            catalogKnown = true;
            DriverView& view = views[t->kinds[i]];
            const DriverView seenNow(d);
            if (view.known && !(view == seenNow))
                return false;
            view = seenNow;
        }
    }

    m_lastRead = {true, static_cast<int>(samples.size())};
    raw.reserve(static_cast<qsizetype>(read.size()));
    extras.reserve(static_cast<qsizetype>(read.size()));
    for (Table& t : read) {
        for (size_t i = 0; i < t.columns.size(); ++i) {
            t.columns[i].catalog = catalog;
            views[t.kinds[i]].ApplyTo(t.columns[i]);
        }
        const QString id = Joined(t.name.schema, t.name.object);
        raw.insert(id, std::move(t.columns));
        extras.insert(id, std::move(t.extras));
    }
    return true;
}

const QVNDatabase::CachedTable* QVNDatabase::Cached(const TableName& table) const
{
    if (m_cache.isEmpty())
        return nullptr;
    const auto it = m_cache.constFind(Joined(table.schema, table.object));
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
    if (keys.isEmpty() || Kind() != Dbms::PostgreSQL)
        return; // other databases answer table by table
    QList<TableName> tables;
    QSet<QString> wanted;
    for (const QString& key : keys) {
        const TableName t = ResolveTable(key);
        if (!wanted.contains(Joined(t.schema, t.object))) {
            wanted.insert(Joined(t.schema, t.object));
            tables << t;
        }
    }
    QStringList schemas;
    for (const TableName& t : tables) {
        if (!schemas.contains(t.schema))
            schemas << t.schema;
    }
    if (tables.size() == 1)
        return; // one table is read as it is asked for
    m_bulkConstraints = true;
    QHash<QString, std::vector<ColumnFacts>> raw;
    QHash<QString, QHash<QString, ColumnExtra>> extras;
    if (!PgBulkColumns(tables, wanted, raw, extras)) {
        raw.clear();
        extras.clear();
        ReadSchemaColumns(schemas, wanted, raw);
        PgColumnExtras(tables, &extras);
    }
    QHash<QString, TQXRowsPtr> primary, foreign;
    bool primaryOk = false, foreignOk = false;
    PgKeyRows(false, tables, &primary, primaryOk);
    PgKeyRows(true, tables, &foreign, foreignOk);
    for (const TableName& t : tables) {
        const QString id = Joined(t.schema, t.object);
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

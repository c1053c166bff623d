// A table's columns: the driver's catalog (or a reader's own) turned into plain column records,
// and those into the columns rowsets.
#include "QVNCatalogReader.h"
#include "QVNDatabase.h"
#include "QVNProgress.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <iterator>

namespace {
using Odbc::Arg;
using Odbc::ArgLength;

// The length reported for long text and binary columns whose driver gives no size: the usual
// "unbounded" value, so the column types as a long text.
constexpr qint64 kUnboundedLength = 2147483647;

bool IsCharType(int t)
{
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
           t == SQL_WLONGVARCHAR;
}
bool IsBinaryType(int t)
{
    return t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}
bool IsLongType(int t)
{
    return t == SQL_LONGVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_LONGVARBINARY;
}
bool IsIntegerType(int t)
{
    return t == SQL_TINYINT || t == SQL_SMALLINT || t == SQL_INTEGER || t == SQL_BIGINT;
}
bool IsFloatType(int t)
{
    return t == SQL_REAL || t == SQL_FLOAT || t == SQL_DOUBLE;
}

using ColumnFacts = QVNDatabase::ColumnFacts;

/// Turns the driver's facts into the columns rowset fields: the data type number, the character
/// length for text and binary types, precision and scale for numbers. A declared "(p[,s])" in the
/// type name wins over reported sizes, because some drivers report those wrongly (the SQLite
/// driver gives numeric(10,2) as a double of size 2).
QVNDatabase::ColumnInfo DescribeColumn(const ColumnFacts& f, const QVNDatabase::ColumnExtra* extra)
{
    int sqlType = f.sqlType;
    const QStringView typeName = QStringView(f.typeName).trimmed();
    auto typeIs = [&](QLatin1String word) { return typeName.compare(word, Qt::CaseInsensitive) == 0; };
    auto typeStarts = [&](QLatin1String word) { return typeName.startsWith(word, Qt::CaseInsensitive); };
    // psqlodbc reports boolean columns as text unless told otherwise; the type name is reliable.
    if (IsCharType(sqlType) && (typeIs(QLatin1String("bool")) || typeIs(QLatin1String("boolean"))))
        sqlType = SQL_BIT;
    static const QRegularExpression declared(QStringLiteral("\\(\\s*(\\d+)\\s*(?:,\\s*(\\d+)\\s*)?\\)"));
    QRegularExpressionMatch m;
    if (f.typeName.contains(QLatin1Char('(')))
        m = declared.match(f.typeName);
    // psqlodbc reports a varchar longer than its MaxVarcharSize option as long text.
    const bool declaredVarchar = typeStarts(QLatin1String("varchar")) || typeStarts(QLatin1String("character varying"));
    if (sqlType == SQL_LONGVARCHAR && declaredVarchar)
        sqlType = SQL_VARCHAR;
    else if (sqlType == SQL_WLONGVARCHAR && declaredVarchar)
        sqlType = SQL_WVARCHAR;
    // The SQLite driver reports numeric columns as doubles and decimal ones as text; the declaration
    // says what they are. Its sizes then describe the double or the text, not the declaration.
    bool typedByName = false;
    if (IsFloatType(sqlType) || IsCharType(sqlType)) {
        if (typeStarts(QLatin1String("numeric")))
            sqlType = SQL_NUMERIC;
        else if (typeStarts(QLatin1String("decimal")))
            sqlType = SQL_DECIMAL;
        typedByName = sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL;
    }

    QVNDatabase::ColumnInfo c;
    if (IsCharType(sqlType) || IsBinaryType(sqlType)) {
        qint64 n = f.hasSize ? f.size : 0;
        if (m.hasMatch() && m.captured(2).isEmpty())
            n = m.captured(1).toLongLong();
        if (n <= 0 && IsLongType(sqlType))
            n = kUnboundedLength;
        if (n > 0)
            c.length = QString::number(n);
    } else if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL || IsFloatType(sqlType)) {
        if (m.hasMatch()) {
            c.precision = m.captured(1);
            c.scale = m.captured(2).isEmpty() ? QStringLiteral("0") : m.captured(2);
        } else if (!typedByName) {
            if (f.hasSize && f.size > 0)
                c.precision = QString::number(f.size);
            if (!IsFloatType(sqlType) && f.hasDigits && f.digits >= 0 && (!f.hasSize || f.digits <= f.size))
                c.scale = QString::number(f.digits);
        }
    } else if (IsIntegerType(sqlType)) {
        // The precision of an integer type is fixed by ODBC; some drivers report it wrongly (the
        // SQLite driver gives 9 for INTEGER).
        c.precision = sqlType == SQL_TINYINT    ? QStringLiteral("3")
                      : sqlType == SQL_SMALLINT ? QStringLiteral("5")
                      : sqlType == SQL_INTEGER  ? QStringLiteral("10")
                                                : QStringLiteral("19");
        c.scale = QStringLiteral("0");
    }

    // What the database says of the type beneath the driver's view: unbounded texts and an
    // unconstrained numeric have no size, whatever the driver makes up for them.
    if (extra && !extra->ownSizes && !extra->dbBase.isEmpty()) {
        const QString base = extra->dbBase.toLower();
        const bool modified = base.contains(QLatin1Char('('));
        static const QRegularExpression modifiers(QStringLiteral("\\([^)]*\\)"));
        const QString bare = modified ? QString(base).remove(modifiers).trimmed() : base.trimmed();
        static const QStringList kUnboundedTypes{"text", "json", "jsonb", "xml", "tsvector", "tsquery", "bytea"};
        c.unbounded =
            extra->dbKind == QLatin1String("array") ||
            (extra->dbKind != QLatin1String("enum") && kUnboundedTypes.contains(bare)) ||
            (!modified && (bare == QLatin1String("character varying") || bare == QLatin1String("bit varying")));
        // Types reported as text whose size the driver makes up (an address, an identifier).
        static const QStringList kSizeless{"interval", "inet", "cidr", "macaddr", "macaddr8", "name"};
        if (c.unbounded || extra->dbKind == QLatin1String("enum") || kSizeless.contains(bare))
            c.length.clear();
        if (bare == QLatin1String("numeric") && !modified) {
            c.precision.clear();
            c.scale.clear();
        }
    } else if (IsLongType(sqlType) && c.length.toLongLong() == kUnboundedLength) {
        c.unbounded = true;
        // A database that states its own sizes said none: no length is made up for it.
        if (extra && extra->ownSizes)
            c.length.clear();
    }

    QString defaultValue = f.defaultValue.trimmed();
    // The SQLite driver hands an empty-string default over as no default; the table says which.
    if (defaultValue.isEmpty() && extra)
        defaultValue = extra->defaultValue.trimmed();
    // A generated column's expression is not a default.
    if (extra && extra->generated)
        defaultValue.clear();
    // ODBC writes a default of NULL as the bare word NULL; for the program that is no default.
    if (defaultValue.compare(QLatin1String("NULL"), Qt::CaseInsensitive) == 0)
        defaultValue.clear();
    // A quoted literal, with the casts some servers add ('NEW'::character varying), is its text.
    // An empty text stays the literal '' (an empty default is not the absence of one), and so does
    // a text that itself starts with a quote, which would otherwise read as a literal again.
    if (defaultValue.startsWith(QLatin1Char('\''))) {
        static const QRegularExpression literal(QStringLiteral("^'((?:[^']|'')*)'(?:::[A-Za-z_][\\w .\"\\[\\]()]*)*$"));
        const QRegularExpressionMatch lit = literal.match(defaultValue);
        if (lit.hasMatch()) {
            const QString quoted = lit.captured(1);
            if (quoted.isEmpty() || quoted.startsWith(QLatin1Char('\'')))
                defaultValue = QLatin1Char('\'') + quoted + QLatin1Char('\'');
            else
                defaultValue = QString(quoted).replace(QLatin1String("''"), QLatin1String("'"));
        }
    }

    c.nullable = f.nullable == SQL_NULLABLE;
    if (f.nullable == SQL_NULLABLE_UNKNOWN)
        c.nullable = f.isNullableText.trimmed().compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0;

    c.catalog = f.catalog;
    c.schema = f.schema;
    c.table = f.table;
    c.name = f.name;
    c.ordinal = f.ordinal;
    c.defaultValue = defaultValue;
    c.dataType = QVNDatabase::SqlTypeToDataType(sqlType);
    // An integer without sign holds twice the positive range: its own type numbers and digits.
    if (extra && extra->isUnsigned && IsIntegerType(sqlType)) {
        c.dataType = sqlType == SQL_TINYINT ? 17 : sqlType == SQL_SMALLINT ? 18 : sqlType == SQL_INTEGER ? 19 : 21;
        if (sqlType == SQL_BIGINT)
            c.precision = QStringLiteral("20");
    }
    c.typeName = typeName.size() == f.typeName.size() ? f.typeName : typeName.toString();
    c.description = f.description;
    c.dbType = extra && !extra->dbType.isEmpty() ? extra->dbType : c.typeName;
    c.dbBase = extra && !extra->dbBase.isEmpty() ? extra->dbBase : c.dbType;
    if (extra) {
        c.dbKind = extra->dbKind;
        c.identity = extra->identity;
        c.generated = extra->generated;
        c.genExpr = extra->genExpr;
    }
    return c;
}

/// What the database itself says beyond the ODBC catalog (its own type name, identity and generated
/// columns): the last fields of both column records.
void AddOwnFacts(TQXCols& cols, const QVNDatabase::ColumnInfo& c)
{
    cols.Add(c.dbType, QStringLiteral("DB_TYPE"));
    cols.Add(c.dbBase, QStringLiteral("DB_BASE"));
    cols.Add(c.dbKind, QStringLiteral("DB_KIND"));
    cols.Add(QVNCatalogReader::Flag(c.identity), QStringLiteral("IS_IDENTITY"));
    cols.Add(QVNCatalogReader::Flag(c.generated), QStringLiteral("IS_GENERATED"));
    cols.Add(c.genExpr, QStringLiteral("GENERATION_EXPRESSION"));
    cols.Add(QVNCatalogReader::Flag(c.unbounded), QStringLiteral("UNBOUNDED"));
}

/// The full columns rowset record of one column.
TQXColsPtr ColumnRecord(const QVNDatabase::ColumnInfo& c)
{
    auto cols = TQXCols::Create();
    cols->Reserve(20);
    cols->Add(c.catalog, QStringLiteral("TABLE_CATALOG"));
    cols->Add(c.schema, QStringLiteral("TABLE_SCHEMA"));
    cols->Add(c.table, QStringLiteral("TABLE_NAME"));
    cols->Add(c.name, QStringLiteral("COLUMN_NAME"));
    cols->Add(c.ordinal, QStringLiteral("ORDINAL_POSITION"));
    cols->Add(c.defaultValue, QStringLiteral("COLUMN_DEFAULT"));
    cols->Add(c.nullable ? QStringLiteral("True") : QStringLiteral("False"), QStringLiteral("IS_NULLABLE"));
    cols->Add(QString::number(c.dataType), QStringLiteral("DATA_TYPE"));
    cols->Add(c.typeName, QStringLiteral("TYPE_NAME"));
    cols->Add(c.length, QStringLiteral("CHARACTER_MAXIMUM_LENGTH"));
    cols->Add(c.precision, QStringLiteral("NUMERIC_PRECISION"));
    cols->Add(c.scale, QStringLiteral("NUMERIC_SCALE"));
    cols->Add(c.description, QStringLiteral("DESCRIPTION"));
    AddOwnFacts(*cols, c);
    return cols;
}

/// Keeps the first column of every name (ignoring case), as a rowset keyed by the name does;
/// columns without a name are all kept.
std::vector<QVNDatabase::ColumnInfo> FirstOfEachName(std::vector<QVNDatabase::ColumnInfo> columns)
{
    QSet<TQXKey> seen;
    seen.reserve(static_cast<qsizetype>(columns.size()));
    std::vector<QVNDatabase::ColumnInfo> kept;
    kept.reserve(columns.size());
    for (QVNDatabase::ColumnInfo& c : columns) {
        if (!c.name.isEmpty()) {
            const TQXKey key{c.name};
            if (seen.contains(key))
                continue;
            seen.insert(key);
        }
        kept.push_back(std::move(c));
    }
    return kept;
}

TQXRowsPtr ColumnRows(const std::vector<QVNDatabase::ColumnInfo>& columns)
{
    auto result = TQXRows::Create();
    result->Reserve(static_cast<qsizetype>(columns.size()));
    for (const QVNDatabase::ColumnInfo& c : columns)
        result->Add(ColumnRecord(c), c.name);
    return result;
}
} // namespace

TQXRowsPtr QVNDatabase::GetColumns(const QString& tableName)
{
    auto rows = TQXRows::Create();
    const std::vector<ColumnInfo> columns = GetColumnInfo(tableName);
    rows->Reserve(static_cast<qsizetype>(columns.size()));
    for (const ColumnInfo& c : columns) {
        auto cols = TQXCols::Create();
        cols->Reserve(14);
        cols->Add(c.name, QStringLiteral("COLUMN_NAME"));
        cols->Add(c.defaultValue, QStringLiteral("COLUMN_DEFAULT"));
        cols->Add(c.nullable ? QStringLiteral("True") : QStringLiteral("False"), QStringLiteral("IS_NULLABLE"));
        cols->Add(QString::number(c.dataType), QStringLiteral("DATA_TYPE"));
        cols->Add(c.length, QStringLiteral("CHARACTER_MAXIMUM_LENGTH"));
        cols->Add(c.precision, QStringLiteral("NUMERIC_PRECISION"));
        cols->Add(c.scale, QStringLiteral("NUMERIC_SCALE"));
        AddOwnFacts(*cols, c); // after the seven

        rows->Add(cols, c.name);
    }
    return rows;
}

std::vector<QVNDatabase::ColumnInfo> QVNDatabase::GetColumnInfo(const QString& tableName)
{
    std::vector<ColumnInfo> columns = ColumnInfosOf(tableName.trimmed());
    Exceptions.Clear(); // the column import reports nothing; an unknown table is just empty
    // The import reads a table's columns once per build: what was read in bulk for it is
    // released now (asking again reads the table alone, with the same result).
    if (!m_cache.isEmpty()) {
        const TableName table = ResolveTable(tableName);
        const auto it = m_cache.find(table.schema + QChar(0x1F) + table.object);
        if (it != m_cache.end()) {
            it->hasColumns = false;
            std::vector<ColumnFacts>().swap(it->columns);
            it->extras = QHash<QString, ColumnExtra>();
        }
    }
    return columns;
}

TQXRowsPtr QVNDatabase::ColumnsOf(const QString& tableName)
{
    return ColumnRows(ColumnInfosOf(tableName));
}

std::vector<QVNDatabase::ColumnInfo> QVNDatabase::ColumnInfosOf(const QString& tableName)
{
    if (tableName.isEmpty())
        return {};
    bool lost = false;
    const TableName table = Qualified(ResolveTable(tableName), lost);
    if (lost)
        return {}; // the server stopped answering; the reason is in Exceptions
    if (const CachedTable* cached = Cached(table); cached && cached->hasColumns)
        return ColumnRecords(cached->columns, cached->extras);
    QVNCatalogReader& reader = Reader();
    std::vector<ColumnFacts> raw;
    QHash<QString, ColumnExtra> extras;
    if (reader.Columns(table, raw, extras) && !raw.empty())
        return ColumnRecords(raw, extras);
    // The table argument of SQLColumns is a search pattern ("_" matches any character), so the
    // rows are filtered to the exact name afterwards.
    raw = ReadColumnFacts(table.schema, table.object, [&](const ColumnFacts& f) {
        return f.table == table.object && (table.schema.isEmpty() || f.schema == table.schema);
    });
    if (raw.empty())
        return IsConnected() ? DescribeColumnsBySelect(tableName) : std::vector<ColumnInfo>();
    extras = reader.ColumnExtras(table, raw);
    return ColumnRecords(raw, extras);
}

std::vector<QVNDatabase::ColumnFacts> QVNDatabase::ReadColumnFacts(const QString& schema, const QString& table,
                                                                   const std::function<bool(const ColumnFacts&)>& keep)
{
    std::vector<ColumnFacts> result;
    for (int attempt = 0; attempt < 2; ++attempt) {
        result.clear();
        if (!TestConnect())
            return result;
        OdbcStatement stmt = NewStatement();
        if (!stmt)
            return result;
        SQLRETURN rc;
        {
            OdbcWatchdog::Scope limit(m_watchdog, SchemaTimeout);
            rc = SQLColumnsW(stmt.get(), nullptr, 0, Arg(schema), ArgLength(schema), Arg(table), ArgLength(table),
                             nullptr, 0);
        }
        bool lost = false;
        if (!SQL_SUCCEEDED(rc)) {
            lost = !IsConnected();
            AddDiagnostics(SQL_HANDLE_STMT, stmt.get(), QStringLiteral("The catalog could not be read."));
            NoteTimeout();
        } else {
            // Read straight into the facts: no row set in between.
            QVNRecordset rs(std::move(stmt), &m_watchdog, SchemaTimeout);
            enum {
                Cat,
                Schem,
                Table,
                Name,
                Type,
                TypeName,
                Size,
                Digits,
                Nullable,
                Remarks,
                Def,
                Ordinal,
                IsNull,
                Count
            };
            static const char* const kNames[Count] = {"TABLE_CAT",  "TABLE_SCHEM", "TABLE_NAME",  "COLUMN_NAME",
                                                      "DATA_TYPE",  "TYPE_NAME",   "COLUMN_SIZE", "DECIMAL_DIGITS",
                                                      "NULLABLE",   "REMARKS",     "COLUMN_DEF",  "ORDINAL_POSITION",
                                                      "IS_NULLABLE"};
            int at[Count];
            for (int i = 0; i < Count; ++i)
                at[i] = rs.FieldIndex(QString::fromLatin1(kNames[i]));
            // psqlodbc adds a handful of its own fields to the standard eighteen; only these are read.
            rs.ReadOnlyFields(std::vector<int>(std::begin(at), std::end(at)));
            // Neighbouring rows mostly repeat the catalog, schema, table and type texts: a value equal
            // to the one before shares its text, so the recordset's buffer is reused for the next row.
            QString last[Count];
            auto text = [&](int field) {
                if (at[field] < 0)
                    return QString();
                const QString value = rs.Value(at[field]).trimmed();
                if (value != last[field])
                    last[field] = value;
                return last[field];
            };
            while (!rs.IsEof()) {
                ColumnFacts f;
                f.catalog = text(Cat);
                f.schema = text(Schem);
                f.table = text(Table);
                f.name = text(Name);
                if (!keep || keep(f)) {
                    f.sqlType = text(Type).toInt();
                    f.typeName = text(TypeName);
                    const QString size = text(Size);
                    f.hasSize = !size.isEmpty();
                    f.size = size.toLongLong();
                    const QString digits = text(Digits);
                    f.hasDigits = !digits.isEmpty();
                    f.digits = digits.toInt();
                    const QString nullable = text(Nullable);
                    f.nullable = nullable.isEmpty() ? SQL_NULLABLE_UNKNOWN : nullable.toInt();
                    f.isNullableText = text(IsNull);
                    f.defaultValue = text(Def);
                    f.description = text(Remarks);
                    f.ordinal = text(Ordinal);
                    result.push_back(std::move(f));
                }
                QVNEvents::DoEvents();
                rs.MoveNext();
            }
            if (!rs.Errors().isEmpty()) {
                lost = !IsConnected();
                for (const QString& line : rs.Errors())
                    Exceptions.Add(line);
                NoteTimeout();
                result.clear();
            }
        }
        if (!lost || m_watchdog.Tripped() || m_inTransaction)
            break;
    }
    return result;
}

std::vector<QVNDatabase::ColumnInfo> QVNDatabase::ColumnRecords(const std::vector<ColumnFacts>& raw,
                                                                const QHash<QString, ColumnExtra>& extras)
{
    std::vector<ColumnInfo> result;
    result.reserve(raw.size());
    // psqlodbc numbers the rows of its answer, not the columns of each table: a whole schema, or a
    // table whose name as a search pattern also matches tables listed before it, starts past 1.
    const bool renumber = Reader().RenumbersColumns();
    for (const ColumnFacts& f : raw) {
        const auto extra = extras.constFind(f.name);
        result.push_back(DescribeColumn(f, extra == extras.cend() ? nullptr : &extra.value()));
        if (renumber)
            result.back().ordinal = QString::number(result.size());
    }
    return FirstOfEachName(std::move(result));
}

QString QVNDatabase::QuoteIdentifier(const QString& name)
{
    QString quote = QStringLiteral("\"");
    SQLWCHAR buffer[8] = {};
    SQLSMALLINT length = 0;
    if (m_connection &&
        SQL_SUCCEEDED(SQLGetInfoW(m_connection.get(), SQL_IDENTIFIER_QUOTE_CHAR, buffer, sizeof buffer, &length))) {
        const QString q = Odbc::FromWide(buffer, std::min<qsizetype>(length / sizeof(SQLWCHAR), 7)).trimmed();
        quote = q; // an empty answer means the driver quotes nothing
    }
    if (quote.isEmpty())
        return name;
    QString inner = name;
    inner.replace(quote, quote + quote);
    return quote + inner + quote;
}

std::vector<QVNDatabase::ColumnInfo> QVNDatabase::DescribeColumnsBySelect(const QString& tableName)
{
    // Some drivers list no columns for views (the SQLite driver); the shape of an empty query
    // over the object gives the same facts.
    std::vector<ColumnInfo> result;
    const TableName table = ResolveTable(tableName);
    const QString schemaName = table.schema;
    QString source = QuoteIdentifier(table.object);
    if (!schemaName.isEmpty())
        source = QuoteIdentifier(schemaName) + QLatin1Char('.') + source;
    OdbcStatement stmt;
    SQLRETURN rc = SQL_ERROR;
    if (!Execute(QStringLiteral("select * from ") + source + QStringLiteral(" where 1 = 0"), SchemaTimeout, stmt, rc) ||
        (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA))
        return result;
    QVNRecordset rs(std::move(stmt));
    for (int i = 0; i < rs.FieldCount(); ++i) {
        const QVNRecordset::Field& field = rs.FieldInfo(i);
        ColumnFacts f;
        f.schema = schemaName;
        f.table = table.object;
        f.name = field.name.trimmed();
        f.sqlType = field.sqlType;
        f.typeName = field.typeName;
        f.hasSize = field.columnSize > 0;
        f.size = field.columnSize;
        f.hasDigits = true;
        f.digits = field.decimalDigits;
        f.nullable = field.nullable;
        f.ordinal = QString::number(i + 1);
        result.push_back(DescribeColumn(f, nullptr));
    }
    return FirstOfEachName(std::move(result));
}

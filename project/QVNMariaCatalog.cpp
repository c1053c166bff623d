// The catalog reader of MariaDB and MySQL: information_schema of the connected database only
// (the server's other databases are not the user's), with each column's type in the server's own
// words, nullability and defaults as declared, keys in key order, indexes and checks.
#include "QVNCatalogReader.h"
#include "QVNProgress.h"
#include "QVNSqlText.h"

#include <algorithm>

namespace {
/// The driver's view of a column type, as the ODBC catalog would give it.
struct TypeFacts
{
    int sqlType = SQL_WVARCHAR;
    bool hasSize = false, hasDigits = false;
    qint64 size = 0;
    int digits = 0;
};

TypeFacts Typed(const QString& dataType, const QString& columnType, const QString& length, const QString& precision,
                const QString& scale)
{
    TypeFacts t;
    const QString type = dataType.toLower();
    auto sized = [&](int sqlType, const QString& n) {
        t.sqlType = sqlType;
        t.hasSize = !n.isEmpty();
        t.size = n.toLongLong();
    };
    if (type == QLatin1String("tinyint"))
        // tinyint(1) is how the server writes a boolean.
        t.sqlType = columnType.startsWith(QLatin1String("tinyint(1)"), Qt::CaseInsensitive) &&
                            !columnType.contains(QLatin1String("unsigned"), Qt::CaseInsensitive)
                        ? SQL_BIT
                        : SQL_TINYINT;
    else if (type == QLatin1String("smallint") || type == QLatin1String("year"))
        t.sqlType = SQL_SMALLINT;
    else if (type == QLatin1String("mediumint") || type == QLatin1String("int") || type == QLatin1String("integer"))
        t.sqlType = SQL_INTEGER;
    else if (type == QLatin1String("bigint"))
        t.sqlType = SQL_BIGINT;
    else if (type == QLatin1String("decimal") || type == QLatin1String("numeric")) {
        sized(SQL_DECIMAL, precision);
        t.hasDigits = !scale.isEmpty();
        t.digits = scale.toInt();
    } else if (type == QLatin1String("float"))
        t.sqlType = SQL_REAL;
    else if (type == QLatin1String("double") || type == QLatin1String("real"))
        t.sqlType = SQL_DOUBLE;
    else if (type == QLatin1String("bit")) {
        // bit(1) is a flag; a wider one a few bytes of bits.
        const qint64 bits = precision.toLongLong();
        if (bits <= 1)
            t.sqlType = SQL_BIT;
        else
            sized(SQL_BINARY, QString::number((bits + 7) / 8));
    } else if (type == QLatin1String("char"))
        sized(SQL_WCHAR, length);
    else if (type == QLatin1String("varchar"))
        sized(SQL_WVARCHAR, length);
    else if (type == QLatin1String("tinytext") || type == QLatin1String("text") || type == QLatin1String("mediumtext"))
        sized(SQL_WLONGVARCHAR, length);
    else if (type == QLatin1String("longtext") || type == QLatin1String("json"))
        t.sqlType = SQL_WLONGVARCHAR; // no size: unbounded
    else if (type == QLatin1String("binary"))
        sized(SQL_BINARY, length);
    else if (type == QLatin1String("varbinary"))
        sized(SQL_VARBINARY, length);
    else if (type == QLatin1String("tinyblob") || type == QLatin1String("blob") || type == QLatin1String("mediumblob"))
        sized(SQL_LONGVARBINARY, length);
    else if (type == QLatin1String("longblob"))
        t.sqlType = SQL_LONGVARBINARY;
    else if (type == QLatin1String("date"))
        t.sqlType = SQL_TYPE_DATE;
    else if (type == QLatin1String("datetime") || type == QLatin1String("timestamp"))
        t.sqlType = SQL_TYPE_TIMESTAMP;
    else if (type == QLatin1String("time"))
        t.sqlType = SQL_TYPE_TIME;
    else if (type == QLatin1String("uuid"))
        t.sqlType = SQL_GUID;
    else if (type == QLatin1String("enum") || type == QLatin1String("set"))
        t.sqlType = SQL_WVARCHAR; // the labels say what fits, not a length
    else
        t.sqlType = SQL_WVARCHAR; // inet6, geometry and the like: text with no size
    return t;
}

/// A column's json_valid check: the server's way of keeping the json type on a long text.
bool IsJsonCheck(const QStringList& check)
{
    return check.size() >= 5 && check.at(4) == QLatin1String("Column") &&
           check.at(3) == QStringLiteral("json_valid(`%1`)")
                              .arg(QString(check.at(2)).replace(QLatin1Char('`'), QLatin1String("``")));
}
} // namespace

QStringList QVNMariaCatalogReader::TypeLabels(const QString& columnType)
{
    QStringList labels;
    const qsizetype open = columnType.indexOf(QLatin1Char('('));
    if (open < 0)
        return labels;
    // 'label' items separated by commas; a quote inside a label is doubled, a backslash escapes.
    QString current;
    bool inside = false;
    for (qsizetype i = open + 1; i < columnType.size(); ++i) {
        const QChar ch = columnType.at(i);
        if (!inside) {
            if (ch == QLatin1Char('\''))
                inside = true;
            else if (ch == QLatin1Char(')'))
                break;
            continue;
        }
        if (ch == QLatin1Char('\\') && i + 1 < columnType.size()) {
            current += columnType.at(++i);
        } else if (ch == QLatin1Char('\'')) {
            if (i + 1 < columnType.size() && columnType.at(i + 1) == QLatin1Char('\'')) {
                current += ch;
                ++i;
            } else {
                labels << current;
                current.clear();
                inside = false;
            }
        } else {
            current += ch;
        }
    }
    return labels;
}

void QVNMariaCatalogReader::CompleteTableList(std::vector<TQXColsPtr>& rows)
{
    bool ok = false;
    const Rows tables = Select(QStringLiteral("mariadb/tables.sql"), {}, ok);
    if (!ok)
        return;
    QString database;
    QHash<QString, QString> comments; // name -> comment of the connected database's tables
    for (const QStringList& r : tables) {
        if (r.size() < 4)
            continue;
        database = r.at(0);
        // A view's comment is the word VIEW, not a description.
        comments.insert(r.at(1), r.at(2).contains(QLatin1String("VIEW")) ? QString() : r.at(3).trimmed());
    }
    std::vector<TQXColsPtr> kept;
    kept.reserve(rows.size());
    for (TQXColsPtr& cols : rows) {
        const QString catalog = cols->Text(QStringLiteral("TABLE_CATALOG"));
        const QString name = cols->Text(QStringLiteral("TABLE_NAME"));
        const auto comment = comments.constFind(name);
        if (comment == comments.cend() || (!catalog.isEmpty() && catalog != database))
            continue;
        // The driver gives a view's comment, the word VIEW, as its description.
        if (const TQXColPtr description = cols->Item(QStringLiteral("DESCRIPTION")))
            description->SetValue(comment.value());
        kept.push_back(std::move(cols));
    }
    rows = std::move(kept);
}

bool QVNMariaCatalogReader::ReadColumns(const QString& table, const QSet<QString>* wanted, QHash<QString, Facts>& raw,
                                        QHash<QString, Extras>& extras)
{
    // json is a long text with a check the server adds; the checks of these tables tell which.
    // Reading every table, the checks are read once for this and for the checks of each table.
    QSet<QString> json;
    auto noteJson = [&](const QStringList& check) {
        if (IsJsonCheck(check))
            json.insert(Joined(check.at(1), check.at(2)));
    };
    const QString checks = QStringLiteral("mariadb/checks.sql");
    if (const QHash<QString, Rows>* all = table.isEmpty() ? AllRows(checks, {QString(), QString()}) : nullptr) {
        for (const Rows& rowsOfTable : *all)
            std::for_each(rowsOfTable.begin(), rowsOfTable.end(), noteJson);
    } else {
        bool checksOk = false;
        const Rows read = Select(checks, {table, table}, checksOk);
        std::for_each(read.begin(), read.end(), noteJson);
    }
    // The labels of enum and set columns come with the columns: kept for the labels' query.
    QHash<QString, Rows> labelled;
    enum {
        Table = 1,
        Name,
        Ordinal,
        Default,
        HasDefault,
        Nullable,
        DataType,
        ColumnType,
        Length,
        Precision,
        Scale,
        Extra,
        GenExpr,
        Comment,
        Database,
        Count
    };
    // Read row by row: a whole database's columns are not held as texts besides their facts.
    const std::unique_ptr<QVNRecordset> rs = Open(QStringLiteral("mariadb/columns.sql"), {table, table});
    if (!rs || rs->FieldCount() < Count)
        return false;
    // Type names and the database's name repeat column after column: each text is kept once.
    QHash<QString, QString> texts;
    auto shared = [&](const QString& text) {
        const auto known = texts.constFind(text);
        return known != texts.cend() ? known.value() : texts.insert(text, text).value();
    };
    Facts* into = nullptr;
    Extras* intoExtras = nullptr;
    QString intoTable;
    bool intoWanted = false;
    QStringList r;
    for (; !rs->IsEof(); rs->MoveNext()) {
        r.clear();
        for (int i = 0; i < Count; ++i)
            r << rs->Value(i);
        if (!into || r.at(Table) != intoTable) {
            intoTable = r.at(Table);
            const QString id = Joined(QString(), intoTable);
            intoWanted = !wanted || wanted->contains(id);
            into = &raw[id];
            intoExtras = &extras[id];
        }
        const QString columnType = r.at(ColumnType);
        const QString dataType = r.at(DataType).toLower();
        const bool hasLabels = dataType == QLatin1String("enum") || dataType == QLatin1String("set");
        if (hasLabels)
            labelled[Joined(QString(), intoTable)].push_back({QString(), intoTable, r.at(Name), columnType});
        if (!intoWanted)
            continue;
        const bool isJson = json.contains(Joined(intoTable, r.at(Name)));
        const TypeFacts t = Typed(isJson ? QStringLiteral("json") : r.at(DataType), columnType, r.at(Length),
                                  r.at(Precision), r.at(Scale));
        const QString extra = r.at(Extra).toLower();
        ColumnFacts f;
        f.catalog = shared(r.at(Database));
        f.table = intoTable;
        f.name = r.at(Name);
        f.ordinal = r.at(Ordinal);
        f.sqlType = t.sqlType;
        f.typeName = shared(isJson ? QStringLiteral("json") : r.at(DataType));
        f.hasSize = t.hasSize;
        f.size = t.size;
        f.hasDigits = t.hasDigits;
        f.digits = t.digits;
        f.nullable = r.at(Nullable) == QLatin1String("YES") ? SQL_NULLABLE : SQL_NO_NULLS;
        f.description = r.at(Comment);
        ColumnExtra e;
        e.ownSizes = true;
        e.dbType = shared(isJson ? QStringLiteral("json") : columnType);
        // No domains here: the type beneath is the declared one, sizes and labels included.
        e.dbBase = e.dbType;
        e.dbKind = hasLabels ? dataType : QString();
        e.isUnsigned = columnType.contains(QLatin1String("unsigned"), Qt::CaseInsensitive);
        e.identity = extra.contains(QLatin1String("auto_increment"));
        e.generated = extra.contains(QLatin1String("generated")) || extra.contains(QLatin1String("virtual")) ||
                      extra.contains(QLatin1String("persistent"));
        if (e.generated)
            e.genExpr = QVNSqlText::StandardQuotes(r.at(GenExpr));
        // The server writes the default as SQL: a quoted text ('' is an empty one), a number, an
        // expression, or NULL; no default at all is null.
        else if (r.at(HasDefault) == QLatin1String("1"))
            f.defaultValue = r.at(Default);
        into->push_back(std::move(f));
        intoExtras->insert(r.at(Name), std::move(e));
        QVNEvents::DoEvents();
    }
    if (!rs->Errors().isEmpty()) {
        for (const QString& line : rs->Errors())
            m_db.Exceptions.Add(line);
        TimedOut();
        raw.clear();
        extras.clear();
        return false;
    }
    if (table.isEmpty())
        KeepRows(QStringLiteral("mariadb/labelled_columns.sql"), std::move(labelled));
    return true;
}

bool QVNMariaCatalogReader::Columns(const TableName& table, Facts& raw, Extras& extras)
{
    QHash<QString, Facts> byTable;
    QHash<QString, Extras> extrasByTable;
    if (table.object.isEmpty() || !ReadColumns(table.object, nullptr, byTable, extrasByTable))
        return false;
    const QString id = Joined(QString(), table.object);
    raw = byTable.take(id);
    extras = extrasByTable.take(id);
    return true;
}

bool QVNMariaCatalogReader::BulkColumns(const QList<TableName>& tables, const QSet<QString>& wanted,
                                        QHash<QString, Facts>& raw, QHash<QString, Extras>& extras, int& driverTables)
{
    (void)tables;
    driverTables = 0;
    if (ReadColumns(QString(), &wanted, raw, extras))
        return true;
    raw.clear();
    extras.clear();
    driverTables = -1;
    return false;
}

bool QVNMariaCatalogReader::KeyRows(bool foreign, const QList<TableName>& tables, QHash<QString, TQXRowsPtr>* byTable,
                                    TQXRowsPtr& all)
{
    const QString table = tables.size() == 1 ? tables.first().object : QString();
    bool ok = false;
    const Rows rows =
        Select(foreign ? QStringLiteral("mariadb/foreign_keys.sql") : QStringLiteral("mariadb/primary_keys.sql"),
               {table, table}, ok);
    if (!ok)
        return false;
    all = TQXRows::Create();
    for (const QStringList& r : rows) {
        const TQXColsPtr cols = KeyRow(r, foreign);
        if (!cols)
            continue;
        const QString key = foreign ? QString() : r.at(2);
        if (byTable) {
            TQXRowsPtr& slot = (*byTable)[Joined(r.at(0), r.at(1))];
            if (!slot)
                slot = TQXRows::Create();
            slot->Add(cols, key);
        } else {
            all->Add(cols, key);
        }
    }
    return true;
}

QVNCatalogReader::Rows QVNMariaCatalogReader::PerTable(const QString& file, const TableName& table)
{
    bool ok = false;
    Rows rows = ConstraintRows(file, table, {table.object, table.object}, {QString(), QString()}, ok);
    if (!table.object.isEmpty())
        rows.erase(std::remove_if(rows.begin(), rows.end(),
                                  [&](const QStringList& r) { return r.size() < 4 || r.at(1) != table.object; }),
                   rows.end());
    return rows;
}

QVNCatalogReader::Rows QVNMariaCatalogReader::IndexRows(const TableName& table)
{
    return PerTable(QStringLiteral("mariadb/indexes.sql"), table);
}

QVNCatalogReader::Rows QVNMariaCatalogReader::CheckRows(const TableName& table)
{
    Rows rows = PerTable(QStringLiteral("mariadb/checks.sql"), table);
    rows.erase(std::remove_if(rows.begin(), rows.end(), IsJsonCheck), rows.end());
    // Conditions in standard quotes, so a script for another database can take them.
    for (QStringList& r : rows) {
        if (r.size() > 3)
            r[3] = QVNSqlText::StandardQuotes(r.at(3));
    }
    return rows;
}

QVNCatalogReader::Rows QVNMariaCatalogReader::EnumRows(const TableName& table)
{
    Rows result;
    for (const QStringList& r : PerTable(QStringLiteral("mariadb/labelled_columns.sql"), table)) {
        for (const QString& label : TypeLabels(r.at(3)))
            result.push_back({r.at(0), r.at(1), r.at(2), label});
    }
    return result;
}

// PostgreSQL's catalog reader: the system catalog gives each column's type in its own words,
// identity and generated columns, keys in key order, indexes, checks, enum labels and the objects
// of extensions; a whole set of tables is read with one query per kind.
#include "QVNCatalogReader.h"
#include "QVNProgress.h"

#include <QRegularExpression>

#include <algorithm>

namespace {
/// The values of the query files' table filter: the schemas of the tables (one text, separated
/// by the character 31; empty = every schema of the user's) and the one table's name.
QStringList Filter(const QList<QVNDatabase::TableName>& tables)
{
    QStringList schemas;
    for (const QVNDatabase::TableName& t : tables) {
        if (!schemas.contains(t.schema))
            schemas << t.schema;
    }
    const QString joined = schemas.join(QVNCatalogReader::kSeparator);
    const QString table = tables.size() == 1 ? tables.first().object : QString();
    return {joined, joined, table, table};
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

void QVNPostgresCatalogReader::CompleteTableList(std::vector<TQXColsPtr>& rows)
{
    struct Relation
    {
        QString kind, comment;
        bool partition = false;
    };
    QHash<QString, Relation> relations;
    bool ok = false;
    for (const QStringList& r : Select(QStringLiteral("postgresql/relations.sql"), {}, ok)) {
        if (r.size() >= 5)
            relations.insert(Joined(r.at(0), r.at(1)), {r.at(2), r.at(4), r.at(3) == QLatin1String("1")});
    }
    if (relations.isEmpty())
        return;
    std::vector<TQXColsPtr> kept;
    kept.reserve(rows.size());
    for (TQXColsPtr& cols : rows) {
        const auto rel = relations.constFind(
            Joined(cols->Text(QStringLiteral("TABLE_SCHEMA")), cols->Text(QStringLiteral("TABLE_NAME"))));
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
        kept.push_back(std::move(cols));
    }
    rows = std::move(kept);
}

QVNCatalogReader::TableName QVNPostgresCatalogReader::Qualified(const TableName& table, bool& lost)
{
    // A table the last list did not name: the one the search path finds.
    bool ok = false;
    const Rows rows = Select(QStringLiteral("postgresql/table_schema.sql"), {table.object}, ok);
    lost = !ok && TimedOut();
    return rows.empty() ? table : TableName{rows.front().at(0), table.object};
}

void QVNPostgresCatalogReader::ReadExtras(const QList<TableName>& tables, QHash<QString, Extras>& byTable)
{
    bool ok = false;
    const Rows rows = Select(QStringLiteral("postgresql/column_extras.sql"), Filter(tables), ok);
    // A schema uses a few dozen types: each type text is kept once and shared by its columns.
    SharedTexts shared;
    Extras* into = nullptr;
    QString intoSchema, intoTable;
    for (const QStringList& r : rows) {
        if (r.size() < 9)
            continue;
        ColumnExtra e;
        e.dbType = shared(r.at(3));
        e.dbBase = shared(r.at(4));
        e.dbKind = shared(r.at(5));
        e.identity = r.at(6) == QLatin1String("1");
        e.generated = r.at(7) == QLatin1String("1");
        e.genExpr = r.at(8);
        // Rows come table by table: the table's set is looked up once per table.
        if (!into || r.at(0) != intoSchema || r.at(1) != intoTable) {
            intoSchema = r.at(0);
            intoTable = r.at(1);
            into = &byTable[Joined(intoSchema, intoTable)];
        }
        into->insert(r.at(2), e);
    }
}

QVNCatalogReader::Extras QVNPostgresCatalogReader::ColumnExtras(const TableName& table, Facts& raw)
{
    (void)raw;
    QHash<QString, Extras> byTable;
    ReadExtras({table}, byTable);
    return byTable.value(Joined(table.schema, table.object));
}

bool QVNPostgresCatalogReader::KeyRows(bool foreign, const QList<TableName>& tables,
                                       QHash<QString, TQXRowsPtr>* byTable, TQXRowsPtr& all)
{
    bool ok = false;
    const Rows rows =
        Select(foreign ? QStringLiteral("postgresql/foreign_keys.sql") : QStringLiteral("postgresql/primary_keys.sql"),
               Filter(tables), ok);
    if (!ok)
        return false;
    all = TQXRows::Create();
    TQXRowsPtr current;
    QString currentTable;
    for (const QStringList& r : rows) {
        const TQXColsPtr cols = KeyRow(r, foreign);
        if (!cols)
            continue;
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
    return true;
}

bool QVNPostgresCatalogReader::BulkColumns(const QList<TableName>& tables, const QSet<QString>& wanted,
                                           QHash<QString, Facts>& raw, QHash<QString, Extras>& extras,
                                           int& driverTables)
{
    driverTables = -1;
    if (FastColumns(tables, wanted, raw, extras, driverTables))
        return true;
    // The long way: the driver's catalog of each schema, and the extras in one query.
    raw.clear();
    extras.clear();
    QStringList schemas;
    for (const TableName& t : tables) {
        if (!schemas.contains(t.schema))
            schemas << t.schema;
    }
    for (const QString& schema : schemas) {
        // A table's columns come one after another: the answer for the table before is reused.
        QString lastTable;
        bool lastWanted = false;
        Facts all = DriverColumns(schema, QString(), [&](const ColumnFacts& f) {
            if (f.schema != schema)
                return false;
            if (lastTable.isNull() || f.table != lastTable) {
                lastTable = f.table;
                lastWanted = wanted.contains(Joined(schema, f.table));
            }
            return lastWanted;
        });
        Facts* into = nullptr;
        lastTable = QString();
        for (ColumnFacts& f : all) {
            if (!into || f.table != lastTable) {
                lastTable = f.table;
                into = &raw[Joined(schema, f.table)];
            }
            into->push_back(std::move(f));
        }
    }
    ReadExtras(tables, extras);
    return true;
}

QVNCatalogReader::Rows QVNPostgresCatalogReader::PerTable(const QString& file, const TableName& table)
{
    bool ok = false;
    Rows rows = ConstraintRows(file, table, {table.schema, table.schema, table.object, table.object},
                               {QString(), QString(), QString(), QString()}, ok);
    // Only the table's own rows, whichever way they were read.
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [&](const QStringList& r) {
                                  return r.size() < 4 || r.at(0) != table.schema || r.at(1) != table.object;
                              }),
               rows.end());
    return rows;
}

QVNCatalogReader::Rows QVNPostgresCatalogReader::IndexRows(const TableName& table)
{
    return PerTable(QStringLiteral("postgresql/indexes.sql"), table);
}

QVNCatalogReader::Rows QVNPostgresCatalogReader::CheckRows(const TableName& table)
{
    Rows rows = PerTable(QStringLiteral("postgresql/checks.sql"), table);
    // "CHECK (expression)" with NOT VALID or NO INHERIT after it: the expression alone.
    static const QRegularExpression check(QStringLiteral("^CHECK \\((.*)\\)((?: NOT VALID| NO INHERIT)*)$"),
                                          QRegularExpression::DotMatchesEverythingOption);
    for (QStringList& r : rows) {
        const QRegularExpressionMatch m = check.match(r.at(3));
        if (m.hasMatch())
            r[3] = m.captured(1);
    }
    return rows;
}

QVNCatalogReader::Rows QVNPostgresCatalogReader::EnumRows(const TableName& table)
{
    return PerTable(QStringLiteral("postgresql/enum_labels.sql"), table);
}

QVNCatalogReader::Rows QVNPostgresCatalogReader::ExtensionColumns(const TableName& table)
{
    return PerTable(QStringLiteral("postgresql/column_extensions.sql"), table);
}

QVNCatalogReader::Rows QVNPostgresCatalogReader::ExtensionObjects()
{
    bool ok = false;
    return Select(QStringLiteral("postgresql/extension_objects.sql"), {}, ok);
}

bool QVNPostgresCatalogReader::FastColumns(const QList<TableName>& tables, const QSet<QString>& wanted,
                                           QHash<QString, Facts>& raw, QHash<QString, Extras>& extras,
                                           int& driverTables)
{
    // psqlodbc builds its column catalog from pg_attribute in the client, row by row; for a whole
    // database that is most of the import's time. The same facts come here in one plain query.
    // How the driver renders a column's type (ODBC type, name, size, nullability) depends only on
    // the column's type, modifier and NOT NULL, and on the connection's options: it is taken from
    // the driver's own catalog of a few tables that together hold every such kind of column, and
    // those tables also check every other field read here. Anything unexpected gives up.
    // A server that does not answer is not asked the long way as well: the tables are then read
    // one by one as they are asked for, each within the time limit.
    std::unique_ptr<QVNRecordset> opened = Open(QStringLiteral("postgresql/columns.sql"), Filter(tables));
    if (!opened)
        return TimedOut();

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
        QVNRecordset& rs = *opened;
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
            return TimedOut();
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
            DriverColumns(t->name.schema, t->name.object, [&](const ColumnFacts& f) {
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

    driverTables = static_cast<int>(samples.size());
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

// Indexes, CHECK constraints, enum labels and columns of unknown types of a table, as the catalog
// reader of the database's system gives them, turned into the row sets the program uses.
#include "QVNCatalogReader.h"
#include "QVNDatabase.h"

#include <QHash>

TQXRowsPtr QVNDatabase::GetIndexRows(const QString& tableName)
{
    auto result = TQXRows::Create();
    result->SetTag(QStringLiteral("INDEXES"));
    bool lost = false;
    const TableName table = Qualified(ResolveTable(tableName.trimmed()), lost);
    enum { Index = 2, Unique, Owner, Condition, Number, Part, Expression, Descending, Method, OpClass, Included };
    for (const QStringList& r : Reader().IndexRows(table)) {
        if (r.size() <= OpClass)
            continue;
        const QString name = r.at(Index);
        TQXRowPtr index = result->Item(name);
        if (!index) {
            auto cols = TQXCols::Create();
            cols->Add(name, QStringLiteral("IX_NAME"));
            cols->Add(QVNCatalogReader::Flag(r.at(Unique) == QLatin1String("1")), QStringLiteral("IX_UNIQUE"));
            const QString owner = r.at(Owner);
            cols->Add(owner == QLatin1String("u")   ? QStringLiteral("unique")
                      : owner == QLatin1String("x") ? QStringLiteral("exclude")
                                                    : QStringLiteral("index"),
                      QStringLiteral("IX_KIND"));
            cols->Add(r.at(Method), QStringLiteral("IX_METHOD"));
            cols->Add(r.at(Condition), QStringLiteral("IX_WHERE"));
            cols->Add(QStringLiteral("0"), QStringLiteral("IX_EXPRESSION"));
            cols->Add(QString(), QStringLiteral("IX_COLUMNS"));
            auto parts = TQXRows::Create();
            parts->SetTag(QStringLiteral("IX_PARTS"));
            cols->Add(parts, QStringLiteral("IX_PARTS"));
            auto carried = TQXRows::Create();
            carried->SetTag(QStringLiteral("IX_INCLUDE"));
            cols->Add(carried, QStringLiteral("IX_INCLUDE"));
            index = result->Add(cols, name);
            if (!index)
                continue;
        }
        const TQXColsPtr& ic = index->Cols();
        const bool expression = r.at(Expression) == QLatin1String("1");
        const bool included = r.size() > Included && r.at(Included) == QLatin1String("1");
        const QString part = r.at(Part);
        if (expression)
            ic->Item(QStringLiteral("IX_EXPRESSION"))->SetValue(QStringLiteral("1"));
        auto pc = TQXCols::Create();
        pc->Add(part, QStringLiteral("IP_COLUMN"));
        pc->Add(QVNCatalogReader::Flag(expression), QStringLiteral("IP_EXPRESSION"));
        pc->Add(QVNCatalogReader::Flag(r.at(Descending) == QLatin1String("1")), QStringLiteral("IP_DESC"));
        pc->Add(r.at(OpClass), QStringLiteral("IP_OPCLASS"));
        pc->Add(QVNCatalogReader::Flag(included), QStringLiteral("IP_INCLUDE"));
        // The columns an index only carries are no part of its key: a template that writes the key
        // from IX_PARTS or IX_COLUMNS never makes them key columns (a unique index would then
        // allow what the database refuses).
        ic->Item(included ? QStringLiteral("IX_INCLUDE") : QStringLiteral("IX_PARTS"))->Value().rows()->Add(pc);
        if (!included) {
            const TQXColPtr joined = ic->Item(QStringLiteral("IX_COLUMNS"));
            const QString before = joined->Value().ToText();
            joined->SetValue(before.isEmpty() ? part : before + QStringLiteral(", ") + part);
        }
    }
    return result;
}

TQXRowsPtr QVNDatabase::GetCheckRows(const QString& tableName)
{
    auto result = TQXRows::Create();
    result->SetTag(QStringLiteral("CHECKS"));
    bool lost = false;
    const TableName table = Qualified(ResolveTable(tableName.trimmed()), lost);
    for (const QStringList& r : Reader().CheckRows(table)) {
        if (r.size() < 4)
            continue;
        auto cols = TQXCols::Create();
        cols->Add(r.at(2), QStringLiteral("CK_NAME"));
        cols->Add(r.at(3), QStringLiteral("CK_EXPRESSION"));
        result->Add(cols, r.at(2));
    }
    return result;
}

QHash<QString, TQXRowsPtr> QVNDatabase::GetEnumLabels(const QString& tableName)
{
    QHash<QString, TQXRowsPtr> result;
    bool lost = false;
    const TableName table = Qualified(ResolveTable(tableName.trimmed()), lost);
    for (const QStringList& r : Reader().EnumRows(table)) {
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
    bool lost = false;
    const TableName table = Qualified(ResolveTable(tableName.trimmed()), lost);
    for (const QStringList& r : Reader().ExtensionColumns(table)) {
        if (r.size() >= 4)
            result.insert(r.at(2), r.at(3));
    }
    return result;
}

QHash<QString, QString> QVNDatabase::GetExtensionObjects()
{
    QHash<QString, QString> result;
    for (const QStringList& r : Reader().ExtensionObjects()) {
        if (r.size() >= 3)
            result.insert(r.at(0) + QChar(0x1F) + r.at(1), r.at(2));
    }
    return result;
}

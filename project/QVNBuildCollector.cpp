#include "QVNBuildCollector.h"

#include "Mdl_Main.h"
#include "QVNLanguage.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"

#include <QSet>

#include <algorithm>
#include <functional>

namespace {
QString CollectorText(const QString& section, const QString& key)
{
    const QString text = Mdl_Main::Language().GetLocalizeMessage(section, key);
    return text.isEmpty() ? key : text;
}

/// A referential action as SQL writes it, from a catalog's rule: the ODBC number (0 cascade,
/// 1 restrict, 2 set null, 3 no action, 4 set default) or the words themselves. Empty when the
/// catalog gives none, so a template can tell "not known" from "no action".
QString ReferentialAction(const QString& rule)
{
    const QString r = rule.trimmed().toUpper().replace(QLatin1Char('_'), QLatin1Char(' '));
    static const QStringList kActions = {QStringLiteral("CASCADE"), QStringLiteral("RESTRICT"),
                                         QStringLiteral("SET NULL"), QStringLiteral("NO ACTION"),
                                         QStringLiteral("SET DEFAULT")};
    bool number = false;
    const int n = r.toInt(&number);
    if (number)
        return n >= 0 && n < kActions.size() ? kActions.at(n) : QString();
    return kActions.contains(r) ? r : QString();
}
} // namespace

namespace {
/// FK_NULLABLE: "1" when every column of the key accepts nulls, so that an action setting them to
/// null can run (MariaDB refuses such an action on a column that may not be null).
void MarkNullableKeys(const TQXRowsPtr& foreignKeys, const TQXRowsPtr& columns)
{
    for (const TQXRowPtr& fk : *foreignKeys) {
        bool nullable = true;
        if (const TQXColPtr pairs = fk->Cols()->Item(QStringLiteral("FK_PAIRS")); pairs && pairs->Value().rows()) {
            for (const TQXRowPtr& pair : *pairs->Value().rows()) {
                const TQXRowPtr column = columns->Item(pair->Cols()->Text(QStringLiteral("FP_COLUMN")));
                nullable = nullable && column && column->Cols()->Text(QStringLiteral("CL_NULL")) == QLatin1String("1");
            }
        }
        fk->Cols()->Add(nullable ? QStringLiteral("1") : QStringLiteral("0"), QStringLiteral("FK_NULLABLE"));
    }
}
} // namespace

TQXRowsPtr QVNBuildCollector::ForeignKeys(const TQXRowsPtr& keyRows)
{
    // One row per constraint, in the order its first column was reported; the column pairs in
    // key order.
    auto result = TQXRows::Create();
    result->SetTag(QStringLiteral("FOREIGN_KEYS"));
    if (!keyRows)
        return result;
    struct Pair
    {
        int ordinal;
        QString column, refColumn;
    };
    for (const TQXRowPtr& row : *keyRows) {
        const TQXColsPtr& c = row->Cols();
        const QString name = c->Text(QStringLiteral("FK_NAME")).trimmed();
        TQXRowPtr fk = result->Item(name);
        if (!fk) {
            auto cols = TQXCols::Create();
            const QString refKey = c->Text(QStringLiteral("PK_TABLE_KEY")).trimmed();
            cols->Add(name, QStringLiteral("FK_NAME"));
            cols->Add(refKey.isEmpty() ? c->Text(QStringLiteral("PK_TABLE_NAME")).trimmed() : refKey,
                      QStringLiteral("FK_REF_TABLE"));
            cols->Add(c->Text(QStringLiteral("PK_TABLE_SCHEMA")).trimmed(), QStringLiteral("FK_REF_SCHEMA"));
            cols->Add(c->Text(QStringLiteral("PK_TABLE_NAME")).trimmed(), QStringLiteral("FK_REF_OBJECT"));
            cols->Add(QString(), QStringLiteral("FK_COLUMNS"));
            cols->Add(QString(), QStringLiteral("FK_REF_COLUMNS"));
            cols->Add(ReferentialAction(c->Text(QStringLiteral("UPDATE_RULE"))), QStringLiteral("FK_ON_UPDATE"));
            cols->Add(ReferentialAction(c->Text(QStringLiteral("DELETE_RULE"))), QStringLiteral("FK_ON_DELETE"));
            auto pairs = TQXRows::Create();
            pairs->SetTag(QStringLiteral("FK_PAIRS"));
            cols->Add(pairs, QStringLiteral("FK_PAIRS"));
            fk = result->Add(cols, name);
            if (!fk)
                continue;
        }
        const TQXRowsPtr pairs = fk->Cols()->Item(QStringLiteral("FK_PAIRS"))->Value().rows();
        auto pair = TQXCols::Create();
        pair->Add(c->Text(QStringLiteral("FK_COLUMN_NAME")).trimmed(), QStringLiteral("FP_COLUMN"));
        pair->Add(c->Text(QStringLiteral("PK_COLUMN_NAME")).trimmed(), QStringLiteral("FP_REF_COLUMN"));
        // Key order: a driver may interleave the rows of two keys to the same table.
        const int ordinal = c->Text(QStringLiteral("ORDINAL")).trimmed().toInt();
        int at = pairs->Count();
        if (ordinal > 0 && ordinal <= pairs->Count())
            at = ordinal - 1;
        if (at == pairs->Count()) {
            pairs->Add(pair);
        } else {
            // Rebuild in order (rare: rows arrived out of key order).
            std::vector<TQXColsPtr> ordered;
            for (const TQXRowPtr& p : *pairs)
                ordered.push_back(p->Cols());
            ordered.insert(ordered.begin() + at, pair);
            pairs->Clear();
            for (const TQXColsPtr& p : ordered)
                pairs->Add(p);
        }
    }
    for (const TQXRowPtr& fk : *result) {
        const TQXColsPtr& cols = fk->Cols();
        QStringList columns, refColumns;
        const TQXRowsPtr pairs = cols->Item(QStringLiteral("FK_PAIRS"))->Value().rows();
        for (const TQXRowPtr& p : *pairs) {
            columns << p->Cols()->Text(QStringLiteral("FP_COLUMN"));
            refColumns << p->Cols()->Text(QStringLiteral("FP_REF_COLUMN"));
        }
        cols->Item(QStringLiteral("FK_COLUMNS"))->SetValue(columns.join(QLatin1String(", ")));
        cols->Item(QStringLiteral("FK_REF_COLUMNS"))->SetValue(refColumns.join(QLatin1String(", ")));
    }
    return result;
}

namespace {
TQXRowsPtr ColumnsOf(const TQXColsPtr& table)
{
    const TQXColPtr c = table->Item(QStringLiteral("COLUMNS"));
    return c ? c->Value().rows() : TQXRowsPtr();
}

/// Gives every table of the set a row set `tag` of the things `uses` finds in it (by name, in the
/// order found) that no table before it has: whoever writes one statement per table then makes
/// each of them once, before the first table that needs it.
void AddFirstUses(
    const TQXRowsPtr& tables, const QString& tag,
    const std::function<void(const TQXColsPtr&, const std::function<void(const QString&, TQXColsPtr)>&)>& uses)
{
    QSet<QString> seen;
    for (const TQXRowPtr& row : *tables) {
        const TQXColsPtr& table = row->Cols();
        auto found = TQXRows::Create();
        found->SetTag(tag);
        uses(table, [&](const QString& name, TQXColsPtr cols) {
            if (name.isEmpty() || seen.contains(name))
                return;
            seen.insert(name);
            found->Add(cols, name);
        });
        table->Remove(tag);
        table->Add(found, tag);
    }
}
} // namespace

void QVNBuildCollector::AddExtensions(const TQXRowsPtr& tables)
{
    // Whether any table of the set has a column of the extension's types: a script that creates
    // the tables an extension owns itself still needs the extension for those columns.
    QSet<QString> forTypes;
    for (const TQXRowPtr& row : *tables) {
        if (const TQXRowsPtr columns = ColumnsOf(row->Cols())) {
            for (const TQXRowPtr& column : *columns) {
                if (const QString n = column->Cols()->Text(QStringLiteral("CL_EXTENSION")).trimmed(); !n.isEmpty())
                    forTypes.insert(n);
            }
        }
    }
    AddFirstUses(tables, QStringLiteral("EXTENSIONS"), [&](const TQXColsPtr& table, const auto& add) {
        const auto need = [&](const QString& name) {
            const QString n = name.trimmed();
            auto cols = TQXCols::Create();
            cols->Add(n, QStringLiteral("EX_NAME"));
            cols->Add(forTypes.contains(n) ? QStringLiteral("1") : QStringLiteral("0"), QStringLiteral("EX_TYPES"));
            add(n, cols);
        };
        need(table->Text(QStringLiteral("TL_EXTENSION")));
        if (const TQXRowsPtr columns = ColumnsOf(table)) {
            for (const TQXRowPtr& column : *columns)
                need(column->Cols()->Text(QStringLiteral("CL_EXTENSION")));
        }
    });
    AddFirstUses(tables, QStringLiteral("ENUM_TYPES"), [](const TQXColsPtr& table, const auto& add) {
        const TQXRowsPtr columns = ColumnsOf(table);
        if (!columns)
            return;
        for (const TQXRowPtr& column : *columns) {
            const TQXColsPtr& c = column->Cols();
            const TQXColPtr labels = c->Item(QStringLiteral("CL_ENUMS"));
            const QString kind = c->Text(QStringLiteral("CL_DBKIND")).trimmed().toLower();
            if ((kind != QLatin1String("enum") && kind != QLatin1String("array")) || !labels ||
                !labels->Value().rows() || labels->Value().rows()->Count() == 0)
                continue;
            // An array of an enum needs the enum.
            QString name = c->Text(QStringLiteral("CL_DBTYPE")).trimmed();
            while (kind == QLatin1String("array") && name.endsWith(QLatin1String("[]")))
                name.chop(2);
            // MariaDB's enum('a','b') is a column type, not a named type a script could create.
            if (name.contains(QLatin1Char('(')))
                continue;
            auto cols = TQXCols::Create();
            cols->Add(name, QStringLiteral("ET_NAME"));
            cols->Add(labels->Value().rows(), QStringLiteral("CL_ENUMS"));
            add(name, cols);
        }
    });
}

void QVNBuildCollector::AddKeys(const TQXColsPtr& table, const TQXRowsPtr& columns, const TQXRowsPtr& keyRows)
{
    // The declared primary key in key order (not column order).
    auto declared = TQXRows::Create();
    declared->SetTag(QStringLiteral("PK_COLUMNS"));
    if (keyRows) {
        std::vector<std::pair<int, QString>> ordered;
        for (const TQXRowPtr& row : *keyRows) {
            const TQXColsPtr& c = row->Cols();
            ordered.emplace_back(c->Text(QStringLiteral("ORDINAL")).trimmed().toInt(),
                                 c->Text(QStringLiteral("COLUMN_NAME")).trimmed());
        }
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [ordinal, column] : ordered) {
            if (const TQXRowPtr r = columns ? columns->Item(column) : nullptr)
                declared->Add(r->Cols(), r->Key());
        }
    }
    // The key generated code identifies one row by: the declared key, else the column the user
    // chose as key in the project; a table with neither has none and is to be read only.
    auto used = TQXRows::Create();
    used->SetTag(QStringLiteral("KEY_COLUMNS"));
    QString source;
    if (declared->Count() > 0) {
        for (const TQXRowPtr& r : *declared)
            used->Add(r->Cols(), r->Key());
        source = QStringLiteral("database");
    } else {
        const QString chosen = table->Text(QStringLiteral("TL_PK")).trimmed();
        if (const TQXRowPtr r = columns && !chosen.isEmpty() ? columns->Item(chosen) : nullptr) {
            used->Add(r->Cols(), r->Key());
            source = QStringLiteral("project");
        }
    }
    for (const QString& key :
         {QStringLiteral("PK_COLUMNS"), QStringLiteral("KEY_COLUMNS"), QStringLiteral("TL_KEYSOURCE")})
        table->Remove(key);
    table->Add(declared, QStringLiteral("PK_COLUMNS"));
    table->Add(used, QStringLiteral("KEY_COLUMNS"));
    table->Add(source, QStringLiteral("TL_KEYSOURCE"));
}

bool QVNBuildCollector::Collect(const QString& projectFile, const QStringList& tableNames, TQXRowsPtr& tables,
                                TQXColsPtr& projectVariables, QString& projectFolder)
{
    Exceptions.Clear();
    m_canceled = false;
    m_badProjectFile = false;
    m_unknown.clear();
    m_projectTables.reset();
    tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    projectVariables = TQXCols::Create();
    projectFolder.clear();

    QVNProject project;
    QVNProjectLifecycle lifecycle;
    if (!lifecycle.Open(projectFile, project)) {
        m_badProjectFile = lifecycle.LastFailure() == QVNProjectLifecycle::Failure::BadInput;
        Exceptions.AddExceptions(lifecycle.Exceptions);
        return false;
    }
    const bool ok = Collect(project, tableNames, tables, projectVariables, projectFolder);
    project.ProjectDatabase().DisConnectFromServer();
    m_projectTables = project.TABLES;
    return ok;
}

bool QVNBuildCollector::Collect(QVNProject& project, const QStringList& tableNames, TQXRowsPtr& tables,
                                TQXColsPtr& projectVariables, QString& projectFolder)
{
    Exceptions.Clear();
    m_canceled = false;
    m_unknown.clear();
    tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    projectVariables = TQXCols::Create();
    projectFolder.clear();

    // Which tables, in the project's order; unknown names are all reported together.
    QStringList chosen;
    if (tableNames.isEmpty()) {
        // Every table, then (when asked) every view, each in the project's order; what an
        // extension owns is taken only when named.
        QStringList views;
        for (const TQXRowPtr& row : *project.TABLES) {
            if (!row->Cols()->Text(QStringLiteral("TL_EXTENSION")).trimmed().isEmpty())
                continue;
            const QString kind = row->Cols()->Text(QStringLiteral("TABLE_TYPE")).trimmed();
            if (kind.compare(QLatin1String("TABLE"), Qt::CaseInsensitive) == 0)
                chosen << row->Key();
            else if (IncludeViews && kind.compare(QLatin1String("VIEW"), Qt::CaseInsensitive) == 0)
                views << row->Key();
        }
        chosen += views;
    } else {
        QStringList unknown;
        for (const QString& name : tableNames) {
            if (!project.TABLES->Exists(name.trimmed()))
                unknown << name.trimmed();
        }
        m_unknown = unknown;
        if (!unknown.isEmpty()) {
            for (const QString& name : unknown)
                Exceptions.Add(
                    CollectorText(QStringLiteral("QVNBUILDCOLLECTOR"), QStringLiteral("ERROR_UNKNOWN_TABLE")) +
                    QStringLiteral(" ") + name);
            return false;
        }
        // In the main window's tree order: the tables group, then views, then everything else,
        // each in the project's table order.
        QStringList groups[3];
        for (const TQXRowPtr& row : *project.TABLES) {
            for (const QString& name : tableNames) {
                if (row->Key().compare(name.trimmed(), Qt::CaseInsensitive) == 0) {
                    const QString kind = row->Cols()->Text(QStringLiteral("TABLE_TYPE")).trimmed().toLower();
                    groups[kind == QLatin1String("table") ? 0 : kind == QLatin1String("view") ? 1 : 2] << row->Key();
                    break;
                }
            }
        }
        chosen = groups[0] + groups[1] + groups[2];
    }

    // The catalog of every chosen table is read at once where the database allows it.
    project.ProjectDatabase().PrepareCatalog(chosen);
    const QString collecting = CollectorText(QStringLiteral("QVNBUILDCOLLECTOR"), QStringLiteral("MESSAGE_COLLECT_OF"));
    const QString total = QString::number(chosen.size());
    int number = 0;
    for (const QString& name : chosen) {
        ++number;
        if (Progress) {
            bool cancel = false;
            Progress(collecting.arg(QString::number(number), total, name), cancel);
            if (cancel) {
                m_canceled = true;
                Exceptions.Add(CollectorText(QStringLiteral("QVNBUILDCOLLECTOR"), QStringLiteral("MESSAGE_CANCEL")));
                return false;
            }
        }
        TQXRowsPtr columns = project.GetColumns(name);
        tables->CopyRow(project.TABLES->Item(name));
        const TQXRowPtr row = tables->Item(name);
        if (!row)
            continue;
        const TQXColsPtr& cols = row->Cols();
        const QString pk = cols->Text(QStringLiteral("TL_PK")).trimmed();
        const QString pktype = cols->Text(QStringLiteral("TL_PKTYPE")).trimmed();
        // Only a key of kind "1" is entered by the user; other kinds leave the update screen.
        if (pktype != QLatin1String("1") && !pk.isEmpty()) {
            if (const TQXRowPtr keyRow = columns->Item(pk))
                keyRow->Cols()->Item(QStringLiteral("CL_UPDATE_TYPE"))->SetValue(QStringLiteral("0"));
        }
        if (const TQXColPtr c = cols->Item(QStringLiteral("COLUMNS")))
            c->SetValue(columns);
        else
            cols->Add(columns, QStringLiteral("COLUMNS"));
        const char* const lists[4][2] = {{"UPDATE_COLUMNS", "CL_UPDATE_TYPE"},
                                         {"SEARCH_COLUMNS", "CL_SEARCH_TYPE"},
                                         {"MAIN_COLUMNS", "CL_MAIN_TYPE"},
                                         {"SHOW_COLUMNS", "CL_SHOW_TYPE"}};
        for (const auto& list : lists) {
            const QString key = QString::fromLatin1(list[0]);
            cols->Remove(key);
            cols->Add(QVNProject::GetOneTypeColumns(key, columns, QString::fromLatin1(list[1])), key);
        }
        cols->Remove(QStringLiteral("FOREIGN_KEYS"));
        const TQXRowsPtr foreignKeys = ForeignKeys(project.ProjectDatabase().GetForeignKeyRows(name));
        MarkNullableKeys(foreignKeys, columns);
        cols->Add(foreignKeys, QStringLiteral("FOREIGN_KEYS"));
        AddKeys(cols, columns, project.ProjectDatabase().GetPrimaryKeys(name));
        for (const QString& key : {QStringLiteral("INDEXES"), QStringLiteral("CHECKS")})
            cols->Remove(key);
        cols->Add(project.ProjectDatabase().GetIndexRows(name), QStringLiteral("INDEXES"));
        cols->Add(project.ProjectDatabase().GetCheckRows(name), QStringLiteral("CHECKS"));
    }
    project.ProjectDatabase().ForgetCatalog();
    AddExtensions(tables);

    projectVariables->Add(project.P_NO, QStringLiteral("P_NO"));
    projectVariables->Add(project.P_NAME, QStringLiteral("P_NAME"));
    projectVariables->Add(project.P_DATABASE, QStringLiteral("P_DATABASE"));
    projectVariables->Add(project.P_USERID, QStringLiteral("P_USERID"));
    projectVariables->Add(project.P_PWD, QStringLiteral("P_PWD"));
    projectVariables->Add(project.P_PATH, QStringLiteral("P_PATH"));
    projectVariables->Add(project.ConnectionString(), QStringLiteral("P_CONNECTIONSTRING"));
    projectFolder = project.P_PATH;
    return true;
}

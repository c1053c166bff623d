// The catalog reader of a database system: chosen from the DBMS name, with the few things of
// QVNDatabase every reader uses.
#include "QVNCatalogReader.h"

#include <QFile>

QVNDatabase::Dbms QVNCatalogReader::KindOf(const QString& dbmsName)
{
    const QString name = dbmsName.trimmed();
    if (name.startsWith(QLatin1String("PostgreSQL"), Qt::CaseInsensitive))
        return QVNDatabase::Dbms::PostgreSQL;
    if (name.startsWith(QLatin1String("SQLite"), Qt::CaseInsensitive))
        return QVNDatabase::Dbms::SQLite;
    if (name.startsWith(QLatin1String("MariaDB"), Qt::CaseInsensitive) ||
        name.startsWith(QLatin1String("MySQL"), Qt::CaseInsensitive))
        return QVNDatabase::Dbms::MariaDB;
    return QVNDatabase::Dbms::Other;
}

std::unique_ptr<QVNCatalogReader> QVNCatalogReader::Create(QVNDatabase::Dbms kind, QVNDatabase& db)
{
    switch (kind) {
    case QVNDatabase::Dbms::PostgreSQL:
        return std::make_unique<QVNPostgresCatalogReader>(db);
    case QVNDatabase::Dbms::SQLite:
        return std::make_unique<QVNSqliteCatalogReader>(db);
    case QVNDatabase::Dbms::MariaDB:
        return std::make_unique<QVNMariaCatalogReader>(db);
    case QVNDatabase::Dbms::Other:
        break;
    }
    return std::make_unique<QVNOdbcCatalogReader>(db);
}

const QString& QVNCatalogReader::Query(const QString& path)
{
    static QHash<QString, QString> texts;
    auto it = texts.find(path);
    if (it == texts.end()) {
        QFile file(QStringLiteral(":/catalog/") + path);
        // The comment lines of a file are for its readers: SQLite's driver takes a comment for a
        // statement of its own.
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

QVNCatalogReader::Rows QVNCatalogReader::Select(const QString& file, const QStringList& params, bool& ok)
{
    return m_db.SelectBound(Query(file), params, ok);
}

std::unique_ptr<QVNRecordset> QVNCatalogReader::Open(const QString& file, const QStringList& params)
{
    return m_db.OpenBound(Query(file), params);
}

QVNCatalogReader::Rows QVNCatalogReader::ConstraintRows(const QString& file, const TableName& table,
                                                        const QStringList& oneTable, const QStringList& allTables,
                                                        bool& ok)
{
    return m_db.ConstraintRows(Query(file), table, oneTable, allTables, ok);
}

const QHash<QString, QVNCatalogReader::Rows>* QVNCatalogReader::AllRows(const QString& file,
                                                                        const QStringList& allTables)
{
    return m_db.AllConstraintRows(Query(file), allTables);
}

void QVNCatalogReader::KeepRows(const QString& file, QHash<QString, Rows> byTable)
{
    m_db.KeepConstraintRows(Query(file), std::move(byTable));
}

QVNCatalogReader::Facts QVNCatalogReader::DriverColumns(const QString& schema, const QString& table,
                                                        const std::function<bool(const ColumnFacts&)>& keep)
{
    return m_db.ReadColumnFacts(schema, table, keep);
}

QString QVNCatalogReader::TableKey(const QString& schema, const QString& object) const
{
    return m_db.TableKey(schema, object);
}

TQXColsPtr QVNCatalogReader::KeyRow(const QStringList& r, bool foreign) const
{
    if (r.size() < (foreign ? 8 : 5))
        return nullptr;
    auto cols = TQXCols::Create();
    if (!foreign) {
        cols->Reserve(5);
        cols->Add(r.at(0), QStringLiteral("TABLE_SCHEMA"));
        cols->Add(r.at(1), QStringLiteral("TABLE_NAME"));
        cols->Add(r.at(2), QStringLiteral("COLUMN_NAME"));
        cols->Add(r.at(3), QStringLiteral("ORDINAL"));
        cols->Add(r.at(4), QStringLiteral("PK_NAME"));
        return cols;
    }
    cols->Reserve(11);
    cols->Add(r.at(5), QStringLiteral("PK_TABLE_SCHEMA"));
    cols->Add(r.at(6), QStringLiteral("PK_TABLE_NAME"));
    cols->Add(r.at(7), QStringLiteral("PK_COLUMN_NAME"));
    cols->Add(r.at(0), QStringLiteral("FK_TABLE_SCHEMA"));
    cols->Add(r.at(1), QStringLiteral("FK_TABLE_NAME"));
    cols->Add(r.at(2), QStringLiteral("FK_COLUMN_NAME"));
    cols->Add(r.at(3), QStringLiteral("ORDINAL"));
    cols->Add(r.at(4), QStringLiteral("FK_NAME"));
    cols->Add(TableKey(r.at(5), r.at(6)), QStringLiteral("PK_TABLE_KEY"));
    if (r.size() >= 10) {
        cols->Add(r.at(8), QStringLiteral("UPDATE_RULE"));
        cols->Add(r.at(9), QStringLiteral("DELETE_RULE"));
    }
    return cols;
}

bool QVNCatalogReader::TimedOut()
{
    if (!m_db.m_watchdog.Tripped())
        return false;
    m_db.NoteTimeout();
    return true;
}

#include "QVNDatabase.h"

#include "QVNCatalogReader.h"
#include "QVNProgress.h"

#include <dlfcn.h>

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <iterator>

namespace {
using Odbc::Arg;
using Odbc::ArgLength;

/// True when the driver named by the string's DRIVER entry has wide entry points. The driver
/// manager converts a wide connection string for a byte-only driver before it knows any character
/// set, which mangles every non-ASCII character (a database path in a Chinese folder); such a
/// driver gets the string as UTF-8 bytes instead. Unknown drivers and DSNs count as wide.
bool DriverTakesWide(const QString& connection)
{
    static const QRegularExpression entry(QStringLiteral("(?:^|;)\\s*driver\\s*=\\s*(?:\\{([^}]*)\\}|([^;]*))"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = entry.match(connection);
    if (!m.hasMatch())
        return true;
    const QString name = (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1)).trimmed();
    static QHash<QString, bool> known;
    const QString key = name.toLower();
    if (known.contains(key))
        return known.value(key);
    bool wide = true;
    SQLHENV env = Odbc::Environment();
    SQLWCHAR description[256];
    SQLWCHAR attributes[2048];
    SQLSMALLINT descriptionLength = 0, attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (env && SQL_SUCCEEDED(SQLDriversW(env, direction, description, 256, &descriptionLength, attributes, 2048,
                                            &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        if (Odbc::FromWide(description, std::min<SQLSMALLINT>(descriptionLength, 255))
                .compare(name, Qt::CaseInsensitive) != 0)
            continue;
        // Attributes come as "key=value" entries separated by null characters.
        const QStringList pairs =
            Odbc::FromWide(attributes, std::min<SQLSMALLINT>(attributesLength, 2047)).split(QChar(0));
        for (const QString& pair : pairs) {
            if (!pair.startsWith(QLatin1String("Driver="), Qt::CaseInsensitive))
                continue;
            QByteArray library = pair.mid(7).trimmed().toLocal8Bit();
            if (!library.contains('/')) {
                // A bare name is looked up by the driver manager in the "odbc" folder beside itself.
                Dl_info self{};
                if (dladdr(reinterpret_cast<void*>(&SQLDriversW), &self) && self.dli_fname) {
                    QByteArray folder(self.dli_fname);
                    folder.truncate(folder.lastIndexOf('/') + 1);
                    library = folder + "odbc/" + library;
                }
            }
            if (void* handle = dlopen(library.constData(), RTLD_LAZY | RTLD_LOCAL)) {
                wide = dlsym(handle, "SQLDriverConnectW") != nullptr;
                dlclose(handle);
            }
        }
        break;
    }
    known.insert(key, wide);
    return wide;
}

bool IsAscii(const QString& s)
{
    for (const QChar c : s) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return true;
}

QString Criterion(const QStringList& criteria, int index)
{
    return index < criteria.size() ? criteria.at(index).trimmed() : QString();
}

const QHash<QString, QString>& TableRenames()
{
    static const QHash<QString, QString> map{
        {"TABLE_CAT", "TABLE_CATALOG"}, {"TABLE_SCHEM", "TABLE_SCHEMA"}, {"REMARKS", "DESCRIPTION"}};
    return map;
}
const QHash<QString, QString>& KeyRenames()
{
    static const QHash<QString, QString> map{
        {"TABLE_CAT", "TABLE_CATALOG"},      {"TABLE_SCHEM", "TABLE_SCHEMA"},      {"KEY_SEQ", "ORDINAL"},
        {"PKTABLE_CAT", "PK_TABLE_CATALOG"}, {"PKTABLE_SCHEM", "PK_TABLE_SCHEMA"}, {"PKTABLE_NAME", "PK_TABLE_NAME"},
        {"PKCOLUMN_NAME", "PK_COLUMN_NAME"}, {"FKTABLE_CAT", "FK_TABLE_CATALOG"},  {"FKTABLE_SCHEM", "FK_TABLE_SCHEMA"},
        {"FKTABLE_NAME", "FK_TABLE_NAME"},   {"FKCOLUMN_NAME", "FK_COLUMN_NAME"},  {"NON_UNIQUE", "NON_UNIQUE"},
        {"INDEX_QUALIFIER", "INDEX_CATALOG"}};
    return map;
}

} // namespace

QVNDatabase::QVNDatabase() = default;

QVNDatabase::~QVNDatabase()
{
    DisConnectFromServer();
}

SQLHDBC QVNDatabase::Connection()
{
    TestConnect();
    return m_connection.get();
}

bool QVNDatabase::IsConnected() const
{
    if (!m_connection)
        return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (SQL_SUCCEEDED(SQLGetConnectAttr(m_connection.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)))
        return dead != SQL_CD_TRUE;
    return true;
}

bool QVNDatabase::TestConnect()
{
    if (IsConnected())
        return true;
    return ConnectToServer(QString());
}

bool QVNDatabase::ConnectToServer(const QString& ConnectString)
{
    Exceptions.Clear();
    if (!ConnectString.isEmpty())
        AdoConnectString = ConnectString;
    if (m_watchdog.Canceled()) {
        // A cancelled read must not come back through the reconnect of a lost connection.
        Exceptions.Add(QStringLiteral("The work on the database was cancelled."));
        return false;
    }
    m_connection.reset();
    m_watchdog.Forget();
    m_inTransaction = false;
    m_dbmsKnown = false;

    SQLHENV env = Odbc::Environment();
    if (!env) {
        Exceptions.Add(QStringLiteral("The ODBC driver manager could not be initialised."));
        return false;
    }
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        AddDiagnostics(SQL_HANDLE_ENV, env, QStringLiteral("No connection handle could be allocated."));
        return false;
    }
    OdbcConnection connection(dbc);
    if (ConnectionTimeout > 0)
        SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(ConnectionTimeout)), 0);
    m_watchdog.BeforeConnect();
    const QString text = AdoConnectString;
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    SQLRETURN rc;
    if (IsAscii(text) || DriverTakesWide(text)) {
        rc = SQLDriverConnectW(dbc, nullptr, Odbc::Wide(text), static_cast<SQLSMALLINT>(text.size()), out, 1024,
                               &outLength, SQL_DRIVER_NOPROMPT);
    } else {
        QByteArray bytes = text.toUtf8();
        SQLCHAR outBytes[1024];
        rc = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(bytes.data()),
                              static_cast<SQLSMALLINT>(bytes.size()), outBytes, 1024, &outLength, SQL_DRIVER_NOPROMPT);
    }
    if (!SQL_SUCCEEDED(rc)) {
        AddDiagnostics(SQL_HANDLE_DBC, dbc, QStringLiteral("The connection could not be opened."));
        // The handle never connected: free it without a disconnect.
        SQLFreeHandle(SQL_HANDLE_DBC, connection.release());
        m_watchdog.AfterConnect();
        m_watchdog.Forget();
        return false;
    }
    m_watchdog.AfterConnect();
    m_connection = std::move(connection);
    return true;
}

bool QVNDatabase::DisConnectFromServer()
{
    if (!m_connection)
        return true;
    if (m_inTransaction) {
        SQLEndTran(SQL_HANDLE_DBC, m_connection.get(), SQL_ROLLBACK);
        m_inTransaction = false;
    }
    const SQLRETURN rc = SQLDisconnect(m_connection.get());
    bool ok = true;
    if (!SQL_SUCCEEDED(rc) && IsConnected()) {
        AddDiagnostics(SQL_HANDLE_DBC, m_connection.get(), QStringLiteral("The connection could not be closed."));
        ok = false;
    }
    SQLFreeHandle(SQL_HANDLE_DBC, m_connection.release());
    m_watchdog.Forget();
    return ok;
}

bool QVNDatabase::BeginTrans()
{
    Exceptions.Clear();
    if (!TestConnect())
        return false;
    if (!SQL_SUCCEEDED(SQLSetConnectAttr(m_connection.get(), SQL_ATTR_AUTOCOMMIT,
                                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0))) {
        AddDiagnostics(SQL_HANDLE_DBC, m_connection.get(), QStringLiteral("The transaction could not be started."));
        return false;
    }
    m_inTransaction = true;
    return true;
}

bool QVNDatabase::CommitTrans()
{
    Exceptions.Clear();
    if (!m_connection || !m_inTransaction) {
        Exceptions.Add(QStringLiteral("No transaction is open."));
        return false;
    }
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_connection.get(), SQL_COMMIT);
    bool ok = SQL_SUCCEEDED(rc);
    if (!ok)
        AddDiagnostics(SQL_HANDLE_DBC, m_connection.get(), QStringLiteral("The transaction could not be committed."));
    SQLSetConnectAttr(m_connection.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    m_inTransaction = false;
    return ok;
}

bool QVNDatabase::RollbackTrans()
{
    if (!m_connection || !m_inTransaction)
        return false;
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_connection.get(), SQL_ROLLBACK);
    SQLSetConnectAttr(m_connection.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    m_inTransaction = false;
    return SQL_SUCCEEDED(rc);
}

OdbcStatement QVNDatabase::NewStatement()
{
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!m_connection || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_connection.get(), &stmt))) {
        AddDiagnostics(SQL_HANDLE_DBC, m_connection.get(), QStringLiteral("No statement handle could be allocated."));
        return OdbcStatement();
    }
    return OdbcStatement(stmt);
}

void QVNDatabase::AddDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const QString& fallback)
{
    const QStringList lines = Odbc::Diagnostics(handleType, handle);
    for (const QString& line : lines)
        Exceptions.Add(line);
    if (lines.isEmpty())
        Exceptions.Add(fallback);
}

void QVNDatabase::Cancel()
{
    m_watchdog.Cancel();
}

void QVNDatabase::ClearCancel()
{
    m_watchdog.ClearCancel();
}

void QVNDatabase::NoteTimeout()
{
    if (m_watchdog.Canceled())
        Exceptions.Add(QStringLiteral("The work on the database was cancelled."));
    else if (m_watchdog.Tripped())
        Exceptions.Add(QStringLiteral("The database did not answer within the time limit; the connection was closed."));
}

bool QVNDatabase::Execute(const QString& sql, int timeout, OdbcStatement& stmt, SQLRETURN& rc)
{
    if (!TestConnect())
        return false;
    stmt = NewStatement();
    if (!stmt)
        return false;
    OdbcWatchdog::Scope limit(m_watchdog, timeout);
    rc = SQLExecDirectW(stmt.get(), Odbc::Wide(sql), static_cast<SQLINTEGER>(sql.size()));
    return true;
}

bool QVNDatabase::RunAdoSearch(const QString& SearchSql, std::unique_ptr<QVNRecordset>& ReturnRs)
{
    Exceptions.Clear();
    ReturnRs.reset();
    for (int attempt = 0; attempt < 2; ++attempt) {
        OdbcStatement stmt;
        SQLRETURN rc = SQL_ERROR;
        if (!Execute(SearchSql, CommandTimeout, stmt, rc))
            return false;
        if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) {
            ReturnRs = std::make_unique<QVNRecordset>(std::move(stmt), &m_watchdog, CommandTimeout);
            return true;
        }
        // A connection that died since the last call is reopened once; a statement that failed
        // on a live connection is reported as it is.
        const bool lost = !IsConnected() && !m_watchdog.Tripped() && !m_inTransaction;
        if (!lost || attempt == 1) {
            AddDiagnostics(SQL_HANDLE_STMT, stmt.get(), QStringLiteral("The statement failed."));
            NoteTimeout();
            return false;
        }
    }
    return false;
}

bool QVNDatabase::ExecuteSql(const QString& sql)
{
    Exceptions.Clear();
    OdbcStatement stmt;
    SQLRETURN rc = SQL_ERROR;
    if (!Execute(sql, CommandTimeout, stmt, rc))
        return false;
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) {
        // Drain further results so every statement of a batch runs and reports.
        for (;;) {
            rc = SQLMoreResults(stmt.get());
            if (rc == SQL_NO_DATA)
                break;
            if (SQL_SUCCEEDED(rc))
                continue;
            // Drivers that do not know SQLMoreResults for this statement answer with an error
            // that carries no diagnostics: nothing more to read.
            const QStringList lines = Odbc::Diagnostics(SQL_HANDLE_STMT, stmt.get());
            if (lines.isEmpty())
                break;
            for (const QString& line : lines)
                Exceptions.Add(line);
            return false;
        }
        return true;
    }
    AddDiagnostics(SQL_HANDLE_STMT, stmt.get(), QStringLiteral("The statement failed."));
    NoteTimeout();
    return false;
}

TQXRowsPtr QVNDatabase::GetDatasFromSql(const QString& sql, const QString& keyField)
{
    std::unique_ptr<QVNRecordset> rs;
    if (!RunAdoSearch(sql, rs) || !rs)
        return TQXRows::Create();
    TQXRowsPtr rows = SaveAdoToDatas(*rs, keyField);
    rs->Close();
    return rows;
}

TQXRowsPtr QVNDatabase::SaveAdoToDatas(QVNRecordset& Rec_Data, const QString& keyField)
{
    auto rows = TQXRows::Create();
    const QString key = keyField.trimmed();
    const int keyIndex = key.isEmpty() ? -1 : Rec_Data.FieldIndex(key);
    QStringList names;
    for (int i = 0; i < Rec_Data.FieldCount(); ++i)
        names << Rec_Data.FieldName(i).trimmed();
    while (!Rec_Data.IsEof()) {
        auto cols = TQXCols::Create();
        cols->Reserve(names.size());
        for (int i = 0; i < names.size(); ++i) {
            cols->Add(Rec_Data.Value(i).trimmed(), names.at(i));
            QVNEvents::DoEvents();
        }
        if (key.isEmpty())
            rows->Add(cols);
        else
            rows->Add(cols, keyIndex >= 0 ? Rec_Data.Value(keyIndex).trimmed() : QString());
        Rec_Data.MoveNext();
    }
    for (const QString& line : Rec_Data.Errors())
        Exceptions.Add(line);
    return rows;
}

namespace {
struct TypeNumber
{
    int key;
    int value;
};
struct TypeName
{
    int number;
    const char* name;
};

// The program's data type numbers and their names (note the lower-case "long").
constexpr TypeName kTypeNames[] = {{0, "Empty"},
                                   {2, "SmallInt"},
                                   {3, "long"},
                                   {4, "Single"},
                                   {5, "Double"},
                                   {6, "Currency"},
                                   {7, "Date"},
                                   {8, "BSTR"},
                                   {9, "IDispatch"},
                                   {10, "Error"},
                                   {11, "Boolean"},
                                   {12, "Variant"},
                                   {13, "IUnknown"},
                                   {14, "Decimal"},
                                   {16, "TinyInt"},
                                   {17, "UnsignedTinyInt"},
                                   {18, "UnsignedSmallInt"},
                                   {19, "UnsignedInt"},
                                   {20, "BigInt"},
                                   {21, "UnsignedBigInt"},
                                   {64, "FileTime"},
                                   {72, "GUID"},
                                   {128, "Binary"},
                                   {129, "Char"},
                                   {130, "WChar"},
                                   {131, "Numeric"},
                                   {132, "UserDefined"},
                                   {133, "DBDate"},
                                   {134, "DBTime"},
                                   {135, "DBTimeStamp"},
                                   {136, "Chapter"},
                                   {138, "PropVariant"},
                                   {139, "VarNumeric"},
                                   {200, "VarChar"},
                                   {201, "LongVarChar"},
                                   {202, "VarWChar"},
                                   {203, "LongVarWChar"},
                                   {204, "VarBinary"},
                                   {205, "LongVarBinary"}};

constexpr int kNumericTypes[] = {2, 3, 4, 5, 6, 14, 16, 17, 18, 19, 20, 21, 131, 139};
constexpr int kDateTypes[] = {7, 64, 133, 134, 135};

// ODBC SQL types and the data type numbers they read as; any other type is 0 (Empty).
constexpr TypeNumber kSqlTypes[] = {
    {SQL_CHAR, 129},      {SQL_VARCHAR, 200},      {SQL_LONGVARCHAR, 201},   {SQL_WCHAR, 130},
    {SQL_WVARCHAR, 202},  {SQL_WLONGVARCHAR, 203}, {SQL_NUMERIC, 131},       {SQL_DECIMAL, 14},
    {SQL_SMALLINT, 2},    {SQL_INTEGER, 3},        {SQL_BIGINT, 20},         {SQL_TINYINT, 16},
    {SQL_REAL, 4},        {SQL_FLOAT, 5},          {SQL_DOUBLE, 5},          {SQL_BIT, 11},
    {SQL_BINARY, 128},    {SQL_VARBINARY, 204},    {SQL_LONGVARBINARY, 205}, {SQL_TYPE_DATE, 133},
    {SQL_DATE, 133},      {SQL_TYPE_TIME, 134},    {SQL_TIME, 134},          {SQL_TYPE_TIMESTAMP, 135},
    {SQL_TIMESTAMP, 135}, {SQL_GUID, 72}};

template <typename List> bool Contains(const List& list, int value)
{
    return std::find(std::begin(list), std::end(list), value) != std::end(list);
}
} // namespace

QString QVNDatabase::DataType2Name(int t)
{
    // Made once: every column asks, and the texts are shared rather than made per column.
    static const QHash<int, QString> names = [] {
        QHash<int, QString> made;
        for (const TypeName& entry : kTypeNames) {
            if (!made.contains(entry.number))
                made.insert(entry.number, QString::fromLatin1(entry.name));
        }
        return made;
    }();
    return names.value(t, QStringLiteral("*UNKNOWN*"));
}

QString QVNDatabase::DataType2Name2(int t)
{
    if (Contains(kNumericTypes, t))
        return QStringLiteral("numeric");
    if (Contains(kDateTypes, t))
        return QStringLiteral("date");
    if (t == 11)
        return QStringLiteral("boolean");
    return QStringLiteral("string");
}

int QVNDatabase::SqlTypeToDataType(int sqlType)
{
    for (const TypeNumber& entry : kSqlTypes) {
        if (entry.key == sqlType)
            return entry.value;
    }
    return 0;
}

QString QVNDatabase::QuoteConnectionValue(const QString& value)
{
    const bool plain = !value.contains(QLatin1Char(';')) && !value.startsWith(QLatin1Char('{')) &&
                       !value.contains(QLatin1Char('}')) && value.trimmed() == value;
    if (plain)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1String("}"), QLatin1String("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

TQXRowsPtr QVNDatabase::ReadCatalog(const CatalogCall& call, const QString& keyField,
                                    const QHash<QString, QString>& rename, const RowFilter& filter)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool lost = false;
        TQXRowsPtr rows = ReadCatalogOnce(call, keyField, rename, filter, lost);
        if (!lost || attempt == 1 || m_watchdog.Tripped() || m_inTransaction)
            return rows;
    }
    return TQXRows::Create();
}

TQXRowsPtr QVNDatabase::ReadCatalogOnce(const CatalogCall& call, const QString& keyField,
                                        const QHash<QString, QString>& rename, const RowFilter& filter,
                                        bool& connectionLost)
{
    connectionLost = false;
    auto rows = TQXRows::Create();
    if (!TestConnect())
        return rows;
    OdbcStatement stmt = NewStatement();
    if (!stmt)
        return rows;
    SQLRETURN rc;
    {
        OdbcWatchdog::Scope limit(m_watchdog, SchemaTimeout);
        rc = call(stmt.get());
    }
    if (!SQL_SUCCEEDED(rc)) {
        connectionLost = !IsConnected();
        AddDiagnostics(SQL_HANDLE_STMT, stmt.get(), QStringLiteral("The catalog could not be read."));
        NoteTimeout();
        return rows;
    }
    QVNRecordset rs(std::move(stmt), &m_watchdog, SchemaTimeout);
    QStringList names;
    for (int i = 0; i < rs.FieldCount(); ++i) {
        const QString name = rs.FieldName(i).trimmed();
        names << rename.value(name.toUpper(), name);
    }
    int keyIndex = -1;
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(keyField, Qt::CaseInsensitive) == 0)
            keyIndex = i;
    }
    while (!rs.IsEof()) {
        auto cols = TQXCols::Create();
        for (int i = 0; i < names.size(); ++i) {
            cols->Add(rs.Value(i).trimmed(), names.at(i));
            QVNEvents::DoEvents();
        }
        if (!filter || filter(cols)) {
            if (keyField.isEmpty())
                rows->Add(cols);
            else
                rows->Add(cols, keyIndex >= 0 ? rs.Value(keyIndex).trimmed() : QString());
        }
        rs.MoveNext();
    }
    if (!rs.Errors().isEmpty()) {
        connectionLost = !IsConnected();
        for (const QString& line : rs.Errors())
            Exceptions.Add(line);
        NoteTimeout();
    }
    return rows;
}

TQXRowsPtr QVNDatabase::GetSchema(int schema, const QStringList& criteria)
{
    Exceptions.Clear();
    switch (schema) {
    case SchemaTables: {
        const QString catalog = Criterion(criteria, 0), schemaName = Criterion(criteria, 1),
                      table = Criterion(criteria, 2), type = Criterion(criteria, 3);
        // Read unkeyed: the same name in two schemas is two tables.
        TQXRowsPtr listed = ReadCatalog(
            [&](SQLHSTMT s) {
                return SQLTablesW(s, Arg(catalog), ArgLength(catalog), Arg(schemaName), ArgLength(schemaName),
                                  Arg(table), ArgLength(table), Arg(type), ArgLength(type));
            },
            QString(), TableRenames(), nullptr);
        const bool whole = catalog.isEmpty() && schemaName.isEmpty() && table.isEmpty() && type.isEmpty();
        if (whole) {
            m_tables.clear();
            m_firstOfName.clear();
            m_tableKeys.clear();
            ForgetCatalog();
        }
        TQXRowsPtr rows = KeyTables(listed);
        if (whole) {
            for (const TQXRowPtr& row : *rows) {
                const TableName name{row->Cols()->Text(QStringLiteral("TABLE_SCHEMA")),
                                     row->Cols()->Text(QStringLiteral("TABLE_NAME"))};
                m_tables.insert(row->Key(), name);
                if (!m_firstOfName.contains(name.object))
                    m_firstOfName.insert(name.object, name);
                m_tableKeys.insert(name.schema + QChar(0x1F) + name.object, row->Key());
            }
        }
        return rows;
    }
    case SchemaColumns: {
        TQXRowsPtr all = ColumnsOf(Criterion(criteria, 2));
        auto rows = TQXRows::Create();
        for (const TQXRowPtr& row : *all)
            rows->Add(row->Cols(), row->Key());
        return rows;
    }
    case SchemaPrimaryKeys: {
        const QString table = Criterion(criteria, 2);
        if (table.isEmpty()) {
            Exceptions.Add(QStringLiteral("Primary keys can only be read for a named table."));
            return TQXRows::Create();
        }
        TableName name = ResolveTable(table);
        if (!Criterion(criteria, 1).isEmpty())
            name = {Criterion(criteria, 1), table};
        return PrimaryKeysOf(name);
    }
    case SchemaForeignKeys: {
        const QString pkTable = Criterion(criteria, 2), fkTable = Criterion(criteria, 5);
        if (pkTable.isEmpty() && fkTable.isEmpty()) {
            Exceptions.Add(QStringLiteral("Foreign keys can only be read for a named table."));
            return TQXRows::Create();
        }
        if (pkTable.isEmpty()) {
            // The keys of one referencing table, one row per column (the first key reported wins).
            TableName name = ResolveTable(fkTable);
            if (!Criterion(criteria, 4).isEmpty())
                name = {Criterion(criteria, 4), fkTable};
            auto rows = TQXRows::Create();
            const TQXRowsPtr all = ForeignKeyRowsOf(name);
            for (const TQXRowPtr& row : *all)
                rows->Add(row->Cols(), row->Cols()->Text(QStringLiteral("FK_COLUMN_NAME")));
            return rows;
        }
        const TableName pk =
            Criterion(criteria, 1).isEmpty() ? ResolveTable(pkTable) : TableName{Criterion(criteria, 1), pkTable};
        TableName fk{Criterion(criteria, 4), fkTable};
        if (fk.schema.isEmpty() && !fkTable.isEmpty())
            fk = ResolveTable(fkTable);
        return ReadCatalog(
            [&](SQLHSTMT s) {
                return SQLForeignKeysW(s, nullptr, 0, Arg(pk.schema), ArgLength(pk.schema), Arg(pk.object),
                                       ArgLength(pk.object), nullptr, 0, Arg(fk.schema), ArgLength(fk.schema),
                                       Arg(fk.object), ArgLength(fk.object));
            },
            QStringLiteral("FK_COLUMN_NAME"), KeyRenames(), nullptr);
    }
    case SchemaIndexes: {
        // ODBC reads indexes per table; an index name is found by walking the tables.
        const QString indexName = Criterion(criteria, 2);
        const QString tableFilter = Criterion(criteria, 4);
        auto result = TQXRows::Create();
        QStringList tables;
        if (!tableFilter.isEmpty()) {
            tables << tableFilter;
        } else {
            const QString type = QStringLiteral("TABLE");
            TQXRowsPtr list = ReadCatalog(
                [&](SQLHSTMT s) {
                    return SQLTablesW(s, nullptr, 0, nullptr, 0, nullptr, 0, Odbc::Wide(type), ArgLength(type));
                },
                QString(), TableRenames(), nullptr);
            for (const TQXRowPtr& row : *list)
                tables << row->Cols()->Text(QStringLiteral("TABLE_NAME"));
        }
        for (const QString& key : tables) {
            const TableName table = ResolveTable(key);
            TQXRowsPtr part = ReadCatalog(
                [&](SQLHSTMT s) {
                    return SQLStatisticsW(s, nullptr, 0, Arg(table.schema), ArgLength(table.schema),
                                          Odbc::Wide(table.object), ArgLength(table.object), SQL_INDEX_ALL, SQL_QUICK);
                },
                QString(), KeyRenames(),
                [&](const TQXColsPtr& c) {
                    const QString name = c->Text(QStringLiteral("INDEX_NAME"));
                    return !name.isEmpty() && (indexName.isEmpty() || name == indexName);
                });
            for (const TQXRowPtr& row : *part)
                result->Add(row->Cols(), row->Cols()->Text(QStringLiteral("COLUMN_NAME")));
        }
        return result;
    }
    default:
        Exceptions.Add(QStringLiteral("Schema %1 is not supported.").arg(schema));
        return TQXRows::Create();
    }
}

TQXRowsPtr QVNDatabase::GetTables(const QString& tableType)
{
    return GetSchema(SchemaTables, {QString(), QString(), QString(), tableType});
}

TQXRowsPtr QVNDatabase::GetColumns1(const QString& tableName)
{
    return GetSchema(SchemaColumns, {QString(), QString(), tableName});
}

TQXRowsPtr QVNDatabase::GetPrimaryKeys(const QString& tableName)
{
    return GetSchema(SchemaPrimaryKeys, {QString(), QString(), tableName});
}

TQXRowsPtr QVNDatabase::GetForeignKeys(const QString& tableName)
{
    return GetSchema(SchemaForeignKeys, {QString(), QString(), QString(), QString(), QString(), tableName});
}

TQXRowsPtr QVNDatabase::GetForeignKeyRows(const QString& tableName)
{
    Exceptions.Clear();
    return ForeignKeyRowsOf(ResolveTable(tableName));
}

TQXRowsPtr QVNDatabase::GetIndexes(const QString& indexName)
{
    return GetSchema(SchemaIndexes, {QString(), QString(), indexName});
}

TQXRowsPtr QVNDatabase::PrimaryKeysOf(const TableName& name)
{
    bool lost = false;
    const TableName table = Qualified(name, lost);
    if (lost)
        return TQXRows::Create(); // the server stopped answering; the reason is in Exceptions
    if (const CachedTable* cached = Cached(table); cached && cached->primaryKeys)
        return cached->primaryKeys;
    if (TQXRowsPtr rows; Reader().KeyRows(false, {table}, nullptr, rows))
        return rows;
    TQXRowsPtr rows = ReadCatalog(
        [&](SQLHSTMT s) {
            return SQLPrimaryKeysW(s, nullptr, 0, Arg(table.schema), ArgLength(table.schema), Odbc::Wide(table.object),
                                   ArgLength(table.object));
        },
        QStringLiteral("COLUMN_NAME"), KeyRenames(), nullptr);
    return Reader().KeyOrder(table, rows);
}

TQXRowsPtr QVNDatabase::ForeignKeyRowsOf(const TableName& asked)
{
    bool lost = false;
    const TableName table = Qualified(asked, lost);
    if (lost)
        return TQXRows::Create(); // the server stopped answering; the reason is in Exceptions
    if (const CachedTable* cached = Cached(table); cached && cached->foreignKeyRows)
        return cached->foreignKeyRows;
    if (TQXRowsPtr rows; Reader().KeyRows(true, {table}, nullptr, rows))
        return rows;
    TQXRowsPtr rows = ReadCatalog(
        [&](SQLHSTMT s) {
            return SQLForeignKeysW(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, Arg(table.schema),
                                   ArgLength(table.schema), Odbc::Wide(table.object), ArgLength(table.object));
        },
        QString(), KeyRenames(), nullptr);
    // Every row names its constraint and the referenced table's key; a driver that names no
    // constraint starts a new one wherever the key sequence starts again.
    int number = 0;
    QString name;
    for (const TQXRowPtr& row : *rows) {
        const TQXColsPtr& cols = row->Cols();
        QString given = cols->Text(QStringLiteral("FK_NAME"));
        const QString ordinal = cols->Text(QStringLiteral("ORDINAL"));
        if (given.isEmpty()) {
            if (name.isEmpty() || ordinal.toInt() <= 1)
                name = table.object + QStringLiteral("_fk%1").arg(++number);
            given = name;
            if (const TQXColPtr c = cols->Item(QStringLiteral("FK_NAME")))
                c->SetValue(given);
            else
                cols->Add(given, QStringLiteral("FK_NAME"));
        }
        cols->Add(TableKey(cols->Text(QStringLiteral("PK_TABLE_SCHEMA")), cols->Text(QStringLiteral("PK_TABLE_NAME"))),
                  QStringLiteral("PK_TABLE_KEY"));
    }
    return rows;
}

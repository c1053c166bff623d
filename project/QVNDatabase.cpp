#include "QVNDatabase.h"

#include "QVNProgress.h"

#include <dlfcn.h>

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <iterator>

namespace {
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

/// A wide argument for a catalog function: null for "no restriction".
SQLWCHAR* Arg(const QString& s)
{
    return s.isEmpty() ? nullptr : Odbc::Wide(s);
}
SQLSMALLINT ArgLength(const QString& s)
{
    return s.isEmpty() ? 0 : static_cast<SQLSMALLINT>(s.size());
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
    if (extra && !extra->dbBase.isEmpty()) {
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

QString Flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

/// What the database itself says beyond the ODBC catalog (its own type name, identity and generated
/// columns): the last fields of both column records.
void AddOwnFacts(TQXCols& cols, const QVNDatabase::ColumnInfo& c)
{
    cols.Add(c.dbType, QStringLiteral("DB_TYPE"));
    cols.Add(c.dbBase, QStringLiteral("DB_BASE"));
    cols.Add(c.dbKind, QStringLiteral("DB_KIND"));
    cols.Add(Flag(c.identity), QStringLiteral("IS_IDENTITY"));
    cols.Add(Flag(c.generated), QStringLiteral("IS_GENERATED"));
    cols.Add(c.genExpr, QStringLiteral("GENERATION_EXPRESSION"));
    cols.Add(Flag(c.unbounded), QStringLiteral("UNBOUNDED"));
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
        return ColumnRecords(table, cached->columns, cached->extras, true);
    // The table argument of SQLColumns is a search pattern ("_" matches any character), so the
    // rows are filtered to the exact name afterwards.
    const std::vector<ColumnFacts> raw = ReadColumnFacts(table.schema, table.object, [&](const ColumnFacts& f) {
        return f.table == table.object && (table.schema.isEmpty() || f.schema == table.schema);
    });
    if (raw.empty())
        return IsConnected() ? DescribeColumnsBySelect(tableName) : std::vector<ColumnInfo>();
    if (Kind() == Dbms::SQLite)
        return ColumnRecords(table, CompleteSqliteColumns(table, raw), ColumnExtras({table}));
    return ColumnRecords(table, raw, ColumnExtras({table}));
}

TQXRowsPtr QVNDatabase::PrimaryKeysOf(const TableName& name)
{
    bool lost = false;
    const TableName table = Qualified(name, lost);
    if (lost)
        return TQXRows::Create(); // the server stopped answering; the reason is in Exceptions
    if (const CachedTable* cached = Cached(table); cached && cached->primaryKeys)
        return cached->primaryKeys;
    if (Kind() == Dbms::PostgreSQL) {
        bool ok = false;
        TQXRowsPtr rows = PgKeyRows(false, {table}, nullptr, ok);
        if (ok)
            return rows;
    }
    TQXRowsPtr rows = ReadCatalog(
        [&](SQLHSTMT s) {
            return SQLPrimaryKeysW(s, nullptr, 0, Arg(table.schema), ArgLength(table.schema), Odbc::Wide(table.object),
                                   ArgLength(table.object));
        },
        QStringLiteral("COLUMN_NAME"), KeyRenames(), nullptr);
    return Kind() == Dbms::SQLite ? SqliteKeyOrder(table, rows) : rows;
}

TQXRowsPtr QVNDatabase::ForeignKeyRowsOf(const TableName& asked)
{
    bool lost = false;
    const TableName table = Qualified(asked, lost);
    if (lost)
        return TQXRows::Create(); // the server stopped answering; the reason is in Exceptions
    if (const CachedTable* cached = Cached(table); cached && cached->foreignKeyRows)
        return cached->foreignKeyRows;
    if (Kind() == Dbms::PostgreSQL) {
        bool ok = false;
        TQXRowsPtr rows = PgKeyRows(true, {table}, nullptr, ok);
        if (ok)
            return rows;
    }
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

std::vector<QVNDatabase::ColumnFacts> QVNDatabase::CompleteSqliteColumns(const TableName& table,
                                                                         const std::vector<ColumnFacts>& raw)
{
    // The SQLite driver lists a table's columns from the pragma that leaves generated columns
    // out; the extended pragma has them, in their place.
    bool ok = false;
    const auto rows =
        SelectTexts(QStringLiteral("select name, type, \"notnull\", dflt_value from pragma_table_xinfo('%1')")
                        .arg(QString(table.object).replace(QLatin1Char('\''), QLatin1String("''"))),
                    ok);
    if (!ok || rows.size() <= raw.size())
        return raw;
    std::vector<ColumnFacts> result;
    result.reserve(rows.size());
    for (const QStringList& r : rows) {
        const auto listed =
            std::find_if(raw.begin(), raw.end(), [&](const ColumnFacts& f) { return f.name == r.at(0); });
        if (listed != raw.end()) {
            result.push_back(*listed);
            continue;
        }
        ColumnFacts f;
        f.catalog = raw.front().catalog;
        f.schema = raw.front().schema;
        f.table = raw.front().table;
        f.name = r.at(0);
        f.typeName = r.at(1);
        // The column's type by SQLite's own affinity rules.
        const QString t = r.at(1).toUpper();
        if (t.contains(QLatin1String("INT")))
            f.sqlType = t.startsWith(QLatin1String("BIGINT")) ? SQL_BIGINT : SQL_INTEGER;
        else if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB")) ||
                 t.contains(QLatin1String("TEXT")))
            f.sqlType = SQL_VARCHAR;
        else if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
                 t.contains(QLatin1String("DOUB")))
            f.sqlType = SQL_DOUBLE;
        else if (t.contains(QLatin1String("BLOB")) || t.isEmpty())
            f.sqlType = SQL_LONGVARBINARY;
        else
            f.sqlType = SQL_NUMERIC;
        f.nullable = r.at(2) == QLatin1String("1") ? SQL_NO_NULLS : SQL_NULLABLE;
        f.defaultValue = r.at(3);
        f.ordinal = QString::number(result.size() + 1);
        result.push_back(std::move(f));
    }
    return result;
}

std::vector<QVNDatabase::ColumnInfo> QVNDatabase::ColumnRecords(const TableName& table,
                                                                const std::vector<ColumnFacts>& raw,
                                                                const QHash<QString, ColumnExtra>& extras, bool byName)
{
    std::vector<ColumnInfo> result;
    result.reserve(raw.size());
    QString key = byName ? QString() : table.schema + QChar(0x1F) + table.object + QChar(0x1F);
    const qsizetype prefix = key.size();
    // psqlodbc numbers the rows of its answer, not the columns of each table: a whole schema, or a
    // table whose name as a search pattern also matches tables listed before it, starts past 1.
    const bool renumber = Kind() == Dbms::PostgreSQL;
    for (const ColumnFacts& f : raw) {
        if (!byName) {
            key.truncate(prefix);
            key += f.name;
        }
        const auto extra = extras.constFind(byName ? f.name : key);
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

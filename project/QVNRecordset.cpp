#include "QVNRecordset.h"

#include "OdbcWatchdog.h"

QVNRecordset::QVNRecordset(OdbcStatement statement, OdbcWatchdog* watchdog, int timeoutSeconds)
    : m_statement(std::move(statement)), m_watchdog(watchdog), m_timeout(timeoutSeconds)
{
    if (!m_statement)
        return;
    SQLHSTMT stmt = m_statement.get();
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &count))) {
        m_errors = Odbc::Diagnostics(SQL_HANDLE_STMT, stmt);
        return;
    }
    m_fields.resize(count);
    for (SQLSMALLINT i = 0; i < count; ++i) {
        SQLWCHAR name[512] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        SQLDescribeColW(stmt, i + 1, name, 512, &nameLength, &type, &size, &digits, &nullable);
        Field& f = m_fields[i];
        f.name = Odbc::FromWide(name, std::min<SQLSMALLINT>(nameLength, 511));
        f.sqlType = type;
        f.columnSize = static_cast<qint64>(size);
        f.decimalDigits = digits;
        f.nullable = nullable;
        SQLWCHAR typeName[256] = {};
        SQLSMALLINT typeLength = 0;
        if (SQL_SUCCEEDED(
                SQLColAttributeW(stmt, i + 1, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeLength, nullptr)))
            f.typeName = Odbc::FromWide(typeName, std::min<qsizetype>(typeLength / sizeof(SQLWCHAR), 255));
    }
    m_values.resize(count);
    m_nulls.assign(count, true);
    ReadOnlyFields({});
    if (count > 0)
        Fetch();
}

int QVNRecordset::FieldIndex(const QString& name) const
{
    const QString wanted = name.trimmed();
    for (int i = 0; i < FieldCount(); ++i) {
        if (m_fields[i].name.trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool QVNRecordset::MoveNext()
{
    if (m_eof || !m_statement)
        return false;
    return Fetch();
}

void QVNRecordset::Close()
{
    if (m_statement)
        SQLCloseCursor(m_statement.get());
    m_statement.reset();
    m_eof = true;
}

bool QVNRecordset::Fetch()
{
    SQLRETURN rc;
    {
        if (m_watchdog)
            m_watchdog->Arm(m_timeout);
        rc = SQLFetch(m_statement.get());
        if (m_watchdog)
            m_watchdog->Disarm();
    }
    if (rc == SQL_NO_DATA) {
        m_eof = true;
        return false;
    }
    if (!SQL_SUCCEEDED(rc)) {
        m_errors = Odbc::Diagnostics(SQL_HANDLE_STMT, m_statement.get());
        if (m_errors.isEmpty())
            m_errors << QStringLiteral("reading the next record failed");
        m_eof = true;
        return false;
    }
    m_eof = false;
    for (const int i : m_read) {
        if (!ReadValue(i)) {
            m_eof = true;
            return false;
        }
    }
    return true;
}

void QVNRecordset::ReadOnlyFields(const std::vector<int>& fields)
{
    m_read.clear();
    std::vector<bool> wanted(m_fields.size(), fields.empty());
    for (const int i : fields) {
        if (i >= 0 && i < FieldCount())
            wanted[i] = true;
    }
    // In ascending order: drivers need not return fields out of order.
    for (int i = 0; i < FieldCount(); ++i) {
        if (wanted[i])
            m_read.push_back(i);
        else {
            m_values[i] = QString();
            m_nulls[i] = true;
        }
    }
}

bool QVNRecordset::ReadValue(int index)
{
    // Read in pieces: long texts arrive in as many chunks as the driver needs. The first piece
    // goes straight into the field's text, whose storage is reused from record to record while
    // nobody else holds it.
    constexpr SQLLEN chunkChars = 2048;
    SQLWCHAR buffer[chunkChars + 1];
    QString& value = m_values[index];
    if (value.isDetached())
        value.resize(0);
    else
        value = QString();
    bool isNull = false;
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(m_statement.get(), index + 1, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc)) {
            m_errors = Odbc::Diagnostics(SQL_HANDLE_STMT, m_statement.get());
            if (m_errors.isEmpty())
                m_errors << QStringLiteral("reading field %1 failed").arg(m_fields[index].name);
            value = QString();
            m_nulls[index] = false;
            return false;
        }
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            break;
        }
        SQLLEN chars;
        if (indicator == SQL_NO_TOTAL || indicator / SQLLEN(sizeof(SQLWCHAR)) > chunkChars)
            chars = chunkChars; // a full piece; more follows
        else
            chars = indicator / SQLLEN(sizeof(SQLWCHAR));
        value.append(reinterpret_cast<const QChar*>(buffer), chars);
        if (rc == SQL_SUCCESS)
            break;
        // SQL_SUCCESS_WITH_INFO: truncated piece (01004), ask again for the rest.
        if (indicator != SQL_NO_TOTAL && indicator / SQLLEN(sizeof(SQLWCHAR)) <= chunkChars)
            break;
    }
    m_nulls[index] = isNull;
    return true;
}

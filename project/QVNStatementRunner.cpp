#include "QVNStatementRunner.h"

#include "QVNRecordset.h"

namespace {
constexpr int kPublishEvery = 256; // rows read before the caller is told of them

bool Ended(QVNStatementRunner::Phase p)
{
    using P = QVNStatementRunner::Phase;
    return p == P::Done || p == P::Failed || p == P::Canceled;
}

QString DriverName(const QString& connectString)
{
    for (const QString& part : connectString.split(QLatin1Char(';'))) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq > 0 && part.left(eq).trimmed().compare(QLatin1String("DRIVER"), Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1).trimmed();
    }
    return QString();
}
} // namespace

QVNStatementRunner::~QVNStatementRunner()
{
    Cancel();
    if (m_thread.joinable())
        m_thread.join();
}

QString QVNStatementRunner::StreamingConnectString(const QString& connectString)
{
    QString cs = connectString.trimmed();
    while (cs.endsWith(QLatin1Char(';')))
        cs.chop(1);
    const QString driver = DriverName(cs);
    // psqlODBC reads a whole result into memory unless it declares a cursor and fetches from it
    // in pieces; the SQLite driver does the same unless it steps through the statement.
    if (driver.contains(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) ||
        driver.contains(QLatin1String("psql"), Qt::CaseInsensitive))
        cs += QStringLiteral(";UseDeclareFetch=1;Fetch=1000");
    else if (driver.contains(QLatin1String("SQLite"), Qt::CaseInsensitive))
        cs += QStringLiteral(";StepAPI=1");
    else if (cs.contains(QLatin1String("DSN="), Qt::CaseInsensitive))
        cs += QStringLiteral(";UseDeclareFetch=1;Fetch=1000"); // a data source: harmless where unknown
    return cs;
}

void QVNStatementRunner::Start(const QString& connectString, const QString& sql, int loginTimeoutSeconds,
                               Consumer consumer)
{
    if (m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_phase = Phase::Connecting;
        m_clock.start();
    }
    m_thread = std::thread([this, connectString, sql, loginTimeoutSeconds, consumer = std::move(consumer)] {
        Run(connectString, sql, loginTimeoutSeconds, consumer);
    });
}

void QVNStatementRunner::RequestRows(int count)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_phase != Phase::Open)
            return;
        m_wanted += count;
    }
    m_wake.notify_all();
}

void QVNStatementRunner::Cancel()
{
    m_cancel = true;
    {
        std::lock_guard lock(m_mutex);
        // Under the lock: the worker frees the statement only after clearing m_running.
        if (m_running != SQL_NULL_HANDLE)
            SQLCancel(m_running);
    }
    m_wake.notify_all();
}

bool QVNStatementRunner::WaitIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return Ended(m_phase) || (m_phase == Phase::Open && m_wanted == 0) || m_phase == Phase::Idle;
    });
}

QVNStatementRunner::Status QVNStatementRunner::CurrentStatus() const
{
    std::lock_guard lock(m_mutex);
    Status s;
    s.phase = m_phase;
    s.rowsRead = m_rowsRead;
    s.rowsAffected = m_affected;
    s.elapsedMs = m_elapsedMs >= 0 ? m_elapsedMs : (m_clock.isValid() ? m_clock.elapsed() : 0);
    s.errors = m_errors;
    return s;
}

QStringList QVNStatementRunner::Headings() const
{
    std::lock_guard lock(m_mutex);
    return m_headings;
}

std::vector<bool> QVNStatementRunner::NumericFields() const
{
    std::lock_guard lock(m_mutex);
    return m_numeric;
}

std::vector<QVNStatementRunner::Row> QVNStatementRunner::TakeRows()
{
    std::lock_guard lock(m_mutex);
    std::vector<Row> rows;
    rows.swap(m_pending);
    return rows;
}

bool QVNStatementRunner::Reading() const
{
    std::lock_guard lock(m_mutex);
    return m_phase == Phase::Open && m_wanted > 0;
}

bool QVNStatementRunner::IsNumericType(int sqlType)
{
    switch (sqlType) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_BIGINT:
    case SQL_TINYINT:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return true;
    default:
        return false;
    }
}

void QVNStatementRunner::Changed()
{
    m_wake.notify_all();
    if (m_notify)
        m_notify();
}

void QVNStatementRunner::SetPhase(Phase phase)
{
    {
        std::lock_guard lock(m_mutex);
        m_phase = phase;
    }
    Changed();
}

void QVNStatementRunner::Finish(Phase phase, const QStringList& errors)
{
    {
        std::lock_guard lock(m_mutex);
        m_phase = phase;
        m_errors = errors;
        m_elapsedMs = m_clock.elapsed();
    }
    Changed();
}

void QVNStatementRunner::Run(QString connectString, QString sql, int loginTimeout, Consumer consumer)
{
    SQLHENV env = Odbc::Environment();
    if (!env) {
        Finish(Phase::Failed, {QStringLiteral("The ODBC driver manager gives no environment")});
        return;
    }
    SQLHDBC rawDbc = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &rawDbc))) {
        Finish(Phase::Failed, {QStringLiteral("No connection handle could be allocated")});
        return;
    }
    // The deleter disconnects only a handle that connected; the statement below is freed first.
    OdbcConnection dbc(rawDbc);
    SQLSetConnectAttr(rawDbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(loginTimeout)), 0);
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    SQLRETURN rc =
        SQLDriverConnectW(rawDbc, nullptr, Odbc::Wide(connectString), static_cast<SQLSMALLINT>(connectString.size()),
                          out, 1024, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        QStringList errors = Odbc::Diagnostics(SQL_HANDLE_DBC, rawDbc);
        if (errors.isEmpty())
            errors << QStringLiteral("The database could not be reached");
        Finish(m_cancel ? Phase::Canceled : Phase::Failed, errors);
        return;
    }
    SQLHSTMT rawStmt = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, rawDbc, &rawStmt))) {
        Finish(Phase::Failed, Odbc::Diagnostics(SQL_HANDLE_DBC, rawDbc));
        return;
    }
    OdbcStatement stmt(rawStmt);
    {
        std::lock_guard lock(m_mutex);
        m_running = rawStmt;
        m_phase = Phase::Executing;
    }
    Changed();
    // Forgets the running statement before it is freed, so a late Cancel never reaches a freed handle.
    auto release = [this] {
        std::lock_guard lock(m_mutex);
        m_running = SQL_NULL_HANDLE;
    };
    if (m_cancel) {
        release();
        Finish(Phase::Canceled, {});
        return;
    }
    rc = SQLExecDirectW(rawStmt, Odbc::Wide(sql), static_cast<SQLINTEGER>(sql.size()));
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
        QStringList errors = Odbc::Diagnostics(SQL_HANDLE_STMT, rawStmt);
        release();
        if (m_cancel) {
            Finish(Phase::Canceled, {});
            return;
        }
        if (errors.isEmpty())
            errors << QStringLiteral("The statement failed");
        Finish(Phase::Failed, errors);
        return;
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(rawStmt, &columns);
    if (columns == 0) {
        SQLLEN affected = -1;
        if (rc == SQL_NO_DATA)
            affected = 0;
        else if (!SQL_SUCCEEDED(SQLRowCount(rawStmt, &affected)))
            affected = -1;
        release();
        {
            std::lock_guard lock(m_mutex);
            m_affected = affected;
        }
        Finish(m_cancel ? Phase::Canceled : Phase::Done, {});
        return;
    }
    QVNRecordset rs(std::move(stmt));
    if (consumer) {
        QStringList errors;
        const bool ok = consumer(rs, m_cancel, errors);
        release();
        rs.Close();
        Finish(m_cancel ? Phase::Canceled : ok ? Phase::Done : Phase::Failed, errors);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        for (int i = 0; i < rs.FieldCount(); ++i) {
            m_headings << rs.FieldName(i).trimmed();
            m_numeric.push_back(IsNumericType(rs.FieldInfo(i).sqlType));
        }
        m_phase = Phase::Open;
    }
    Changed();
    const int fields = rs.FieldCount();
    std::vector<Row> batch;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_wanted > 0 || m_cancel; });
        }
        if (m_cancel)
            break;
        qint64 wanted;
        {
            std::lock_guard lock(m_mutex);
            wanted = m_wanted;
        }
        while (wanted > 0 && !rs.IsEof() && !m_cancel) {
            Row row;
            row.reserve(fields);
            for (int i = 0; i < fields; ++i) {
                if (rs.IsNull(i))
                    row << QString();
                else {
                    const QString v = rs.Value(i);
                    row << (v.isEmpty() ? QStringLiteral("") : v);
                }
            }
            batch.push_back(std::move(row));
            --wanted;
            rs.MoveNext();
            if (batch.size() >= kPublishEvery || wanted == 0 || rs.IsEof()) {
                {
                    std::lock_guard lock(m_mutex);
                    m_rowsRead += qint64(batch.size());
                    m_wanted = std::max<qint64>(0, m_wanted - qint64(batch.size()));
                    for (Row& r : batch)
                        m_pending.push_back(std::move(r));
                }
                batch.clear();
                Changed();
            }
        }
        if (rs.IsEof() || m_cancel)
            break;
    }
    QStringList errors = rs.Errors();
    release();
    const bool canceled = m_cancel && !rs.IsEof();
    rs.Close();
    if (canceled)
        errors.clear(); // the driver's "cancelled" text is what the caller asked for
    Finish(canceled ? Phase::Canceled : errors.isEmpty() ? Phase::Done : Phase::Failed, errors);
}

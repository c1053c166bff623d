#include "OdbcHandle.h"

namespace Odbc {
SQLHENV Environment()
{
    // Allocated once; the driver manager keeps it for the whole process. Created lazily so a
    // program that never touches a database never loads the driver manager's state.
    static OdbcHandle<SQL_HANDLE_ENV> environment = [] {
        SQLHENV env = SQL_NULL_HENV;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
            return OdbcHandle<SQL_HANDLE_ENV>();
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return OdbcHandle<SQL_HANDLE_ENV>(env);
    }();
    return environment.get();
}

QStringList Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    QStringList lines;
    if (handle == SQL_NULL_HANDLE)
        return lines;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER nativeError = 0;
        SQLSMALLINT length = 0;
        SQLWCHAR probe[1] = {};
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, record, state, &nativeError, probe, 1, &length);
        if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc))
            break;
        std::unique_ptr<SQLWCHAR[]> message(new SQLWCHAR[length + 1]());
        rc = SQLGetDiagRecW(handleType, handle, record, state, &nativeError, message.get(), length + 1, &length);
        if (!SQL_SUCCEEDED(rc))
            break;
        QString text = FromWide(message.get(), length).trimmed();
        if (text.isEmpty())
            text = QStringLiteral("SQLSTATE ") + FromWide(state, 5);
        lines << text;
    }
    return lines;
}
} // namespace Odbc

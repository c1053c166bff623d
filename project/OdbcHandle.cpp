#include "OdbcHandle.h"

#include <langinfo.h>

#include <clocale>
#include <cstring>

namespace Odbc {
SQLHENV Environment()
{
    // Allocated once; the driver manager keeps it for the whole process. Created lazily so a
    // program that never touches a database never loads the driver manager's state.
    static OdbcHandle<SQL_HANDLE_ENV> environment = [] {
        // The driver manager converts between the wide calls and drivers that only speak bytes
        // (the SQLite driver) through the process's character type. The program's bytes are
        // UTF-8, so the character type must be too, or every non-ASCII name and value would be
        // mangled on its way to such a driver.
        const char* codeset = nl_langinfo(CODESET);
        if (!codeset || std::strcmp(codeset, "UTF-8") != 0)
            std::setlocale(LC_CTYPE, "C.UTF-8");
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
    // A bounded walk over the records: some drivers repeat their last record for any higher number.
    for (SQLSMALLINT record = 1; record <= 16; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER nativeError = 0;
        SQLSMALLINT length = 0;
        SQLWCHAR message[4096] = {};
        const SQLRETURN rc = SQLGetDiagRecW(handleType, handle, record, state, &nativeError, message, 4096, &length);
        if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc))
            break;
        QString text = FromWide(message, std::min<SQLSMALLINT>(length, 4095)).trimmed();
        if (text.isEmpty())
            text = QStringLiteral("SQLSTATE ") + FromWide(state, 5);
        if (lines.contains(text))
            break;
        lines << text;
    }
    return lines;
}
} // namespace Odbc

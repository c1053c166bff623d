#pragma once

#include <sql.h>
#include <sqlext.h>

#include <QString>
#include <QStringList>

#include <memory>

/**
 * RAII ownership of ODBC handles. Every handle the project layer allocates lives in one of these
 * move-only wrappers, so an early return or a failed step can never leak a statement or leave a
 * connection open. The deleters are stateless.
 */
template <SQLSMALLINT HandleType> struct OdbcHandleDeleter
{
    void operator()(SQLHANDLE handle) const noexcept
    {
        if (handle != SQL_NULL_HANDLE)
            SQLFreeHandle(HandleType, handle);
    }
};

/// A connection is disconnected (a no-op when it never connected) before its handle is freed.
struct OdbcConnectionDeleter
{
    void operator()(SQLHANDLE handle) const noexcept
    {
        if (handle != SQL_NULL_HANDLE) {
            SQLDisconnect(handle);
            SQLFreeHandle(SQL_HANDLE_DBC, handle);
        }
    }
};

template <SQLSMALLINT HandleType> using OdbcHandle = std::unique_ptr<void, OdbcHandleDeleter<HandleType>>;
using OdbcStatement = OdbcHandle<SQL_HANDLE_STMT>;
using OdbcConnection = std::unique_ptr<void, OdbcConnectionDeleter>;

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the ODBC wide character must be UTF-16");

namespace Odbc {
/// The process-wide ODBC 3 environment, created on first use and kept until the program ends.
/// Null when the driver manager cannot give one (reported by the caller).
SQLHENV Environment();

/// Texts cross the ODBC boundary as UTF-16 through the wide entry points, so names and values in
/// any language survive whatever the process locale is.
inline SQLWCHAR* Wide(const QString& text)
{
    return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(reinterpret_cast<const char16_t*>(text.utf16())));
}
inline QString FromWide(const SQLWCHAR* text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}
/// A wide argument for a catalog function: null for "no restriction".
inline SQLWCHAR* Arg(const QString& s)
{
    return s.isEmpty() ? nullptr : Wide(s);
}
inline SQLSMALLINT ArgLength(const QString& s)
{
    return s.isEmpty() ? 0 : static_cast<SQLSMALLINT>(s.size());
}

/// The driver's own diagnostic texts for the handle, one entry per record, in record order.
QStringList Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);
} // namespace Odbc

#include "QVNOdbcSources.h"

#include "OdbcHandle.h"
#include "QVNConnectionString.h"
#include "QVNDatabase.h"

#include <QRegularExpression>
#include <QSet>

namespace {

QString ReadName(const SQLWCHAR* buffer, SQLSMALLINT length)
{
    return Odbc::FromWide(buffer, std::max<SQLSMALLINT>(0, length));
}

/// Words that need quoting as identifiers in every common dialect.
bool IsReserved(const QString& word)
{
    static const QSet<QString> words = {
        QStringLiteral("all"),     QStringLiteral("and"),    QStringLiteral("as"),      QStringLiteral("by"),
        QStringLiteral("case"),    QStringLiteral("check"),  QStringLiteral("column"),  QStringLiteral("create"),
        QStringLiteral("default"), QStringLiteral("delete"), QStringLiteral("desc"),    QStringLiteral("distinct"),
        QStringLiteral("drop"),    QStringLiteral("from"),   QStringLiteral("group"),   QStringLiteral("having"),
        QStringLiteral("in"),      QStringLiteral("index"),  QStringLiteral("insert"),  QStringLiteral("into"),
        QStringLiteral("is"),      QStringLiteral("join"),   QStringLiteral("key"),     QStringLiteral("like"),
        QStringLiteral("limit"),   QStringLiteral("not"),    QStringLiteral("null"),    QStringLiteral("on"),
        QStringLiteral("or"),      QStringLiteral("order"),  QStringLiteral("primary"), QStringLiteral("references"),
        QStringLiteral("select"),  QStringLiteral("set"),    QStringLiteral("table"),   QStringLiteral("to"),
        QStringLiteral("union"),   QStringLiteral("unique"), QStringLiteral("update"),  QStringLiteral("user"),
        QStringLiteral("values"),  QStringLiteral("view"),   QStringLiteral("where"),   QStringLiteral("with"),
    };
    return words.contains(word.toLower());
}

QString QuotePart(const QString& part, const QString& quote)
{
    static const QRegularExpression plain(QStringLiteral("^[a-z_][a-z0-9_]*$"));
    if (quote.isEmpty() || (plain.match(part).hasMatch() && !IsReserved(part)))
        return part;
    return quote + QString(part).replace(quote, quote + quote) + quote;
}

} // namespace

QStringList QVNOdbcSources::Drivers()
{
    QStringList drivers;
    SQLHENV env = Odbc::Environment();
    if (!env)
        return drivers;
    SQLWCHAR name[512];
    SQLWCHAR attributes[2048];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDriversW(env, direction, name, 512, &nameLength, attributes, 2048, &attributesLength))) {
        drivers << ReadName(name, nameLength);
        direction = SQL_FETCH_NEXT;
    }
    return drivers;
}

QList<QVNOdbcSources::DataSource> QVNOdbcSources::DataSources()
{
    QList<DataSource> sources;
    SQLHENV env = Odbc::Environment();
    if (!env)
        return sources;
    SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLWCHAR description[512];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDataSourcesW(env, direction, name, SQL_MAX_DSN_LENGTH + 1, &nameLength, description, 512,
                                         &descriptionLength))) {
        sources.append({ReadName(name, nameLength), ReadName(description, descriptionLength)});
        direction = SQL_FETCH_NEXT;
    }
    return sources;
}

QVNOdbcSources::DriverKind QVNOdbcSources::KindOf(const QString& driverName)
{
    return driverName.contains(QLatin1String("sqlite"), Qt::CaseInsensitive) ? DriverKind::File : DriverKind::Server;
}

bool QVNOdbcSources::TestConnect(const QString& connectString, const QString& user, const QString& password,
                                 int loginTimeout, QString& message)
{
    message.clear();
    QVNConnectionString parsed;
    if (!parsed.Parse(connectString)) {
        message = parsed.Error();
        return false;
    }
    // The same connection string the project builds: user and password joined only when given.
    QString full = parsed.Build();
    if (!user.isEmpty())
        full += QStringLiteral("UID=") + QVNConnectionString::Quote(QStringLiteral("UID"), user) + QLatin1Char(';');
    if (!password.isEmpty())
        full += QStringLiteral("PWD=") + QVNConnectionString::Quote(QStringLiteral("PWD"), password) + QLatin1Char(';');

    // QVNDatabase brings the driver manager's text conversions for byte-only drivers; this object
    // is private to the call, so the call may run on a worker thread.
    QVNDatabase database;
    database.ConnectionTimeout = loginTimeout;
    if (!database.ConnectToServer(full)) {
        message = database.Exceptions.ToString().trimmed();
        if (message.isEmpty())
            message = QStringLiteral("The driver refused the connection without saying why");
        return false;
    }
    SQLHDBC raw = database.Connection();
    SQLWCHAR text[256];
    SQLSMALLINT length = 0;
    QString product;
    if (raw && SQL_SUCCEEDED(SQLGetInfoW(raw, SQL_DBMS_NAME, text, sizeof text, &length)))
        product = Odbc::FromWide(text, length / static_cast<SQLSMALLINT>(sizeof(SQLWCHAR)));
    if (raw && SQL_SUCCEEDED(SQLGetInfoW(raw, SQL_DBMS_VER, text, sizeof text, &length)))
        product += QLatin1Char(' ') + Odbc::FromWide(text, length / static_cast<SQLSMALLINT>(sizeof(SQLWCHAR)));
    message = product.trimmed();
    database.DisConnectFromServer();
    return true;
}

QString QVNOdbcSources::IdentifierQuote(SQLHDBC connection)
{
    if (!connection)
        return QString();
    SQLWCHAR text[8];
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(connection, SQL_IDENTIFIER_QUOTE_CHAR, text, sizeof text, &length)))
        return QString();
    const QString quote = Odbc::FromWide(text, length / static_cast<SQLSMALLINT>(sizeof(SQLWCHAR))).trimmed();
    return quote;
}

QString QVNOdbcSources::QuoteTableName(const QString& name, const QString& quote, const QString& schema)
{
    const QString table = QuotePart(name.trimmed(), quote);
    if (schema.trimmed().isEmpty())
        return table;
    return QuotePart(schema.trimmed(), quote) + QLatin1Char('.') + table;
}

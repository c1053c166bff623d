#include "QVNConnectionString.h"

#include "QVNDatabase.h"

bool QVNConnectionString::Parse(const QString& text)
{
    m_entries.clear();
    m_error.clear();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // A pair is KEY=VALUE up to the next ";" outside braces; empty pieces (";;") are skipped.
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            const QString lone = text.mid(i, semi < 0 ? n - i : semi - i).trimmed();
            if (!lone.isEmpty())
                m_entries.append({lone, QString()});
            if (semi < 0)
                break;
            i = semi + 1;
            continue;
        }
        Entry entry;
        entry.key = text.mid(i, eq - i).trimmed();
        qsizetype j = eq + 1;
        while (j < n && text[j] == QLatin1Char(' '))
            ++j;
        if (j < n && text[j] == QLatin1Char('{')) {
            QString value;
            qsizetype k = j + 1;
            bool closed = false;
            while (k < n) {
                if (text[k] == QLatin1Char('}')) {
                    if (k + 1 < n && text[k + 1] == QLatin1Char('}')) {
                        value += QLatin1Char('}');
                        k += 2;
                        continue;
                    }
                    closed = true;
                    ++k;
                    break;
                }
                value += text[k++];
            }
            if (!closed) {
                m_error = QStringLiteral("The value of \"%1\" opens a brace that is never closed").arg(entry.key);
                return false;
            }
            entry.value = value;
            const qsizetype next = text.indexOf(QLatin1Char(';'), k);
            m_entries.append(entry);
            if (next < 0)
                break;
            i = next + 1;
        } else {
            const qsizetype end = semi < 0 ? n : semi;
            entry.value = text.mid(eq + 1, end - eq - 1).trimmed();
            m_entries.append(entry);
            if (semi < 0)
                break;
            i = semi + 1;
        }
    }
    return true;
}

QString QVNConnectionString::Quote(const QString& key, const QString& value)
{
    if (key.compare(QLatin1String("DRIVER"), Qt::CaseInsensitive) != 0)
        return QVNDatabase::QuoteConnectionValue(value);
    // A driver's name is always braced.
    QString escaped = value;
    escaped.replace(QLatin1String("}"), QLatin1String("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

QString QVNConnectionString::Build() const
{
    QString text;
    for (const Entry& entry : m_entries) {
        if (entry.key.isEmpty())
            continue;
        text += entry.key + QLatin1Char('=') + Quote(entry.key, entry.value) + QLatin1Char(';');
    }
    return text;
}

int QVNConnectionString::IndexOf(const QString& key) const
{
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].key.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString QVNConnectionString::Value(const QString& key) const
{
    const int i = IndexOf(key);
    return i < 0 ? QString() : m_entries[i].value;
}

void QVNConnectionString::SetValue(const QString& key, const QString& value)
{
    const int i = IndexOf(key);
    if (value.isEmpty()) {
        Remove(key);
        return;
    }
    if (i >= 0)
        m_entries[i].value = value;
    else
        m_entries.append({key, value});
}

void QVNConnectionString::Remove(const QString& key)
{
    for (int i = m_entries.size() - 1; i >= 0; --i)
        if (m_entries[i].key.compare(key, Qt::CaseInsensitive) == 0)
            m_entries.removeAt(i);
}

QString QVNConnectionString::Describe(const QString& text)
{
    QVNConnectionString s;
    s.Parse(text);
    auto first = [&s](std::initializer_list<const char*> keys) {
        for (const char* key : keys) {
            const QString value = s.Value(QString::fromLatin1(key)).trimmed();
            if (!value.isEmpty())
                return value;
        }
        return QString();
    };
    const QString dsn = first({"DSN"});
    const QString database = first({"Database", "DBQ", "DB"});
    QString server = first({"Server", "Servername", "Host"});
    const QString socket = first({"Socket"});
    const QString port = first({"Port"});
    if (server.isEmpty())
        server = socket;
    else if (!port.isEmpty())
        server += QLatin1Char(':') + port;
    if (!server.isEmpty())
        return database.isEmpty() ? server : database + QStringLiteral(" @ ") + server;
    if (!database.isEmpty())
        return database.contains(QLatin1Char('/')) ? database.mid(database.lastIndexOf(QLatin1Char('/')) + 1)
                                                   : database;
    if (!dsn.isEmpty())
        return dsn;
    return first({"DRIVER"});
}

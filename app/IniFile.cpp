#include "IniFile.h"

#include "TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>

namespace {

bool isHeader(const QString& trimmed, QString* name)
{
    if (trimmed.size() < 2 || !trimmed.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
    if (close < 0)
        return false;
    if (name)
        *name = trimmed.mid(1, close - 1).trimmed();
    return true;
}

struct CacheEntry
{
    std::filesystem::file_time_type stamp;
    std::uintmax_t size = 0;
    std::shared_ptr<const IniFile> file;
};

} // namespace

IniFile IniFile::Load(const QString& path)
{
    IniFile ini;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return ini;
    const QByteArray bytes = f.readAll();
    ini.m_exists = true;
    ini.parse(TextCodec::Decode(bytes, &ini.m_encoding));
    return ini;
}

std::shared_ptr<const IniFile> IniFile::Cached(const QString& path)
{
    static QHash<QString, CacheEntry> cache;
    std::error_code ec;
    const std::filesystem::path p(path.toStdString());
    const auto stamp = std::filesystem::last_write_time(p, ec);
    if (ec) {
        cache.remove(path);
        static const auto missing = std::make_shared<const IniFile>();
        return missing;
    }
    const auto size = std::filesystem::file_size(p, ec);
    const auto it = cache.constFind(path);
    if (it != cache.constEnd() && it->stamp == stamp && it->size == size)
        return it->file;
    auto file = std::make_shared<const IniFile>(Load(path));
    cache.insert(path, CacheEntry{stamp, ec ? 0 : size, file});
    return file;
}

void IniFile::parse(const QString& text)
{
    if (text.contains(QStringLiteral("\r\n")))
        m_newline = QStringLiteral("\r\n");
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_lines = normal.split(QLatin1Char('\n'));
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
    reindex();
}

void IniFile::reindex()
{
    m_values.clear();
    QHash<QString, QString>* current = nullptr;
    for (const QString& line : m_lines) {
        const QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char(';')))
            continue;
        QString name;
        if (isHeader(t, &name)) {
            // Only the first section of a name counts, as with the system's profile reader.
            const QString folded = name.toCaseFolded();
            current = m_values.contains(folded) ? nullptr : &m_values[folded];
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed().toCaseFolded();
        if (key.isEmpty() || current->contains(key))
            continue;
        current->insert(key, line.mid(eq + 1).trimmed());
    }
}

bool IniFile::hasSection(const QString& section) const
{
    return m_values.contains(section.trimmed().toCaseFolded());
}

QString IniFile::value(const QString& section, const QString& key) const
{
    const auto s = m_values.constFind(section.trimmed().toCaseFolded());
    if (s == m_values.constEnd())
        return QString();
    const auto v = s->constFind(key.trimmed().toCaseFolded());
    if (v == s->constEnd())
        return QString();
    return v->isNull() ? QStringLiteral("") : *v;
}

void IniFile::ensureSection(const QString& section)
{
    if (hasSection(section))
        return;
    m_lines.append(QStringLiteral("[%1]").arg(section.trimmed()));
    reindex();
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    const QString wantSection = section.trimmed().toCaseFolded();
    const QString wantKey = key.trimmed().toCaseFolded();
    const QString newLine = key.trimmed() + QLatin1Char('=') + value;
    bool inSection = false;
    qsizetype lastOfSection = -1;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString t = m_lines[i].trimmed();
        QString name;
        if (isHeader(t, &name)) {
            if (inSection)
                break; // only the first section of that name counts
            inSection = name.toCaseFolded() == wantSection;
            if (inSection)
                lastOfSection = i;
            continue;
        }
        if (!inSection)
            continue;
        if (!t.isEmpty())
            lastOfSection = i;
        if (t.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype eq = m_lines[i].indexOf(QLatin1Char('='));
        if (eq >= 0 && m_lines[i].left(eq).trimmed().toCaseFolded() == wantKey) {
            m_lines[i] = newLine;
            reindex();
            return;
        }
    }
    if (lastOfSection < 0) {
        m_lines.append(QStringLiteral("[%1]").arg(section.trimmed()));
        m_lines.append(newLine);
    } else {
        m_lines.insert(lastOfSection + 1, newLine);
    }
    reindex();
}

bool IniFile::save(const QString& path, QString* error) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    QString text = m_lines.join(m_newline);
    if (!m_lines.isEmpty())
        text += m_newline;
    f.write(text.toUtf8());
    if (!f.commit()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

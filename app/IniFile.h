#pragma once

#include "TextEncoding.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

/**
 * @brief The program's own reader and writer of INI text, with the common private-profile rules.
 *
 * Section and key names are matched without regard to case, the first occurrence wins, a line
 * starting with ";" is a comment, the value is everything after the first "=" with surrounding
 * spaces trimmed, and nothing is unquoted or unescaped (unlike QSettings, which rewrites
 * backslashes and commas). Lines may end in CR LF or LF.
 */
class IniFile
{
public:
    /// Parses a file; a missing or unreadable file gives an empty document.
    static IniFile Load(const QString& path);
    /// A parsed file shared through a cache keyed by path, modification time and size, so repeated
    /// lookups (window localisation) do not read and parse the file again.
    static std::shared_ptr<const IniFile> Cached(const QString& path);

    bool exists() const { return m_exists; }
    TextEncoding encoding() const { return m_encoding; }
    bool hasSection(const QString& section) const;
    /// The value, or a null QString when the section or key is missing.
    QString value(const QString& section, const QString& key) const;

    /// Sets a value, keeping every other line as it is; adds the key or the section when missing.
    void setValue(const QString& section, const QString& key, const QString& value);
    /// Adds an empty section header when the section is missing.
    void ensureSection(const QString& section);
    /// Writes the document atomically (UTF-8); false with a reason on failure.
    bool save(const QString& path, QString* error) const;

private:
    void parse(const QString& text);
    void reindex();

    bool m_exists = false;
    TextEncoding m_encoding = TextEncoding::Utf8;
    QStringList m_lines;
    QString m_newline = QStringLiteral("\n");
    // folded section -> (folded key -> value); first occurrence wins
    QHash<QString, QHash<QString, QString>> m_values;
};

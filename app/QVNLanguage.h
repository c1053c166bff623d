#pragma once

#include "QVNConfig.h"
#include "TQXCols.h"

#include <QString>

/**
 * @brief The language folder, the current language and text lookup with the 2052 fall-back.
 *
 * Language files are AppPath + "language/ORVE_GLOBAL." + number, INI format, UTF-8 (or any
 * encoding the file reader recognises).
 */
class QVNLanguage
{
public:
    QVNLanguage() = default;
    QVNLanguage(const QVNLanguage&) = delete;
    QVNLanguage& operator=(const QVNLanguage&) = delete;

    /// The settings store that reads the language files (and caches them); the language's own
    /// store until set. The store must outlive this object.
    void SetConfig(QVNConfig& config) { m_config = &config; }
    /// The language folder as set, read back with a trailing "/".
    QString LanguagePath() const;
    void SetLanguagePath(const QString& pStr_LanguagePath) { m_languagePath = pStr_LanguagePath; }
    /// The current language number; when never set, the system's number (stored from then on).
    QString Language();
    void SetLanguage(const QString& pStr_Language) { m_language = pStr_Language; }

    /// The system's language number from LC_ALL, LC_MESSAGES or LANG ("1033" when unknown).
    static QString GetOSLanguage();
    /// One column per language file: value = display name ("LANGUAGE" of "GLOBAL"), key = number.
    TQXColsPtr GetLanguages();
    /// The text of the entry in the current language, else in 2052; empty when missing in both.
    QString GetLocalizeMessage(const QString& pStr_Section, const QString& pStr_Key,
                               const QString& pStr_File = QStringLiteral("ORVE_GLOBAL"));

private:
    QString m_languagePath;
    QString m_language;
    QVNConfig m_ownConfig;
    QVNConfig* m_config = &m_ownConfig;
};

#pragma once

#include "QVNError.h"
#include "TQXCols.h"

#include <QString>

/**
 * @brief The only access path to the settings store and to INI-style text files.
 *
 * The store is one INI file per application, $XDG_CONFIG_HOME/<application>.ini; the section is
 * the INI section, the value name its key. Reading a section that does not exist creates it.
 * LoadIniSetting uses the program's own private-profile reader, not QSettings.
 */
class QVNConfig
{
public:
    const QString& INIFile() const { return m_iniFile; }
    void SetINIFile(const QString& pStr_INIFile) { m_iniFile = pStr_INIFile; }

    bool SaveRegSetting(const QString& application, const QString& section, const QString& name, const QString& value);
    QString LoadRegSetting(const QString& application, const QString& section, const QString& name,
                           const QString& defaultValue);
    QString LoadIniSetting(const QString& pStr_Section, const QString& pStr_Key, const QString& pStr_File = QString());

    TQXColsPtr GetNewSetting(const QString& application, const QString& section, int pInt_Count);
    void SetNewSetting(const QString& application, const QString& section, const TQXColsPtr& pCols_Data);

    /// The settings file of an application: $XDG_CONFIG_HOME (default ~/.config) + "/" + name + ".ini".
    static QString StoreFile(const QString& application);

    QVNError Exceptions;

private:
    QString m_iniFile;
};

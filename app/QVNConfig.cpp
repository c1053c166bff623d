#include "QVNConfig.h"

#include "IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Cuts a value to at most `maxBytes` bytes in the file's encoding without splitting a character.
QString cutToBytes(const QString& value, TextEncoding encoding, int maxBytes)
{
    int bytes = 0;
    qsizetype end = 0;
    for (qsizetype i = 0; i < value.size();) {
        const bool pair = value.at(i).isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate();
        const char32_t c = pair ? QChar::surrogateToUcs4(value.at(i), value.at(i + 1)) : value.at(i).unicode();
        int w = 1;
        switch (encoding) {
        case TextEncoding::GB18030:
            w = c < 0x80 ? 1 : (c < 0x10000 ? 2 : 4);
            break;
        case TextEncoding::Utf16LE:
        case TextEncoding::Utf16BE:
            w = c < 0x10000 ? 2 : 4;
            break;
        default:
            w = c < 0x80 ? 1 : (c < 0x800 ? 2 : (c < 0x10000 ? 3 : 4));
            break;
        }
        if (bytes + w > maxBytes)
            break;
        bytes += w;
        i += pair ? 2 : 1;
        end = i;
    }
    return value.left(end);
}

} // namespace

QString QVNConfig::StoreFile(const QString& application)
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + application.trimmed() + QStringLiteral(".ini");
}

bool QVNConfig::SaveRegSetting(const QString& application, const QString& section, const QString& name,
                               const QString& value)
{
    Exceptions.Clear();
    if (application.trimmed().isEmpty() || section.trimmed().isEmpty() || name.trimmed().isEmpty()) {
        Exceptions.Add(QStringLiteral("Cannot save a setting without application, section and name"));
        return false;
    }
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'))) {
        // The store holds one line per value; a line break would corrupt the entries after it.
        Exceptions.Add(
            QStringLiteral("Cannot save the setting \"%1\": the value holds a line break").arg(name.trimmed()));
        return false;
    }
    const QString file = StoreFile(application);
    IniFile ini = IniFile::Load(file);
    if (!ini.exists() && QFileInfo::exists(file)) {
        Exceptions.Add(QStringLiteral("Cannot read the settings file \"%1\"").arg(file));
        return false;
    }
    ini.setValue(section.trimmed(), name.trimmed(), value);
    QString error;
    if (!ini.save(file, &error)) {
        Exceptions.Add(QStringLiteral("Cannot write the settings file \"%1\": %2").arg(file, error));
        return false;
    }
    return true;
}

QString QVNConfig::LoadRegSetting(const QString& application, const QString& section, const QString& name,
                                  const QString& defaultValue)
{
    Exceptions.Clear();
    if (application.trimmed().isEmpty() || section.trimmed().isEmpty()) {
        Exceptions.Add(QStringLiteral("Cannot read a setting without application and section"));
        return defaultValue;
    }
    const QString file = StoreFile(application);
    IniFile ini = IniFile::Load(file);
    if (!ini.exists() && QFileInfo::exists(file)) {
        Exceptions.Add(QStringLiteral("Cannot read the settings file \"%1\"").arg(file));
        return defaultValue;
    }
    if (!ini.hasSection(section)) {
        // Reading a section that does not exist creates it, empty.
        ini.ensureSection(section);
        QString error;
        if (!ini.save(file, &error)) {
            Exceptions.Add(QStringLiteral("Cannot write the settings file \"%1\": %2").arg(file, error));
            return defaultValue;
        }
        return defaultValue;
    }
    const QString value = ini.value(section, name);
    return value.isNull() ? defaultValue : value;
}

QString QVNConfig::LoadIniSetting(const QString& pStr_Section, const QString& pStr_Key, const QString& pStr_File)
{
    QString file = pStr_File.trimmed();
    if (file.isEmpty())
        file = m_iniFile;
    if (file.isEmpty())
        return QString();
    const auto ini = IniFile::Cached(file);
    const QString value = ini->value(pStr_Section, pStr_Key);
    if (value.isEmpty())
        return QString();
    return cutToBytes(value, ini->encoding(), 254).trimmed();
}

TQXColsPtr QVNConfig::GetNewSetting(const QString& application, const QString& section, int pInt_Count)
{
    auto cols = TQXCols::Create();
    for (int i = 1; i <= pInt_Count; ++i) {
        const QString v = LoadRegSetting(application, section, QStringLiteral("New%1").arg(i), QString());
        if (!v.isEmpty())
            cols->Add(TQXValue(v));
    }
    return cols;
}

void QVNConfig::SetNewSetting(const QString& application, const QString& section, const TQXColsPtr& pCols_Data)
{
    if (!pCols_Data)
        return;
    int i = 0;
    for (const TQXColPtr& col : *pCols_Data)
        SaveRegSetting(application, section, QStringLiteral("New%1").arg(++i), col->Value().ToText().trimmed());
}

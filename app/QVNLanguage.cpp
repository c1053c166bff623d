#include "QVNLanguage.h"

#include "IniFile.h"
#include "QVNConfig.h"
#include "QVNFunction.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>

namespace {

const QString kFallback = QStringLiteral("2052");

} // namespace

QString QVNLanguage::LanguagePath() const
{
    return QVNFunction::AddFolderMark(m_languagePath);
}

QString QVNLanguage::Language()
{
    if (m_language.isEmpty())
        m_language = GetOSLanguage();
    return m_language;
}

QString QVNLanguage::GetOSLanguage()
{
    static const QHash<QString, QString> table = {
        {QStringLiteral("zh_CN"), QStringLiteral("2052")}, {QStringLiteral("zh_TW"), QStringLiteral("1028")},
        {QStringLiteral("zh_HK"), QStringLiteral("3076")}, {QStringLiteral("zh_SG"), QStringLiteral("4100")},
        {QStringLiteral("en_US"), QStringLiteral("1033")}, {QStringLiteral("en_GB"), QStringLiteral("2057")},
        {QStringLiteral("de_DE"), QStringLiteral("1031")}, {QStringLiteral("fr_FR"), QStringLiteral("1036")},
        {QStringLiteral("es_ES"), QStringLiteral("3082")}, {QStringLiteral("it_IT"), QStringLiteral("1040")},
        {QStringLiteral("ja_JP"), QStringLiteral("1041")}, {QStringLiteral("ko_KR"), QStringLiteral("1042")},
        {QStringLiteral("pt_BR"), QStringLiteral("1046")}, {QStringLiteral("ru_RU"), QStringLiteral("1049")},
    };
    QString locale;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = qEnvironmentVariable(var);
        if (!locale.isEmpty())
            break;
    }
    // "zh_CN.UTF-8@modifier" -> "zh_CN"
    const qsizetype cut = locale.indexOf(QRegularExpression(QStringLiteral("[.@]")));
    if (cut >= 0)
        locale.truncate(cut);
    return table.value(locale, QStringLiteral("1033"));
}

TQXColsPtr QVNLanguage::GetLanguages()
{
    auto cols = TQXCols::Create();
    QDir dir(LanguagePath());
    if (!dir.exists())
        return cols;
    const QString prefix = QStringLiteral("ORVE_GLOBAL.");
    const QStringList files = dir.entryList(QStringList{prefix + QLatin1Char('*')}, QDir::Files, QDir::Unsorted);
    QVNConfig& config = *m_config;
    for (const QString& name : files) {
        if (!name.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString display =
            config.LoadIniSetting(QStringLiteral("GLOBAL"), QStringLiteral("LANGUAGE"), dir.filePath(name));
        if (!display.isEmpty())
            cols->Add(TQXValue(display), name.mid(prefix.size()));
    }
    return cols;
}

QString QVNLanguage::GetLocalizeMessage(const QString& pStr_Section, const QString& pStr_Key, const QString& pStr_File)
{
    QVNConfig& config = *m_config;
    const QString base = LanguagePath() + pStr_File + QLatin1Char('.');
    const QString language = Language();
    QString text = config.LoadIniSetting(pStr_Section, pStr_Key, base + language);
    if (text.isEmpty() && language != kFallback)
        text = config.LoadIniSetting(pStr_Section, pStr_Key, base + kFallback);
    return text;
}

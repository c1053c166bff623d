#include "QVNLanguage.h"

#include "Mdl_Main.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

class LanguageFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeBytes(m_tmp.file(QStringLiteral("ORVE_GLOBAL.2052")),
                   "[GLOBAL]\nLANGUAGE=简体中文\n[Frm_Main]\nCAPTION=主窗口\nONLY_CN=仅中文\n");
        writeBytes(m_tmp.file(QStringLiteral("ORVE_GLOBAL.1033")), "[GLOBAL]\nFONT=Arial\n[Frm_Main]\nCAPTION=Main\n");
        writeBytes(m_tmp.file(QStringLiteral("other.txt")), "[GLOBAL]\nLANGUAGE=x\n");
        m_language.SetLanguagePath(m_tmp.path());
    }
    TempDir m_tmp;
    QVNLanguage m_language;
};

class EnvGuard
{
public:
    explicit EnvGuard(const char* name) : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name)) {}
    ~EnvGuard()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

} // namespace

TEST_F(LanguageFixture, MissingEntriesFallBackTo2052Only)
{
    EXPECT_EQ(m_language.LanguagePath(), m_tmp.path() + QLatin1Char('/'));
    m_language.SetLanguage(QStringLiteral("1033"));
    EXPECT_EQ(m_language.GetLocalizeMessage(QStringLiteral("Frm_Main"), QStringLiteral("CAPTION")),
              QStringLiteral("Main"));
    EXPECT_EQ(m_language.GetLocalizeMessage(QStringLiteral("frm_main"), QStringLiteral("only_cn")),
              QStringLiteral("仅中文"));
    m_language.SetLanguage(QStringLiteral("2052"));
    EXPECT_EQ(m_language.GetLocalizeMessage(QStringLiteral("GLOBAL"), QStringLiteral("FONT")), QString());
    m_language.SetLanguage(QStringLiteral("1041")); // no file at all: the fall-back still answers
    EXPECT_EQ(m_language.GetLocalizeMessage(QStringLiteral("Frm_Main"), QStringLiteral("CAPTION")),
              QStringLiteral("主窗口"));
}

TEST_F(LanguageFixture, LanguagesListOnlyFilesWithADisplayName)
{
    const TQXColsPtr list = m_language.GetLanguages();
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Item(1)->Key(), QStringLiteral("2052"));
    EXPECT_EQ(list->Item(1)->Value().ToText(), QStringLiteral("简体中文"));
}

TEST(QVNLanguage, OperatingSystemNumberComesFromTheLocale)
{
    EnvGuard all("LC_ALL"), messages("LC_MESSAGES"), lang("LANG");
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("LANG", "zh_CN.UTF-8");
    EXPECT_EQ(QVNLanguage::GetOSLanguage(), QStringLiteral("2052"));
    qputenv("LC_MESSAGES", "de_DE@euro");
    EXPECT_EQ(QVNLanguage::GetOSLanguage(), QStringLiteral("1031"));
    qputenv("LC_ALL", "C");
    EXPECT_EQ(QVNLanguage::GetOSLanguage(), QStringLiteral("1033"));
    qputenv("LC_ALL", "xx_YY");
    EXPECT_EQ(QVNLanguage::GetOSLanguage(), QStringLiteral("1033"));
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qunsetenv("LANG");
    EXPECT_EQ(QVNLanguage::GetOSLanguage(), QStringLiteral("1033"));

    qputenv("LANG", "ja_JP.UTF-8");
    QVNLanguage language;
    EXPECT_EQ(language.Language(), QStringLiteral("1041"));
    qputenv("LANG", "ko_KR.UTF-8");
    EXPECT_EQ(language.Language(), QStringLiteral("1041")); // stored on first read
}

TEST(ShippedLanguageFiles, EveryKeyOfEitherFileExistsInBoth)
{
    QVNLanguage language;
    language.SetLanguagePath(QStringLiteral(QUORVIN_APP_DIR) + QStringLiteral("/language"));
    const TQXColsPtr list = language.GetLanguages();
    EXPECT_TRUE(list->Exists(QStringLiteral("2052")));
    EXPECT_TRUE(list->Exists(QStringLiteral("1033")));

    auto keysOf = [](const QString& file) {
        QStringList keys;
        QString section;
        for (const QString& line : QString::fromUtf8(readBytes(file)).split(QLatin1Char('\n'))) {
            const QString t = line.trimmed();
            if (t.startsWith(QLatin1Char('[')))
                section = t.toUpper();
            else if (t.contains(QLatin1Char('=')) && !t.startsWith(QLatin1Char(';')))
                keys << section + t.left(t.indexOf(QLatin1Char('='))).trimmed().toUpper();
        }
        keys.sort();
        return keys;
    };
    const QString dir = QStringLiteral(QUORVIN_APP_DIR) + QStringLiteral("/language/ORVE_GLOBAL.");
    const QStringList cn = keysOf(dir + QStringLiteral("2052"));
    const QStringList en = keysOf(dir + QStringLiteral("1033"));
    QStringList onlyCn, onlyEn;
    for (const QString& k : cn)
        if (!en.contains(k))
            onlyCn << k;
    for (const QString& k : en)
        if (!cn.contains(k))
            onlyEn << k;
    EXPECT_EQ(onlyCn.join(QLatin1Char(' ')), QString());
    EXPECT_EQ(onlyEn.join(QLatin1Char(' ')), QString());
}

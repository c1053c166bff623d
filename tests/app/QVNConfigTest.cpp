#include "QVNConfig.h"

#include "IniFile.h"
#include "Mdl_Main.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

const QString kApp = QStringLiteral("Pellmar Quorvin");
const QString kSetup = QStringLiteral("Setup");

// Points the settings store and the data folder at a temporary folder for one test.
class SettingsFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_oldConfig = qgetenv("XDG_CONFIG_HOME");
        m_oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_CONFIG_HOME", m_tmp.file(QStringLiteral("config")).toUtf8());
        qputenv("XDG_DATA_HOME", m_tmp.file(QStringLiteral("data")).toUtf8());
    }
    void TearDown() override
    {
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
        qputenv("XDG_DATA_HOME", m_oldData);
        Mdl_Main::AppPath.clear();
    }
    QString storeText() const { return QString::fromUtf8(readBytes(QVNConfig::StoreFile(kApp))); }

    TempDir m_tmp;
    QByteArray m_oldConfig;
    QByteArray m_oldData;
};

} // namespace

TEST_F(SettingsFixture, ValuesRoundTripAndMissingOnesGiveTheDefault)
{
    QVNConfig config;
    EXPECT_EQ(QVNConfig::StoreFile(kApp), m_tmp.file(QStringLiteral("config/Pellmar Quorvin.ini")));
    EXPECT_EQ(config.LoadRegSetting(kApp, kSetup, QStringLiteral("ModelPath"), QStringLiteral("dflt")),
              QStringLiteral("dflt"));
    EXPECT_TRUE(storeText().contains(QStringLiteral("[Setup]"))); // reading created the section

    EXPECT_TRUE(config.SaveRegSetting(QStringLiteral(" Pellmar Quorvin "), QStringLiteral(" Setup "),
                                      QStringLiteral(" ModelPath "), QStringLiteral(" C:\\models, x=y ")));
    EXPECT_EQ(config.LoadRegSetting(kApp, kSetup, QStringLiteral("modelpath"), QString()),
              QStringLiteral("C:\\models, x=y")); // no escaping; surrounding spaces are not kept by INI text
    EXPECT_TRUE(config.SaveRegSetting(kApp, kSetup, QStringLiteral("Empty"), QString()));
    EXPECT_EQ(config.LoadRegSetting(kApp, kSetup, QStringLiteral("Empty"), QStringLiteral("dflt")), QString());
    EXPECT_TRUE(config.SaveRegSetting(kApp, kSetup, QStringLiteral("ModelPath"), QStringLiteral("/m2")));
    EXPECT_EQ(config.LoadRegSetting(kApp, kSetup, QStringLiteral("ModelPath"), QString()), QStringLiteral("/m2"));
    EXPECT_EQ(storeText().count(QStringLiteral("ModelPath")), 1);

    EXPECT_FALSE(config.SaveRegSetting(kApp, kSetup, QStringLiteral("Bad"), QStringLiteral("a\nb")));
    EXPECT_EQ(config.Exceptions.Count(), 1);
}

TEST_F(SettingsFixture, RecentListSkipsGapsAndWritesInOrder)
{
    QVNConfig config;
    config.SaveRegSetting(kApp, QStringLiteral("ProjectFile"), QStringLiteral("New1"), QStringLiteral("/p/one.qvn"));
    config.SaveRegSetting(kApp, QStringLiteral("ProjectFile"), QStringLiteral("New3"), QStringLiteral("/p/three.qvn"));
    const TQXColsPtr list = config.GetNewSetting(kApp, QStringLiteral("ProjectFile"), 10);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Item(2)->Value().ToText(), QStringLiteral("/p/three.qvn"));

    auto recent = TQXCols::Create();
    recent->Add(TQXValue(QStringLiteral(" /p/a.qvn ")));
    config.SetNewSetting(kApp, QStringLiteral("ProjectFile"), recent);
    EXPECT_EQ(config.LoadRegSetting(kApp, QStringLiteral("ProjectFile"), QStringLiteral("New1"), QString()),
              QStringLiteral("/p/a.qvn"));
    EXPECT_EQ(config.LoadRegSetting(kApp, QStringLiteral("ProjectFile"), QStringLiteral("New3"), QString()),
              QStringLiteral("/p/three.qvn")); // entries above the count stay
}

TEST_F(SettingsFixture, FirstRunUsesDefaultsBelowTheApplicationFolder)
{
    const QString appDir = m_tmp.file(QStringLiteral("app"));
    ASSERT_TRUE(writeBytes(appDir + QStringLiteral("/language/ORVE_GLOBAL.1033"), "[GLOBAL]\nLANGUAGE=English\n"));
    Mdl_Main::Startup(appDir);
    EXPECT_EQ(Mdl_Main::ProductName, kApp);
    EXPECT_EQ(Mdl_Main::AppPath, appDir + QLatin1Char('/'));
    EXPECT_EQ(Mdl_Main::ProjectPath, appDir + QStringLiteral("/projects/"));
    EXPECT_EQ(Mdl_Main::ModelPath, appDir + QStringLiteral("/models/"));
    EXPECT_EQ(Mdl_Main::OutPath, appDir + QStringLiteral("/out/"));
    for (const char* sub : {"temp", "projects", "models", "out"})
        EXPECT_TRUE(QFileInfo(appDir + QLatin1Char('/') + QLatin1String(sub)).isDir()) << sub;
    EXPECT_TRUE(storeText().contains(QStringLiteral("[Setup]")));
    EXPECT_FALSE(storeText().contains(QStringLiteral("ModelPath")));
}

TEST_F(SettingsFixture, StoredFolderThatCannotBeCreatedFallsBackForThisRunOnly)
{
    const QString appDir = m_tmp.file(QStringLiteral("app"));
    ASSERT_TRUE(QDir().mkpath(appDir));
    ASSERT_TRUE(writeBytes(m_tmp.file(QStringLiteral("file")), "not a folder"));
    QVNConfig config;
    config.SaveRegSetting(kApp, kSetup, QStringLiteral("ModelPath"), m_tmp.file(QStringLiteral("file/models")));
    config.SaveRegSetting(kApp, kSetup, QStringLiteral("OutPath"), m_tmp.file(QStringLiteral("elsewhere")));
    Mdl_Main::Startup(appDir);
    EXPECT_EQ(Mdl_Main::ModelPath, appDir + QStringLiteral("/models/"));
    EXPECT_EQ(Mdl_Main::OutPath, m_tmp.file(QStringLiteral("elsewhere/")));
    EXPECT_EQ(config.LoadRegSetting(kApp, kSetup, QStringLiteral("ModelPath"), QString()),
              m_tmp.file(QStringLiteral("file/models")));
}

TEST_F(SettingsFixture, UnwritableApplicationFolderPutsWritableDefaultsBelowTheDataFolder)
{
    const QString appDir = m_tmp.file(QStringLiteral("not-there"));
    Mdl_Main::Startup(appDir);
    const QString base = m_tmp.file(QStringLiteral("data/quorvin/"));
    EXPECT_EQ(Mdl_Main::WritableBase(), base);
    EXPECT_EQ(Mdl_Main::ProjectPath, base + QStringLiteral("projects/"));
    EXPECT_EQ(Mdl_Main::ModelPath, base + QStringLiteral("models/"));
    EXPECT_TRUE(QFileInfo(base + QStringLiteral("temp")).isDir());
}

TEST(IniFile, PrivateProfileRules)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("x.ini"));
    writeBytes(path, "; comment\r\nstray=1\r\n[Sec]\r\nKey =  spaced value  \r\n;Key=commented\r\nkey=second\r\n"
                     "path=C:\\a\\b, \"q\"\r\n[sec]\r\nother=later section\r\n");
    const IniFile ini = IniFile::Load(path);
    EXPECT_EQ(ini.value(QStringLiteral("SEC"), QStringLiteral("KEY")), QStringLiteral("spaced value"));
    EXPECT_EQ(ini.value(QStringLiteral("sec"), QStringLiteral("path")), QStringLiteral("C:\\a\\b, \"q\""));
    EXPECT_EQ(ini.value(QStringLiteral("sec"), QStringLiteral("other")), QString());
    EXPECT_TRUE(ini.value(QStringLiteral("none"), QStringLiteral("stray")).isNull());
}

TEST(QVNConfig, LoadIniSettingTrimsAndCutsAt254BytesOnACharacterBoundary)
{
    TempDir tmp;
    const QString path = tmp.file(QStringLiteral("lang.ini"));
    const QByteArray longAscii(300, 'a');
    // 84 three-byte characters = 252 bytes, then one more that would cross 254.
    QByteArray wide;
    for (int i = 0; i < 85; ++i)
        wide += "\xE4\xB8\xAD"; // 中
    writeBytes(path, "[S]\nK1=   padded   \nLONG=" + longAscii + "\nWIDE=" + wide + "\n");
    QVNConfig config;
    EXPECT_EQ(config.LoadIniSetting(QStringLiteral("s"), QStringLiteral("k1"), path), QStringLiteral("padded"));
    EXPECT_EQ(config.LoadIniSetting(QStringLiteral("S"), QStringLiteral("LONG"), path).size(), 254);
    EXPECT_EQ(config.LoadIniSetting(QStringLiteral("S"), QStringLiteral("WIDE"), path).size(), 84);
    EXPECT_EQ(config.LoadIniSetting(QStringLiteral("S"), QStringLiteral("none"), path), QString());
    EXPECT_EQ(config.LoadIniSetting(QStringLiteral("S"), QStringLiteral("K1"), tmp.file(QStringLiteral("no"))),
              QString());

    config.SetINIFile(path);
    EXPECT_EQ(config.LoadIniSetting(QStringLiteral("S"), QStringLiteral("K1"), QStringLiteral("  ")),
              QStringLiteral("padded"));

    // An edited file is read again, not served from the cache.
    writeBytes(path, "[S]\nK1=changed text\n");
    EXPECT_EQ(config.LoadIniSetting(QStringLiteral("S"), QStringLiteral("K1")), QStringLiteral("changed text"));
}

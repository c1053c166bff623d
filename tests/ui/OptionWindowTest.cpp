#include "Frm_Option.h"
#include "Mdl_Main.h"
#include "QVNConfig.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

namespace {

using OptionWindowTest = UiTest;

QString stored(const char* name)
{
    return Mdl_Main::Config().LoadRegSetting(Mdl_Main::ProductName, QStringLiteral("Setup"), QLatin1String(name),
                                             QStringLiteral("<unset>"));
}

TEST_F(OptionWindowTest, EmptyFoldersAreRefusedWithNumberedLinesAndNothingIsStored)
{
    Frm_Option window;
    window.findChild<QLineEdit*>(QStringLiteral("Txt_ModelPath"))->setText(QStringLiteral("   "));
    window.findChild<QLineEdit*>(QStringLiteral("Txt_OutPath"))->clear();
    EXPECT_FALSE(window.Save());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0], QStringLiteral("0|Please correct the folders.|"
                                            "1) [Model folder] must not be empty\r\n"
                                            "2) [Output folder] must not be empty\r\n"));
    EXPECT_EQ(stored("ModelPath"), QStringLiteral("<unset>"));
}

TEST_F(OptionWindowTest, SavedFoldersAreStoredAsTypedAndApplyAtOnce)
{
    const QString models = m_dir.file(QStringLiteral("my models"));
    Frm_Option window;
    window.findChild<QLineEdit*>(QStringLiteral("Txt_ModelPath"))->setText(QStringLiteral("  ") + models);
    window.findChild<QAction*>(QStringLiteral("ok"))->trigger();
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_EQ(stored("ModelPath"), models);
    EXPECT_EQ(Mdl_Main::ModelPath, models + QLatin1Char('/'));
    EXPECT_TRUE(QFileInfo(models).isDir());
}

TEST_F(OptionWindowTest, AStoreThatCannotBeWrittenIsReportedNotTakenForSaved)
{
    Frm_Option window;
    // The settings folder is a plain file: no settings file can be written below it.
    const QString blocker = m_dir.file(QStringLiteral("blocker"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CONFIG_HOME", blocker.toUtf8());
    EXPECT_FALSE(window.Save());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("0|The settings could not be stored.|")));
}

} // namespace

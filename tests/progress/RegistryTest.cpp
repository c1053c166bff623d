#include "ProgressTestSupport.h"
#include "QVNComRegistry.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

TEST(ComRegistry, BuiltApplicationFolderRegistersTheProgressServer)
{
    QString error;
    const QString executable = QVNComRegistry::Lookup(appFolder(), QStringLiteral("Dromale.Process"), &error);
    EXPECT_EQ(error, QString());
    EXPECT_EQ(QFileInfo(executable).fileName(), QStringLiteral("dromale"));
    EXPECT_TRUE(QFileInfo(executable).isExecutable());
}

TEST(ComRegistry, LookupIgnoresCaseCommentsAndOtherSectionsAndResolvesRelativePaths)
{
    TempDir dir;
    ASSERT_TRUE(writeScript(dir.file(QStringLiteral("bin/server")), "exit 0"));
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("activation.ini")), "; comment\n"
                                                                       "[Other]\n"
                                                                       "Sample.Thing=elsewhere\n"
                                                                       "[classes]\n"
                                                                       "# Sample.Thing=commented\n"
                                                                       "  sample.thing = bin/server  \r\n"
                                                                       "Sample.Thing=second\n"));
    QString error;
    EXPECT_EQ(QVNComRegistry::Lookup(dir.path(), QStringLiteral("SAMPLE.THING"), &error),
              dir.file(QStringLiteral("bin/server")));
    EXPECT_EQ(error, QString());
}

TEST(ComRegistry, FailuresNameTheClassAndTheCause)
{
    TempDir dir;
    QString error;
    EXPECT_EQ(QVNComRegistry::Lookup(dir.path(), QStringLiteral("Dromale.Process"), &error), QString());
    EXPECT_TRUE(error.contains(QStringLiteral("Dromale.Process"))) << qPrintable(error);
    EXPECT_TRUE(error.contains(QStringLiteral("activation.ini"))) << qPrintable(error);

    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("activation.ini")),
                           "[Classes]\nOther.Class=x\nData.File=data.txt\nGone.Class=missing\n"));
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("data.txt")), "not a program"));
    error.clear();
    EXPECT_EQ(QVNComRegistry::Lookup(dir.path(), QStringLiteral("Dromale.Process"), &error), QString());
    EXPECT_TRUE(error.contains(QStringLiteral("not registered"))) << qPrintable(error);

    error.clear();
    EXPECT_EQ(QVNComRegistry::Lookup(dir.path(), QStringLiteral("Gone.Class"), &error), QString());
    EXPECT_TRUE(error.contains(QStringLiteral("missing or not executable"))) << qPrintable(error);
    error.clear();
    EXPECT_EQ(QVNComRegistry::Lookup(dir.path(), QStringLiteral("Data.File"), &error), QString());
    EXPECT_TRUE(error.contains(QStringLiteral("missing or not executable"))) << qPrintable(error);
}

#include "Mdl_Main.h"
#include "QVNWindowStartup.h"
#include "UiTestSupport.h"

#include <QDir>
#include <QFile>

namespace {

using StartupTest = UiTest;

TEST_F(StartupTest, MissingProgressServerStopsBeforeAnythingElse)
{
    // An application folder whose activation file names a server that is not there.
    const QString folder = m_dir.file(QStringLiteral("broken/"));
    QDir().mkpath(folder);
    QFile activation(folder + QStringLiteral("activation.ini"));
    ASSERT_TRUE(activation.open(QIODevice::WriteOnly));
    activation.write("[Classes]\nDromale.Process=no-such-server\n");
    activation.close();
    const QString appPathBefore = Mdl_Main::AppPath;

    QStringList shown;
    const int status = QVNWindowStartup::Run(folder, {}, [&](const QString& text) { shown << text; });
    EXPECT_NE(status, 0);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Dromale.Process")));
    EXPECT_TRUE(shown[0].contains(QStringLiteral("no-such-server")));
    // Nothing else happened: no folders made, the application state untouched.
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"activation.ini"});
    EXPECT_EQ(Mdl_Main::AppPath, appPathBefore);

    // No activation file at all fails the same way.
    const QString empty = m_dir.file(QStringLiteral("empty/"));
    QDir().mkpath(empty);
    shown.clear();
    EXPECT_NE(QVNWindowStartup::Run(empty, {}, [&](const QString& text) { shown << text; }), 0);
    EXPECT_EQ(shown.size(), 1);
}

} // namespace

#include "WidgetTestSupport.h"

#include "Mdl_Main.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"

#include <QDir>

void WidgetTest::SetUp()
{
    Mdl_Main::AppPath = QStringLiteral(QUORVIN_APP_DIR "/");
    Mdl_Main::OutPath = m_dir.file(QStringLiteral("out/"));
    QDir().mkpath(Mdl_Main::OutPath);
    Mdl_Main::Language().SetLanguagePath(Mdl_Main::AppPath + QStringLiteral("language/"));
    Mdl_Main::Language().SetLanguage(QStringLiteral("1033"));
    QVNMessage::SetHandler([this](const QString& message, int type, const QString& detail) {
        m_messages << QStringLiteral("%1|%2|%3").arg(type).arg(message, detail);
    });
}

void WidgetTest::TearDown()
{
    QVNMessage::SetHandler({});
}

QString WidgetTest::SampleDatabase()
{
    return QStringLiteral(QUORVIN_APP_DIR "/sample/sample.db");
}

QString WidgetTest::SampleConnection()
{
    return QStringLiteral("DRIVER={SQLite3};Database=") + SampleDatabase() + QStringLiteral(";NoCreat=1;");
}

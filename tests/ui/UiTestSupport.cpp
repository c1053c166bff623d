#include "UiTestSupport.h"

#include "Mdl_Main.h"
#include "QVNConfig.h"
#include "QVNError.h"
#include "QVNLanguage.h"
#include "QVNMessage.h"
#include "QVNProject.h"
#include "QVNSampleProject.h"
#include "TQXCol.h"
#include "TQXCols.h"

#include <QDir>
#include <QFile>

void UiTest::SetUp()
{
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_CONFIG_HOME", m_dir.file(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", m_dir.file(QStringLiteral("data")).toUtf8());
    m_appPath = m_dir.file(QStringLiteral("app/"));
    QDir().mkpath(m_appPath);
    const QString build = QStringLiteral(QUORVIN_APP_DIR "/");
    for (const char* item : {"language", "system.qvnm", "sample"})
        QFile::link(build + QLatin1String(item), m_appPath + QLatin1String(item));
    Mdl_Main::Startup(m_appPath);
    Mdl_Main::ProductName = QStringLiteral("Quorvin UI Test");
    Mdl_Main::Language().SetLanguage(QStringLiteral("1033"));
    QVNMessage::SetHandler([this](const QString& message, int type, const QString& detail) {
        m_messages << QStringLiteral("%1|%2|%3").arg(type).arg(message, detail);
    });
}

void UiTest::TearDown()
{
    QVNMessage::SetHandler({});
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("XDG_DATA_HOME", m_oldData);
}

QString UiTest::SampleProject()
{
    QVNError errors;
    EXPECT_TRUE(QVNSampleProject::Ensure(Mdl_Main::AppPath, Mdl_Main::ProjectPath, Mdl_Main::OutPath, errors))
        << errors.ToString().toStdString();
    return QVNSampleProject::ProjectFile(Mdl_Main::ProjectPath);
}

QString UiTest::NewProject(const QString& name)
{
    const QString path = Mdl_Main::ProjectPath + name;
    QVNProject project;
    EXPECT_TRUE(project.NewProject(path)) << project.Exceptions.ToString().toStdString();
    return path;
}

QStringList UiTest::StoredRecent()
{
    QStringList result;
    const TQXColsPtr list = Mdl_Main::Config().GetNewSetting(Mdl_Main::ProductName, QStringLiteral("ProjectFile"), 10);
    for (const TQXColPtr& col : *list)
        result << col->Value().ToText();
    return result;
}

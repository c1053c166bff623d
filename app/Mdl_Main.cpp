#include "Mdl_Main.h"

#include "QVNConfig.h"
#include "QVNFunction.h"
#include "QVNLanguage.h"

#include <QDir>
#include <QFileInfo>

#ifndef QUORVIN_PRODUCT_NAME
#define QUORVIN_PRODUCT_NAME "Pellmar Quorvin"
#endif

namespace {

bool isWritableFolder(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

} // namespace

QVNConfig& Mdl_Main::Config()
{
    static QVNConfig config;
    return config;
}

QVNFunction& Mdl_Main::Function()
{
    static QVNFunction function;
    return function;
}

QVNLanguage& Mdl_Main::Language()
{
    static QVNLanguage& language = []() -> QVNLanguage& {
        static QVNLanguage instance;
        instance.SetConfig(Config());
        return instance;
    }();
    return language;
}

QString Mdl_Main::WritableBase()
{
    if (AppPath.isEmpty() || isWritableFolder(AppPath))
        return AppPath;
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/quorvin/");
}

void Mdl_Main::Startup(const QString& appFolder)
{
    QVNFunction& fn = Function();
    ProductName = QStringLiteral(QUORVIN_PRODUCT_NAME);
    AppPath = fn.AddFolderMark(appFolder);
    fn.CreateFolder(WritableBase() + QStringLiteral("temp"));
    LoadFolderSettings();
    QVNLanguage& language = Language();
    language.SetLanguagePath(AppPath + QStringLiteral("language"));
    language.SetLanguage(Config().LoadRegSetting(ProductName, QStringLiteral("Setup"), QStringLiteral("Language"),
                                                 QVNLanguage::GetOSLanguage()));
}

void Mdl_Main::LoadFolderSettings()
{
    QVNFunction& fn = Function();
    QVNConfig& config = Config();
    const QString base = WritableBase();
    struct Folder
    {
        QString* value;
        const char* setting;
        const char* fallback;
    };
    const Folder folders[] = {
        {&ProjectPath, "ProjectPath", "projects"}, {&ModelPath, "ModelPath", "models"}, {&OutPath, "OutPath", "out"}};
    const bool modelsExisted = QFileInfo::exists(base + QStringLiteral("models"));
    for (const Folder& f : folders) {
        const QString fallback = base + QLatin1String(f.fallback);
        *f.value = config.LoadRegSetting(ProductName, QStringLiteral("Setup"), QLatin1String(f.setting), fallback);
        if (!fn.CreateFolder(*f.value))
            *f.value = fallback; // for this run only; the stored setting stays
    }
    for (const Folder& f : folders)
        fn.CreateFolder(*f.value);
    for (const Folder& f : folders)
        *f.value = fn.AddFolderMark(*f.value);

    // An installed copy keeps its writable folders below the user's data folder; give its new
    // models folder the models shipped with the program so the first build has something to use.
    const QString shipped = AppPath + QStringLiteral("models/");
    if (base != AppPath && !modelsExisted && ModelPath == base + QStringLiteral("models/") &&
        QFileInfo(shipped).isDir()) {
        const QStringList packages = QDir(shipped).entryList(QDir::Files);
        for (const QString& name : packages)
            QFile::copy(shipped + name, ModelPath + name);
    }
}

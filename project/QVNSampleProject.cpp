#include "QVNSampleProject.h"

#include "QVNDatabase.h"
#include "QVNProject.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>

namespace {
QString WithMark(const QString& folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

/// The database file named by a "Database=" entry of an ODBC connection string, or empty.
QString DatabaseOf(const QString& connection)
{
    static const QRegularExpression entry(QStringLiteral("(?:^|;)\\s*database\\s*=\\s*(\\{(?:[^}]|\\}\\})*\\}|[^;]*)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = entry.match(connection);
    if (!m.hasMatch())
        return QString();
    QString value = m.captured(1).trimmed();
    if (value.startsWith(QLatin1Char('{')) && value.endsWith(QLatin1Char('}')))
        value = value.mid(1, value.size() - 2).replace(QLatin1String("}}"), QLatin1String("}"));
    return value;
}
} // namespace

QString QVNSampleProject::DatabaseFile(const QString& appPath)
{
    return WithMark(appPath) + QStringLiteral("sample/sample.db");
}

QString QVNSampleProject::TemplateFile(const QString& appPath)
{
    return WithMark(appPath) + QStringLiteral("sample/sample.qvnm");
}

QString QVNSampleProject::ProjectFile(const QString& projectPath)
{
    return WithMark(projectPath) + QStringLiteral("sample.qvn");
}

QString QVNSampleProject::ConnectionString(const QString& appPath)
{
    const QString file = QFileInfo(DatabaseFile(appPath)).absoluteFilePath();
    return QStringLiteral("DRIVER={SQLite3};Database=") + QVNDatabase::QuoteConnectionValue(file) +
           QStringLiteral(";NoCreat=1;");
}

bool QVNSampleProject::Ensure(const QString& appPath, const QString& projectPath, const QString& outPath,
                              QVNError& errors)
{
    errors.Clear();
    const QString database = DatabaseFile(appPath);
    const QString projectFile = ProjectFile(projectPath);
    if (!QFileInfo::exists(database)) {
        errors.Add(QStringLiteral("The sample database is missing: ") + database);
        return false;
    }

    QVNProject project;
    project.SetTemplateFile(WithMark(appPath) + QStringLiteral("system.qvnm"));
    const bool existed = QFileInfo::exists(projectFile);
    // A new sample project is made under a private name and published only when complete, without
    // ever replacing a file: programs started side by side may all try at their first run.
    QString working = projectFile;
    if (existed) {
        project.SetProjectFile(projectFile);
        if (!project.GetProjectInfo()) {
            errors.AddExceptions(project.Exceptions);
            return false;
        }
        const QString current = DatabaseOf(project.P_DATABASE);
        if (current.isEmpty() || QFileInfo::exists(current) ||
            QFileInfo(current).fileName() != QFileInfo(database).fileName())
            return true; // the user's project as it stands
    } else {
        QDir().mkpath(QFileInfo(projectFile).absolutePath());
        {
            QTemporaryFile reserve(projectFile + QStringLiteral(".XXXXXX.new"));
            reserve.setAutoRemove(false);
            if (!reserve.open()) {
                errors.Add(QStringLiteral("Cannot create the sample project in ") + projectPath);
                return false;
            }
            working = reserve.fileName();
        }
        // The annotated template when shipped, else the empty one.
        const QString annotated = TemplateFile(appPath);
        if (QFileInfo::exists(annotated))
            project.SetTemplateFile(annotated);
        if (!project.NewProject(working)) {
            errors.AddExceptions(project.Exceptions);
            QFile::remove(working);
            return false;
        }
        project.SetTemplateFile(WithMark(appPath) + QStringLiteral("system.qvnm"));
        project.SetProjectFile(working);
        project.P_NO = QStringLiteral("SAMPLE");
        project.P_NAME = QStringLiteral("Sample order management");
        project.P_PATH = outPath.isEmpty() ? QString() : WithMark(outPath) + QStringLiteral("sample/");
    }
    project.P_DATABASE = ConnectionString(appPath);
    project.P_USERID.clear();
    project.P_PWD.clear();

    bool ok = project.GetTables();
    if (ok)
        ok = project.SaveProject(project.P_NO, project.P_NAME, project.P_DATABASE, project.P_USERID, project.P_PWD,
                                 project.P_PATH, project.TABLES);
    if (!ok)
        errors.AddExceptions(project.Exceptions);
    if (existed)
        return ok;

    QFile::remove(working + QStringLiteral(".bak")); // the backup of the bare template
    if (ok) {
        // link() publishes the finished file under its name unless one appeared meanwhile, in
        // which case the other program's sample project is just as good.
        const QByteArray from = QFile::encodeName(working);
        const QByteArray to = QFile::encodeName(projectFile);
        if (::link(from.constData(), to.constData()) != 0 && errno != EEXIST) {
            errors.Add(
                QStringLiteral("Cannot create %1: %2").arg(projectFile, QString::fromLocal8Bit(std::strerror(errno))));
            ok = false;
        }
    }
    QFile::remove(working);
    return ok;
}

#include "QVNProjectLifecycle.h"

#include "Mdl_Main.h"
#include "QVNLanguage.h"
#include "QVNProject.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

QString Localized(const QString& key)
{
    const QString text = Mdl_Main::Language().GetLocalizeMessage(QStringLiteral("QVNPROJECT"), key);
    return text.isEmpty() ? key : text;
}

void SyncPath(const QString& path, int flags)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), flags | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

/// Hands the project's own lines on unchanged: the lifecycle adds no heading of its own to them.
void TakeOver(QVNError& to, const QVNError& from)
{
    for (const TQXColPtr& entry : *from.Messages)
        to.Messages->Add(entry->Value(), QString(), QString(), QString(), entry->Tag());
}

/// The name of a file a process builds beside `fileName`: hidden, carrying the process id so a
/// later run can tell a leftover from a file still being written.
QString BesideName(const QString& fileName)
{
    return QStringLiteral(".") + fileName + QLatin1Char('.') + QString::number(::getpid()) + QStringLiteral(".XXXXXX");
}

} // namespace

bool QVNProjectLifecycle::Fail(Failure failure, const QVNError& inner)
{
    m_failure = failure;
    TakeOver(Exceptions, inner);
    return false;
}

int QVNProjectLifecycle::RemoveLeftovers(const QString& file)
{
    const QFileInfo link(file);
    const QFileInfo info(link.isSymLink() ? link.symLinkTarget() : link.absoluteFilePath());
    const QDir folder = info.absoluteDir();
    // What Create builds (".NAME.PID.XXXXXX.new" with its ".bak" and journal, and the save's own
    // temporary beside it, "..NAME.PID.XXXXXX.new.PID.XXXXXX.tmp") and what a save builds
    // (".NAME.PID.XXXXXX.tmp" and its journal).
    const QRegularExpression pattern(QStringLiteral("^\\.{1,2}") + QRegularExpression::escape(info.fileName()) +
                                     QStringLiteral("\\.(\\d+)\\.[A-Za-z0-9]{6}\\.(new|tmp)"
                                                    "(\\.\\d+\\.[A-Za-z0-9]{6}\\.tmp)?(\\.bak|-journal)?$"));
    int removed = 0;
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (!m.hasMatch())
            continue;
        bool ok = false;
        const qint64 pid = m.captured(1).toLongLong(&ok);
        if (!ok || pid <= 0 || pid > 0x7fffffff)
            continue;
        // A process that still runs may be writing it (EPERM: it runs under another user).
        if (pid != ::getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            continue;
        if (QFile::remove(folder.filePath(name)))
            ++removed;
    }
    return removed;
}

bool QVNProjectLifecycle::Create(const QString& file, const QVNProjectSettings& settings, bool replace,
                                 QVNProject& project)
{
    Exceptions.Clear();
    m_failure = Failure::None;
    const QFileInfo info(file);
    if (file.trimmed().isEmpty()) {
        m_failure = Failure::BadInput;
        Exceptions.Add(QStringLiteral("No project file was named"));
        return false;
    }
    const bool exists = info.exists() || info.isSymLink();
    if (exists && (!replace || info.isDir())) {
        m_failure = Failure::BadInput;
        Exceptions.Add(QStringLiteral("\"%1\" exists").arg(file));
        return false;
    }
    // A project file reached through a link is replaced where it really lies; the link stays.
    const QFileInfo real(info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath());
    const QString folder = real.absolutePath();
    if (!QFileInfo(folder).isDir()) {
        m_failure = Failure::BadInput;
        Exceptions.Add(QStringLiteral("The folder %1 does not exist").arg(folder));
        return false;
    }
    RemoveLeftovers(real.absoluteFilePath());

    // 1. The new project is built in a hidden file beside the target (same file system, so the
    //    rename that publishes it is atomic). Until then the target stays as it was.
    QString temporary;
    {
        QTemporaryFile reserve(folder + QLatin1Char('/') + BesideName(real.fileName()) + QStringLiteral(".new"));
        reserve.setAutoRemove(false);
        if (reserve.open())
            temporary = reserve.fileName();
    }
    if (temporary.isEmpty()) {
        m_failure = Failure::Failed;
        Exceptions.Add(QStringLiteral("Cannot create a file in %1").arg(folder));
        return false;
    }
    auto discard = [&] {
        QFile::remove(temporary);
        QFile::remove(temporary + QStringLiteral(".bak"));
        QFile::remove(temporary + QStringLiteral("-journal"));
    };

    project.SetProjectFile(temporary);
    project.P_NO = settings.no;
    project.P_NAME = settings.name;
    project.P_DATABASE = settings.database;
    project.P_USERID = settings.user;
    project.P_PWD = settings.password;
    project.P_PATH = settings.path;
    bool ok = project.NewProject(temporary);
    if (ok && !settings.database.isEmpty())
        ok = project.GetTables();
    if (ok)
        ok = project.SaveProject(settings.no, settings.name, settings.database, settings.user, settings.password,
                                 settings.path, project.TABLES);
    if (!ok) {
        discard();
        project.SetProjectFile(file);
        return Fail(Failure::Failed, project.Exceptions);
    }
    QFile::remove(temporary + QStringLiteral(".bak")); // the backup of the bare template

    // 2. Publish: a replaced project keeps its permissions; flush, then rename over the target.
    if (exists)
        QFile::setPermissions(temporary, QFile::permissions(real.absoluteFilePath()));
    SyncPath(temporary, O_RDONLY);
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(real.absoluteFilePath());
    if (::rename(from.constData(), to.constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        discard();
        project.SetProjectFile(file);
        m_failure = Failure::Failed;
        Exceptions.Add(Localized(QStringLiteral("ERROR_SAVE")));
        Exceptions.Add(QStringLiteral("Cannot replace %1: %2").arg(real.absoluteFilePath(), reason));
        return false;
    }
    SyncPath(folder, O_RDONLY | O_DIRECTORY);
    project.SetProjectFile(file);
    return true;
}

bool QVNProjectLifecycle::OpenFile(const QString& file, QVNProject& project)
{
    Exceptions.Clear();
    m_failure = Failure::None;
    project.SetProjectFile(file);
    if (!project.GetProjectInfo())
        return Fail(Failure::BadInput, project.Exceptions);
    if (!project.HasProjectRecord()) {
        m_failure = Failure::BadInput;
        Exceptions.Add(Localized(QStringLiteral("ERROR_OPEN_PROJECT")));
        Exceptions.Add(QStringLiteral("The project file %1 is damaged: it holds no project record")
                           .arg(QFileInfo(file).absoluteFilePath()));
        return false;
    }
    return true;
}

bool QVNProjectLifecycle::ReadTables(QVNProject& project)
{
    Exceptions.Clear();
    m_failure = Failure::None;
    if (project.P_DATABASE.trimmed().isEmpty()) {
        // Left to the driver manager this reads "Data source name not found".
        m_failure = Failure::BadInput;
        Exceptions.Add(Localized(QStringLiteral("ERROR_CONNECT")));
        Exceptions.Add(QStringLiteral("The project %1 names no database (its connection string is empty)")
                           .arg(QFileInfo(project.ProjectFile()).absoluteFilePath()));
        return false;
    }
    // A failed read must not leave an empty list behind: a save would then write a project without
    // its tables and annotations. The list read before stays until a read succeeds.
    const TQXRowsPtr previous = project.TABLES;
    if (project.GetTables())
        return true;
    project.TABLES = previous;
    // The project file itself may have become unusable since it was read.
    const TQXColPtr first = project.Exceptions.Messages->Item(1);
    const bool fileProblem = first && first->Value().ToText() == Localized(QStringLiteral("ERROR_OPEN_PROJECT"));
    return Fail(fileProblem ? Failure::BadInput : Failure::Failed, project.Exceptions);
}

bool QVNProjectLifecycle::Open(const QString& file, QVNProject& project)
{
    if (!OpenFile(file, project))
        return false;
    return ReadTables(project);
}

bool QVNProjectLifecycle::Save(QVNProject& project)
{
    Exceptions.Clear();
    m_failure = Failure::None;
    RemoveLeftovers(project.ProjectFile());
    if (project.SaveProject(project.P_NO, project.P_NAME, project.P_DATABASE, project.P_USERID, project.P_PWD,
                            project.P_PATH, project.TABLES))
        return true;
    return Fail(Failure::Failed, project.Exceptions);
}

// A save or a `project new --force` killed with SIGKILL at a random instant leaves the project
// file as the old project or the new one, whole, and the next run cleans up after the killed one.
#include "ProjectTestSupport.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "QVNSampleProject.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <iostream>
#include <random>
#include <thread>

extern char** environ;

namespace {

/// A child process started with posix_spawn, output discarded, so it can be killed at any instant.
class Child
{
public:
    /// With `readyPipe`, the child's standard output goes to a pipe that WaitReady reads from.
    Child(const QStringList& args, const QStringList& extraEnv, bool readyPipe = false)
    {
        std::vector<QByteArray> argBytes, envBytes;
        for (const QString& a : args)
            argBytes.push_back(QFile::encodeName(a));
        for (const QString& e : extraEnv) // first: the first of two equal names wins
            envBytes.push_back(e.toUtf8());
        for (char** e = environ; *e; ++e)
            envBytes.emplace_back(*e);
        std::vector<char*> argv, envp;
        for (QByteArray& b : argBytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        for (QByteArray& b : envBytes)
            envp.push_back(b.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int fds[2] = {-1, -1};
        if (readyPipe && ::pipe2(fds, O_CLOEXEC) == 0) {
            posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
            m_ready = fds[0];
        } else {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (fds[1] >= 0)
            ::close(fds[1]);
    }
    ~Child()
    {
        if (m_ready >= 0)
            ::close(m_ready);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    /// Blocks until the child wrote its first byte (or ended); does nothing without a pipe.
    void WaitReady()
    {
        char byte = 0;
        if (m_ready >= 0)
            while (::read(m_ready, &byte, 1) < 0 && errno == EINTR) {
            }
    }
    /// Kills the child (if it still runs) and returns true when it had already ended with 0.
    bool KillAndReap()
    {
        if (m_pid <= 0)
            return false;
        ::kill(m_pid, SIGKILL);
        return Wait();
    }
    bool Wait()
    {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    bool Started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
    int m_ready = -1;
};

/// What a project file holds, read straight from it; empty name when it is not a whole project.
struct Contents
{
    QString name;
    int tables = -1;
    int columns = -1;
};

Contents Read(const QString& file)
{
    Contents c;
    QVNProject project;
    QVNProjectLifecycle lifecycle;
    if (!lifecycle.OpenFile(file, project))
        return c;
    QVNDatabase db;
    db.AdoConnectString = QVNProject::SystemConnectionString(file);
    if (!db.ConnectToServer(QString()))
        return c;
    const TQXRowsPtr check = db.GetDatasFromSql(QStringLiteral("pragma integrity_check"));
    const TQXRowsPtr tables = db.GetDatasFromSql(QStringLiteral("select count(*) as N from tb_Table"));
    const TQXRowsPtr columns = db.GetDatasFromSql(QStringLiteral("select count(*) as N from tb_Column"));
    const TQXRowsPtr records = db.GetDatasFromSql(QStringLiteral("select count(*) as N from tb_Project"));
    db.DisConnectFromServer();
    if (check->Count() != 1 || check->Item(1)->Cols()->Item(1)->Value().ToText() != QLatin1String("ok") ||
        records->Item(1)->Cols()->Text(QStringLiteral("N")) != QLatin1String("1"))
        return c;
    c.name = project.P_NAME;
    c.tables = tables->Item(1)->Cols()->Text(QStringLiteral("N")).toInt();
    c.columns = columns->Item(1)->Cols()->Text(QStringLiteral("N")).toInt();
    return c;
}

QStringList HiddenFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
}

/// Runs `runs` children, each killed after a random delay up to about the time a whole run takes
/// (counted from the byte a child with `readyPipe` writes when its save starts), restoring
/// `original` before each. Every time the file must be the old or the new project.
void KillRepeatedly(const QString& file, const QByteArray& original, const QStringList& args, const QStringList& env,
                    bool readyPipe, int runs, const Contents& oldOne, const Contents& newOne)
{
    // How long one undisturbed run takes decides the range of the kill instants.
    ASSERT_TRUE(writeBytes(file, original));
    QElapsedTimer clock;
    Child whole(args, env, readyPipe);
    ASSERT_TRUE(whole.Started());
    whole.WaitReady();
    clock.start();
    ASSERT_TRUE(whole.Wait());
    const qint64 runMs = std::max<qint64>(clock.elapsed(), 5);
    const Contents finished = Read(file);
    ASSERT_EQ(finished.name, newOne.name);
    ASSERT_EQ(finished.tables, newOne.tables);

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<qint64> delayUs(0, runMs * 1100);
    int sawOld = 0, sawNew = 0;
    for (int i = 0; i < runs; ++i) {
        ASSERT_TRUE(writeBytes(file, original));
        Child child(args, env, readyPipe);
        ASSERT_TRUE(child.Started());
        child.WaitReady();
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        child.KillAndReap();
        const Contents now = Read(file);
        const bool isOld = now.name == oldOne.name && now.tables == oldOne.tables && now.columns == oldOne.columns;
        const bool isNew = now.name == newOne.name && now.tables == newOne.tables && now.columns == newOne.columns;
        ASSERT_TRUE(isOld || isNew) << "run " << i << " (seed " << seed << "): the file holds \""
                                    << now.name.toStdString() << "\" with " << now.tables << " tables";
        (isOld ? sawOld : sawNew)++;
    }
    std::cout << "one run " << runMs << " ms; " << runs << " kills: old project " << sawOld << " times, new " << sawNew
              << " times" << std::endl;

    // The next run finishes and removes what the killed ones left beside the file.
    ASSERT_TRUE(writeBytes(file, original));
    Child last(args, env, readyPipe);
    ASSERT_TRUE(last.Wait());
    EXPECT_EQ(Read(file).name, newOne.name);
    EXPECT_EQ(HiddenFiles(QFileInfo(file).absolutePath()), QStringList());
}

} // namespace

TEST(KillTest, AKilledSaveLeavesTheOldOrTheNewProjectWhole)
{
    TempDir dir;
    const QString file = dir.file(QStringLiteral("kill.qvn"));
    QVNProjectLifecycle lifecycle;
    QVNProject project;
    ASSERT_TRUE(lifecycle.Create(file, {}, false, project));
    Child first({QStringLiteral(QUORVIN_SAVE_CHILD), file, QStringLiteral("old"), QStringLiteral("30")}, {});
    ASSERT_TRUE(first.Wait());
    const QByteArray original = readBytes(file);
    KillRepeatedly(file, original,
                   {QStringLiteral(QUORVIN_SAVE_CHILD), file, QStringLiteral("new"), QStringLiteral("60")}, {}, true,
                   30, {QStringLiteral("old"), 30, 600}, {QStringLiteral("new"), 60, 1200});
}

TEST(KillTest, AKilledProjectNewForceLeavesTheOldOrTheNewProjectWhole)
{
    TempDir dir;
    const QString target = dir.file(QStringLiteral("target.db"));
    ASSERT_EQ(CreateSqliteFile(target, QStringLiteral("CREATE TABLE alpha (id INTEGER PRIMARY KEY, a TEXT);"
                                                      "CREATE TABLE beta (code VARCHAR(10));")),
              QString());
    const QString file = dir.file(QStringLiteral("projects/kill.qvn"));
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("projects"))));
    QVNProjectLifecycle lifecycle;
    QVNProject project;
    ASSERT_TRUE(lifecycle.Create(
        file, {QStringLiteral("1"), QStringLiteral("old"), SqliteConnection(target), {}, {}, {}}, false, project));
    const QByteArray original = readBytes(file);
    const QStringList env = {QStringLiteral("XDG_CONFIG_HOME=") + dir.file(QStringLiteral("config")),
                             QStringLiteral("XDG_DATA_HOME=") + dir.file(QStringLiteral("data"))};
    KillRepeatedly(file, original,
                   {AppDir() + QStringLiteral("quorvin-cli"), QStringLiteral("project"), QStringLiteral("new"), file,
                    QStringLiteral("--force"), QStringLiteral("--name"), QStringLiteral("new"),
                    QStringLiteral("--connection"), QVNSampleProject::ConnectionString(AppDir())},
                   env, false, 20, {QStringLiteral("old"), 2, 0}, {QStringLiteral("new"), 11, 0});
}

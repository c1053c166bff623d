// Creating, opening and saving a project file through the one service the window and quorvin-cli
// share: what a failure leaves behind, and which failures are the input's fault.
#include "ProjectTestSupport.h"
#include "QVNProject.h"
#include "QVNProjectLifecycle.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using Failure = QVNProjectLifecycle::Failure;

namespace {

class LifecycleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_target = m_dir.file(QStringLiteral("target.db"));
        ASSERT_EQ(CreateSqliteFile(m_target, QStringLiteral("CREATE TABLE alpha (id INTEGER PRIMARY KEY);"
                                                            "CREATE TABLE beta (code VARCHAR(10));")),
                  QString());
        m_file = m_dir.file(QStringLiteral("p.qvn"));
    }
    QVNProjectSettings Settings(const QString& name = QStringLiteral("P")) const
    {
        return {QStringLiteral("1"), name, SqliteConnection(m_target), QString(), QString(), QString()};
    }
    /// The hidden files next to the project file.
    QStringList Hidden() const
    {
        return QDir(m_dir.path()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    }
    /// A project file whose tb_Project was made by the given SQL.
    QString ProjectWith(const QString& name, const QString& projectTable)
    {
        const QString path = m_dir.file(name);
        EXPECT_TRUE(QFile::copy(AppDir() + QStringLiteral("system.qvnm"), path));
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
        QVNDatabase db;
        db.AdoConnectString = QVNProject::SystemConnectionString(path);
        EXPECT_TRUE(db.ConnectToServer(QString()));
        EXPECT_TRUE(db.ExecuteSql(QStringLiteral("drop table tb_Project")));
        EXPECT_TRUE(db.ExecuteSql(projectTable)) << db.Exceptions.ToString().toStdString();
        db.DisConnectFromServer();
        return path;
    }

    TempDir m_dir;
    QString m_target;
    QString m_file;
};

} // namespace

TEST_F(LifecycleTest, CreateMakesACompleteProjectAndLeavesNothingBeside)
{
    QVNProjectLifecycle lifecycle;
    QVNProject project;
    ASSERT_TRUE(lifecycle.Create(m_file, Settings(), false, project)) << lifecycle.Exceptions.ToString().toStdString();
    EXPECT_EQ(project.ProjectFile(), m_file);
    EXPECT_EQ(project.TABLES->Count(), 2);
    EXPECT_EQ(Hidden(), QStringList());
    EXPECT_FALSE(QFile::exists(m_file + QStringLiteral(".bak")));

    QVNProject again;
    ASSERT_TRUE(lifecycle.Open(m_file, again)) << lifecycle.Exceptions.ToString().toStdString();
    EXPECT_EQ(again.P_NAME, QStringLiteral("P"));
    EXPECT_EQ(again.TABLES->Count(), 2);

    // Without a database the project holds its record and no tables (the window's "new").
    const QString empty = m_dir.file(QStringLiteral("empty.qvn"));
    ASSERT_TRUE(lifecycle.Create(empty, {}, false, project));
    ASSERT_TRUE(lifecycle.OpenFile(empty, again));
    EXPECT_TRUE(again.HasProjectRecord());
    EXPECT_FALSE(lifecycle.ReadTables(again)); // and says so rather than blaming a data source
    EXPECT_EQ(lifecycle.LastFailure(), Failure::BadInput);
    EXPECT_TRUE(lifecycle.Exceptions.ToString().contains(QStringLiteral("names no database")));
}

TEST_F(LifecycleTest, AnExistingProjectIsReplacedOnlyWhenAskedAndOnlyByAWholeProject)
{
    QVNProjectLifecycle lifecycle;
    QVNProject project;
    ASSERT_TRUE(lifecycle.Create(m_file, Settings(QStringLiteral("old")), false, project));
    QFile::setPermissions(m_file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    const QByteArray old = readBytes(m_file);

    EXPECT_FALSE(lifecycle.Create(m_file, Settings(QStringLiteral("new")), false, project));
    EXPECT_EQ(lifecycle.LastFailure(), Failure::BadInput);
    EXPECT_EQ(readBytes(m_file), old);

    // A database that cannot be reached: the work failed, the old project stays, nothing is left.
    QVNProjectSettings unreachable = Settings(QStringLiteral("new"));
    unreachable.database = SqliteConnection(m_dir.file(QStringLiteral("missing.db")));
    EXPECT_FALSE(lifecycle.Create(m_file, unreachable, true, project));
    EXPECT_EQ(lifecycle.LastFailure(), Failure::Failed);
    EXPECT_EQ(readBytes(m_file), old);
    EXPECT_EQ(Hidden(), QStringList());

    ASSERT_TRUE(lifecycle.Create(m_file, Settings(QStringLiteral("new")), true, project));
    QVNProject reread;
    ASSERT_TRUE(lifecycle.OpenFile(m_file, reread));
    EXPECT_EQ(reread.P_NAME, QStringLiteral("new"));
    EXPECT_EQ(QFile::permissions(m_file) & 0x7077, // the mode's own bits, not what this user may do
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);

    // Through a link: the file it points at is replaced, the link stays a link.
    const QString link = m_dir.file(QStringLiteral("link.qvn"));
    ASSERT_TRUE(QFile::link(m_file, link));
    ASSERT_TRUE(lifecycle.Create(link, Settings(QStringLiteral("linked")), true, project));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    ASSERT_TRUE(lifecycle.OpenFile(m_file, reread));
    EXPECT_EQ(reread.P_NAME, QStringLiteral("linked"));
}

TEST_F(LifecycleTest, DamagedAndUnreadableProjectFilesAreBadInputNamingTheFile)
{
    QVNProjectLifecycle lifecycle;
    QVNProject project;
    struct Case
    {
        QString file;
        QString says;
    };
    QFile::copy(AppDir() + QStringLiteral("system.qvnm"), m_dir.file(QStringLiteral("bare.qvn")));
    ASSERT_TRUE(writeBytes(m_dir.file(QStringLiteral("text.qvn")), "this is no database at all, just text"));
    ASSERT_TRUE(writeBytes(m_dir.file(QStringLiteral("zero.qvn")), ""));
    const QList<Case> cases = {
        {m_dir.file(QStringLiteral("bare.qvn")), QStringLiteral("holds no project record")},
        {m_dir.file(QStringLiteral("text.qvn")), QStringLiteral("is not a database")},
        {m_dir.file(QStringLiteral("zero.qvn")), QStringLiteral("is damaged")},
        {ProjectWith(QStringLiteral("cols.qvn"), QStringLiteral("create table tb_Project (P_NO text, P_NAME text)")),
         QStringLiteral("tb_Project")},
        {m_dir.file(QStringLiteral("none.qvn")), QStringLiteral("none.qvn")},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(lifecycle.Open(c.file, project)) << c.file.toStdString();
        EXPECT_EQ(lifecycle.LastFailure(), Failure::BadInput) << c.file.toStdString();
        const QString text = lifecycle.Exceptions.ToString();
        EXPECT_TRUE(text.contains(c.says)) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("Data source name"))) << text.toStdString();
    }
    if (::geteuid() != 0) { // root reads every file
        ASSERT_TRUE(lifecycle.Create(m_file, Settings(), false, project));
        QFile::setPermissions(m_file, QFileDevice::WriteOwner);
        EXPECT_FALSE(lifecycle.OpenFile(m_file, project));
        EXPECT_TRUE(lifecycle.Exceptions.ToString().contains(QStringLiteral("Cannot read the project file ") + m_file));
    }
}

TEST_F(LifecycleTest, AnUnreachableDatabaseIsAFailureOfTheWork)
{
    QVNProjectLifecycle lifecycle;
    QVNProject project;
    ASSERT_TRUE(lifecycle.Create(m_file, Settings(), false, project));
    ASSERT_TRUE(QFile::remove(m_target));
    EXPECT_FALSE(lifecycle.Open(m_file, project));
    EXPECT_EQ(lifecycle.LastFailure(), Failure::Failed);
}

TEST_F(LifecycleTest, SaveWritesTheProjectsOwnValuesAndRemovesOnlyDeadLeftovers)
{
    QVNProjectLifecycle lifecycle;
    QVNProject project;
    ASSERT_TRUE(lifecycle.Create(m_file, Settings(), false, project));

    // A process that has ended, and one that still runs (this test's parent).
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const QString dead = QString::number(child);
    const QString alive = QString::number(::getppid());
    const QStringList leftovers = {QStringLiteral(".p.qvn.") + dead + QStringLiteral(".aB3dE9.new"),
                                   QStringLiteral(".p.qvn.") + dead + QStringLiteral(".aB3dE9.new.bak"),
                                   QStringLiteral("..p.qvn.") + dead + QStringLiteral(".aB3dE9.new.") + dead +
                                       QStringLiteral(".Zz0011.tmp-journal"),
                                   QStringLiteral(".p.qvn.") + dead + QStringLiteral(".Qw12Er.tmp")};
    const QStringList kept = {QStringLiteral(".p.qvn.") + alive + QStringLiteral(".aB3dE9.new"),
                              QStringLiteral(".p.qvn.x.qvn.") + dead + QStringLiteral(".aB3dE9.new"),
                              QStringLiteral(".p.qvn.") + dead + QStringLiteral(".notes.txt")};
    for (const QString& name : leftovers + kept)
        ASSERT_TRUE(writeBytes(m_dir.file(name), "x"));

    project.P_NAME = QStringLiteral("renamed");
    ASSERT_TRUE(lifecycle.Save(project)) << lifecycle.Exceptions.ToString().toStdString();
    QStringList expected = kept;
    expected.sort();
    QStringList hidden = Hidden();
    hidden.sort();
    EXPECT_EQ(hidden, expected);
    EXPECT_TRUE(QFile::exists(m_file + QStringLiteral(".bak")));
    QVNProject reread;
    ASSERT_TRUE(lifecycle.OpenFile(m_file, reread));
    EXPECT_EQ(reread.P_NAME, QStringLiteral("renamed"));
}

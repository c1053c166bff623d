// quorvin-cli against folders the file system refuses and packages with damaged descriptions: every
// case ends with a clear message and a failure exit code, never an abort or a false success. The
// cases for an unprivileged user run through runuser as "nobody" when the tests run as root.
#include "ModelTestSupport.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

const QString kCli = QStringLiteral(QUORVIN_APP_DIR "/quorvin-cli");

struct Result
{
    int code = -1; // -1: did not end normally (a crash or an abort)
    QString out;
    QString err;
};

// Runs quorvin-cli with `env` (NAME=VALUE items) added, as `user` when one is given.
Result RunCli(const QStringList& args, const QStringList& env, const QString& user = QString())
{
    QStringList command{QStringLiteral("env")};
    command += env;
    command.append(kCli);
    command += args;
    if (!user.isEmpty())
        command = QStringList{QStringLiteral("-p"), QStringLiteral("-u"), user, QStringLiteral("--")} + command;
    QProcess p;
    p.start(user.isEmpty() ? command.takeFirst() : QStringLiteral("runuser"), command);
    Result r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    if (p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    return r;
}

class InteropReliability : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Others (the unprivileged user) may enter the test folder.
        QFile::setPermissions(m_dir.path(),
                              QFile::permissions(m_dir.path()) | QFileDevice::ExeOther | QFileDevice::ReadOther);
        m_env = {QStringLiteral("XDG_CONFIG_HOME=") + m_dir.file(QStringLiteral("config")),
                 QStringLiteral("LANG=C.UTF-8")};
        ASSERT_TRUE(writeBytes(m_dir.file(QStringLiteral("t.json")),
                               "{\"tag\": \"TABLES\", \"rows\": [{\"key\": \"a\", \"cols\": "
                               "[{\"key\": \"TL_NAME\", \"value\": \"a\"}]}]}"));
    }
    QString Package(const QString& name, const QMap<QString, QByteArray>& extra)
    {
        QMap<QString, QByteArray> files{
            {QStringLiteral("model_info.qvns"), Info(QStringLiteral("M"), QStringLiteral("1"))},
            {QStringLiteral("model_file.qvns"),
             FileList({{QStringLiteral("t.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>.txt"), QStringLiteral("EACHFILE"),
                        QStringLiteral("1")}})},
            {QStringLiteral("t.txt"), "<ORVE>TL_NAME</ORVE>"}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            files.insert(it.key(), it.value());
        const QString package = m_dir.file(name + QStringLiteral(".qvnm"));
        EXPECT_TRUE(MakePackage(m_dir.file(QStringLiteral("src/") + name), package, files));
        return package;
    }
    QStringList Generate(const QString& package, const QString& out) const
    {
        return {QStringLiteral("generate"), QStringLiteral("--model"),           package, QStringLiteral("--out"), out,
                QStringLiteral("--data"),   m_dir.file(QStringLiteral("t.json"))};
    }
    // The user the unprivileged cases run as; empty (with the reason in `why`) when there is none.
    QString Unprivileged(QString& why) const
    {
        if (geteuid() != 0) {
            why = QStringLiteral("the tests do not run as root, so no other user can be taken on");
            return QString();
        }
        if (RunProgram(QStringLiteral("runuser"), {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                                                   QStringLiteral("test"), QStringLiteral("-x"), kCli}) != 0) {
            why = QStringLiteral("the user nobody cannot run ") + kCli;
            return QString();
        }
        return QStringLiteral("nobody");
    }

    TempDir m_dir;
    QStringList m_env;
};

} // namespace

TEST_F(InteropReliability, OutputFoldersTheFileSystemRefusesFailWithTheReason)
{
    const QString package = Package(QStringLiteral("ok"), {});
    ASSERT_TRUE(QFile::link(m_dir.file(QStringLiteral("loop")), m_dir.file(QStringLiteral("loop"))));
    for (const QString& out : {m_dir.file(QString(256, QLatin1Char('n'))), m_dir.file(QStringLiteral("loop/out"))}) {
        const Result r = RunCli(Generate(package, out), m_env);
        EXPECT_EQ(r.code, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Cannot create folder"))) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QStringLiteral("Generation finished."))) << r.err.toStdString();
    }
}

TEST_F(InteropReliability, DamagedDescriptionFilesAreNotASuccess)
{
    const QString noList =
        Package(QStringLiteral("nolist"), {{QStringLiteral("model_file.qvns"), "<MODEL_FILE><FILE>"}});
    Result r = RunCli(Generate(noList, m_dir.file(QStringLiteral("out1"))), m_env);
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("model_file.qvns:1: "))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("Generation finished."))) << r.err.toStdString();

    const QString cutVars =
        Package(QStringLiteral("cutvars"), {{QStringLiteral("model_var.qvns"), "<V><R><MV_NO>MV_DIR</MV_NO><MV_DEF"}});
    r = RunCli(Generate(cutVars, m_dir.file(QStringLiteral("out2"))), m_env);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.code, -1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("model_var.qvns:1: "))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(m_dir.file(QStringLiteral("out2")))) << "nothing is written";
}

TEST_F(InteropReliability, AnUnprivilegedUserGetsMessagesWhereFoldersCannotBeEntered)
{
    QString why;
    const QString user = Unprivileged(why);
    if (user.isEmpty())
        GTEST_SKIP() << why.toStdString();
    // A home folder the user cannot search (the settings and temp folders live below it), and an
    // output folder below a folder the user cannot enter.
    ASSERT_TRUE(QDir().mkpath(m_dir.file(QStringLiteral("home"))));
    ASSERT_TRUE(QDir().mkpath(m_dir.file(QStringLiteral("locked"))));
    QFile::setPermissions(m_dir.file(QStringLiteral("home")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(m_dir.file(QStringLiteral("locked")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QStringList env{QStringLiteral("HOME=") + m_dir.file(QStringLiteral("home")),
                          QStringLiteral("XDG_DATA_HOME="), QStringLiteral("XDG_CONFIG_HOME="),
                          QStringLiteral("LANG=C.UTF-8")};

    Result r = RunCli({QStringLiteral("eval"), QStringLiteral("1 + 1")}, env, user);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), QStringLiteral("2"));

    r = RunCli({QStringLiteral("project"), QStringLiteral("info"), m_dir.file(QStringLiteral("none.qvnp"))}, env, user);
    EXPECT_GT(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.trimmed().isEmpty());

    const QString package = Package(QStringLiteral("ok"), {});
    QFile::setPermissions(package, QFile::permissions(package) | QFileDevice::ReadOther);
    r = RunCli(Generate(package, m_dir.file(QStringLiteral("locked/out"))), m_env, user);
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("Cannot create folder"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("ermission denied"))) << r.err.toStdString();
}

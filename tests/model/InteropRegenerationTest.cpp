// quorvin-cli generate over a folder that already holds a build: the dry run's exit codes, Ctrl-C at
// any moment, and kill -9 while publishing, each checked against the folder's files.
#include "ModelTestSupport.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

using namespace modeltest;

namespace {

const QString kCli = QStringLiteral(QUORVIN_APP_DIR) + QStringLiteral("/quorvin-cli");

/// Every file below `folder`, hidden ones too: bytes and modification time in nanoseconds.
QMap<QString, QPair<QByteArray, qint64>> Snapshot(const QString& folder)
{
    QMap<QString, QPair<QByteArray, qint64>> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    const QDir root(folder);
    while (it.hasNext()) {
        const QString path = it.next();
        std::error_code ec;
        const auto time = std::filesystem::last_write_time(path.toStdString(), ec).time_since_epoch().count();
        files.insert(root.relativeFilePath(path), {readBytes(path), qint64(time)});
    }
    return files;
}

/// True when the process has a handler for `signal` (its SigCgt mask in /proc).
bool Catches(qint64 pid, int signal)
{
    const QByteArray status = readBytes(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf("SigCgt:");
    if (at < 0)
        return false;
    const QByteArray mask = status.mid(at + 7, status.indexOf('\n', at) - at - 7).trimmed();
    return (mask.toULongLong(nullptr, 16) >> (signal - 1)) & 1;
}

class InteropRegeneration : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // `count` tables, one small file each, and the list of them.
        QByteArray json = "{\"tag\": \"TABLES\", \"rows\": [";
        for (int i = 0; i < kTables; ++i)
            json += (i ? "," : "") + QByteArray("{\"key\": \"t") + QByteArray::number(i) +
                    "\", \"cols\": [{\"key\": \"TL_NAME\", \"value\": \"t" + QByteArray::number(i) + "\"}]}";
        json += "]}";
        ASSERT_TRUE(writeBytes(m_dir.file(QStringLiteral("t.json")), json));
        ASSERT_TRUE(MakePackage(
            m_dir.file(QStringLiteral("src")), Package(),
            {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("K"), QStringLiteral("1"))},
             {QStringLiteral("model_file.qvns"),
              FileList({{QStringLiteral("t.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>.txt"),
                         QStringLiteral("EACHFILE"), QStringLiteral("1")},
                        {QStringLiteral("all.txt"), QStringLiteral("all.txt"), QString(), QStringLiteral("1")}})},
             {QStringLiteral("t.txt"), "<ORVE>TL_NAME</ORVE> <ORVE>MV_V</ORVE>\n"},
             {QStringLiteral("all.txt"), "<ORVE_TABLES><ORVE>TL_NAME</ORVE>\n</ORVE_TABLES>"}}));
    }
    QString Package() const { return m_dir.file(QStringLiteral("k.qvnm")); }
    QString Out() const { return m_dir.file(QStringLiteral("out")); }
    QStringList Args(const QString& value, const QStringList& more = {}) const
    {
        return QStringList{QStringLiteral("generate"),
                           QStringLiteral("--model"),
                           Package(),
                           QStringLiteral("--out"),
                           Out(),
                           QStringLiteral("--data"),
                           m_dir.file(QStringLiteral("t.json")),
                           QStringLiteral("--var"),
                           QStringLiteral("MV_V=") + value} +
               more;
    }
    void Start(QProcess& p, const QStringList& args) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.file(QStringLiteral("config")));
        env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        p.setProcessEnvironment(env);
        p.start(kCli, args);
        ASSERT_TRUE(p.waitForStarted());
    }
    int Run(const QStringList& args, QString* out = nullptr, QString* err = nullptr) const
    {
        QProcess p;
        Start(p, args);
        if (!p.waitForFinished(120000))
            return -1;
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    static constexpr int kTables = 800;
    TempDir m_dir;
};

} // namespace

TEST_F(InteropRegeneration, DryRunSaysWhetherAnythingWouldChangeAndDiffShowsHow)
{
    QString out, err;
    EXPECT_EQ(Run(Args(QStringLiteral("a"), {QStringLiteral("--dry-run")}), &out, &err), 3) << err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Out())); // a dry run writes nothing, not even the folder
    EXPECT_TRUE(out.contains(QStringLiteral("new")));
    ASSERT_EQ(Run(Args(QStringLiteral("a")), &out, &err), 0) << err.toStdString();
    const auto built = Snapshot(Out());
    EXPECT_EQ(Run(Args(QStringLiteral("a"), {QStringLiteral("--dry-run")})), 0);
    EXPECT_TRUE(writeBytes(Out() + QStringLiteral("/t1.txt"), "mine\n"));
    EXPECT_EQ(Run(Args(QStringLiteral("a"), {QStringLiteral("--dry-run")}), &out), 0); // the edit is kept
    EXPECT_TRUE(out.contains(QStringLiteral("edited by you"))) << out.toStdString();
    EXPECT_EQ(Run(Args(QStringLiteral("b"), {QStringLiteral("--dry-run"), QStringLiteral("--diff")}), &out), 3);
    EXPECT_TRUE(out.contains(QStringLiteral("--- a/t2.txt\n+++ b/t2.txt\n@@ -1 +1 @@\n-t2 a\n+t2 b\n")))
        << out.left(2000).toStdString();
    EXPECT_EQ(Snapshot(Out()).value(QStringLiteral("t2.txt")), built.value(QStringLiteral("t2.txt")));
    EXPECT_EQ(Run(Args(QStringLiteral("b"), {QStringLiteral("--on-conflict"), QStringLiteral("sometimes")})), 2);

    // t1.txt conflicts (edited, and the build changes it): merge falls back to t1.txt.new.
    ASSERT_EQ(Run(Args(QStringLiteral("b")), &out, &err), 0) << err.toStdString();
    EXPECT_EQ(readBytes(Out() + QStringLiteral("/t1.txt")), QByteArray("mine\n"));
    EXPECT_EQ(readBytes(Out() + QStringLiteral("/t1.txt.new")), QByteArray("t1 b\n"));
    EXPECT_EQ(readBytes(Out() + QStringLiteral("/t2.txt")), QByteArray("t2 b\n"));
}

TEST_F(InteropRegeneration, CtrlCAtAnyMomentCancelsAndLeavesTheFolderAsItWas)
{
    ASSERT_EQ(Run(Args(QStringLiteral("a"))), 0);
    const auto before = Snapshot(Out());
    int cancelled = 0;
    for (const int delay : {0, 20, 60, 120, 200, 300, 450}) {
        SCOPED_TRACE(delay);
        QProcess p;
        Start(p, Args(QStringLiteral("b")));
        // From the moment the program catches SIGINT (the first thing generate does).
        QElapsedTimer clock;
        clock.start();
        while (!Catches(p.processId(), SIGINT) && p.state() == QProcess::Running && clock.elapsed() < 30000)
            QThread::usleep(200);
        QThread::msleep(delay);
        ::kill(pid_t(p.processId()), SIGINT);
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        if (p.exitStatus() == QProcess::CrashExit) {
            // The signal came after the build had published, while the program was ending: that
            // is the usual end of a program interrupted then, and only then.
            EXPECT_NE(Snapshot(Out()), before) << err.right(300).toStdString();
            break;
        }
        if (p.exitCode() == 0) // finished before the signal came
            break;
        ++cancelled;
        EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(err.trimmed().endsWith(QStringLiteral("cancelled; the output folder was not changed")))
            << err.right(300).toStdString();
        EXPECT_EQ(Snapshot(Out()), before);
    }
    EXPECT_GE(cancelled, 2);
}

TEST_F(InteropRegeneration, KillDuringPublishingLeavesEveryFileOldOrNew)
{
    ASSERT_EQ(Run(Args(QStringLiteral("v0"))), 0);
    int midway = 0;
    for (int run = 1; run <= 30; ++run) {
        SCOPED_TRACE(run);
        const auto before = Snapshot(Out());
        const QString value = QStringLiteral("v%1").arg(run);
        QProcess p;
        Start(p, Args(value));
        // Files move in name order, t0.txt among the first: once it is new, publishing is under way.
        const QString first = Out() + QStringLiteral("/t0.txt");
        const QByteArray firstNew = QStringLiteral("t0 %1\n").arg(value).toUtf8();
        QElapsedTimer clock;
        clock.start();
        // A build that ends by itself (or could not publish) must not hold the loop up.
        while (readBytes(first) != firstNew && !p.waitForFinished(0) && clock.elapsed() < 60000)
            QThread::usleep(200);
        QThread::usleep(QRandomGenerator::global()->bounded(8000));
        if (p.state() == QProcess::Running)
            ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished(60000);
        const auto after = Snapshot(Out());
        int olds = 0, news = 0;
        for (int i = 0; i < kTables; ++i) {
            const QString name = QStringLiteral("t%1.txt").arg(i);
            const QByteArray now = after.value(name).first;
            const bool isOld = now == before.value(name).first;
            const bool isNew = now == QStringLiteral("t%1 %2\n").arg(i).arg(value).toUtf8();
            ASSERT_TRUE(isOld || isNew) << name.toStdString() << ": " << now.toStdString();
            olds += isOld;
            news += isNew;
        }
        midway += olds > 0 && news > 0;

        for (const QString& name : after.keys())
            ASSERT_TRUE(!name.startsWith(QLatin1Char('.')) || name.startsWith(QStringLiteral(".quorvin/")))
                << name.toStdString();
    }
    // The kills did land while files were moving, and a build after them completes.
    EXPECT_GT(midway, 0);
    ASSERT_EQ(Run(Args(QStringLiteral("last"))), 0);
    EXPECT_EQ(readBytes(Out() + QStringLiteral("/t7.txt")), QByteArray("t7 last\n"));
    EXPECT_EQ(QDir(m_dir.path()).entryList({QStringLiteral(".quorvin-stage-*")}, QDir::Dirs | QDir::Hidden),
              QStringList());
}

// The model commands of quorvin-cli, run as a user runs them.
#include "ModelTestSupport.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>

using namespace modeltest;

namespace {

const QString kApp = QStringLiteral(QUORVIN_APP_DIR);
// quorvin-cli with its settings in a private folder.
class Cli
{
public:
    explicit Cli(const TempDir& dir) : m_dir(dir) {}

    int Run(const QStringList& args, QString* out = nullptr, QString* err = nullptr)
    {
        QProcess p;
        Prepare(p);
        p.start(kApp + QStringLiteral("/quorvin-cli"), args);
        if (!p.waitForFinished(120000))
            return -1;
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    void Prepare(QProcess& p) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.file(QStringLiteral("config")));
        env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_MESSAGES"));
        p.setProcessEnvironment(env);
    }

private:
    const TempDir& m_dir;
};

} // namespace

TEST(InteropCli, ModelsListsTheShippedPackagesAsTextAndJson)
{
    TempDir dir;
    Cli cli(dir);
    QString out, err;
    ASSERT_EQ(cli.Run({QStringLiteral("models"), kApp + QStringLiteral("/models")}, &out, &err), 0)
        << err.toStdString();
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_GE(lines.size(), 3);
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 4) << line.toStdString();
        EXPECT_TRUE(fields[0].startsWith(QStringLiteral("MODEL_")));
        EXPECT_TRUE(QFileInfo::exists(fields[3]));
    }
    ASSERT_EQ(
        cli.Run({QStringLiteral("models"), QStringLiteral("--json"), kApp + QStringLiteral("/models")}, &out, &err), 0);
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(json.value(QStringLiteral("rows")).toArray().size(), lines.size());
    EXPECT_EQ(cli.Run({QStringLiteral("models"), dir.file(QStringLiteral("no-such-folder"))}), 2);
}

TEST(InteropCli, PackageWritesBesideEachFolderAndGenerateUsesIt)
{
    TempDir dir;
    Cli cli(dir);
    ASSERT_TRUE(WriteTree(
        dir.file(QStringLiteral("m/one")),
        {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("One"), QStringLiteral("1"))},
         {QStringLiteral("model_var.qvns"),
          RecordFile(QStringLiteral("V"), QStringLiteral("R"),
                     {{QStringLiteral("MV_NO"), QStringLiteral("MV_GREETING"), QStringLiteral("MV_DEFAULT"),
                       QStringLiteral("hello <ORVE>RVG_DATE</ORVE>")}})},
         {QStringLiteral("model_file.qvns"),
          FileList({{QStringLiteral("t.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>.txt"), QStringLiteral("EACHFILE"),
                     QStringLiteral("1")},
                    {QStringLiteral("t.txt"), QStringLiteral("../outside.txt"), QString(), QStringLiteral("1")}})},
         {QStringLiteral("t.txt"), "<ORVE>MV_GREETING</ORVE>/<ORVE>MV_EXTRA</ORVE>"}}));
    ASSERT_TRUE(WriteTree(dir.file(QStringLiteral("m/two")),
                          {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("Two"), QStringLiteral("1"))}}));
    QString out, err;
    ASSERT_EQ(cli.Run({QStringLiteral("package"), dir.file(QStringLiteral("m/one")), dir.file(QStringLiteral("m/two/")),
                       QStringLiteral("--ext"), QStringLiteral("pkg")},
                      &out, &err),
              0)
        << err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("m/one.pkg"))));
    EXPECT_TRUE(QFileInfo::exists(dir.file(QStringLiteral("m/two.pkg"))));
    EXPECT_EQ(cli.Run({QStringLiteral("package"), dir.file(QStringLiteral("missing"))}), 2);

    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("t.json")),
                           "{\"tag\": \"TABLES\", \"rows\": [{\"key\": \"a\", \"cols\": "
                           "[{\"key\": \"TL_NAME\", \"value\": \"a\"}]}]}"));
    const int code =
        cli.Run({QStringLiteral("generate"), QStringLiteral("--model"), dir.file(QStringLiteral("m/one.pkg")),
                 QStringLiteral("--out"), dir.file(QStringLiteral("gen")), QStringLiteral("--data"),
                 dir.file(QStringLiteral("t.json")), QStringLiteral("--var"), QStringLiteral("MV_EXTRA=x=y")},
                &out, &err);
    EXPECT_EQ(code, 1); // the second entry climbs out and is refused
    EXPECT_EQ(err.count(QStringLiteral("Refused")), 1) << err.toStdString(); // logged once, not again at the end
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("outside.txt"))));
    // A failed build publishes nothing; the same build without the refused entry does.
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("gen"))));
    ASSERT_TRUE(
        WriteTree(dir.file(QStringLiteral("ok")),
                  {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("Ok"), QStringLiteral("1"))},
                   {QStringLiteral("model_var.qvns"),
                    RecordFile(QStringLiteral("V"), QStringLiteral("R"),
                               {{QStringLiteral("MV_NO"), QStringLiteral("MV_GREETING"), QStringLiteral("MV_DEFAULT"),
                                 QStringLiteral("hello <ORVE>RVG_DATE</ORVE>")}})},
                   {QStringLiteral("model_file.qvns"),
                    FileList({{QStringLiteral("t.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>.txt"),
                               QStringLiteral("EACHFILE"), QStringLiteral("1")}})},
                   {QStringLiteral("t.txt"), "<ORVE>MV_GREETING</ORVE>/<ORVE>MV_EXTRA</ORVE>"}}));
    ASSERT_EQ(cli.Run({QStringLiteral("package"), dir.file(QStringLiteral("ok"))}), 0);
    EXPECT_EQ(cli.Run({QStringLiteral("generate"), QStringLiteral("--model"), dir.file(QStringLiteral("ok.qvnm")),
                       QStringLiteral("--out"), dir.file(QStringLiteral("gen")), QStringLiteral("--data"),
                       dir.file(QStringLiteral("t.json")), QStringLiteral("--var"), QStringLiteral("MV_EXTRA=x=y")},
                      &out, &err),
              0)
        << err.toStdString();
    EXPECT_EQ(out.trimmed().split(QLatin1Char('\n')).last(),
              QDir(dir.file(QStringLiteral("gen"))).absolutePath() + QLatin1Char('/'));
    EXPECT_EQ(ReadText(dir.file(QStringLiteral("gen/a.txt"))),
              QStringLiteral("hello ") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                  QStringLiteral("/x=y"));

    // Bad usage and bad input
    EXPECT_EQ(cli.Run({QStringLiteral("generate"), QStringLiteral("--model"), dir.file(QStringLiteral("m/one.pkg"))}),
              2);
    EXPECT_EQ(cli.Run({QStringLiteral("generate"), QStringLiteral("--model"), dir.file(QStringLiteral("m/none.pkg")),
                       QStringLiteral("--out"), dir.file(QStringLiteral("g2")), QStringLiteral("--data"),
                       dir.file(QStringLiteral("t.json"))}),
              2);
    EXPECT_EQ(cli.Run({QStringLiteral("generate"), QStringLiteral("--model"), dir.file(QStringLiteral("m/one.pkg")),
                       QStringLiteral("--out"), dir.file(QStringLiteral("g2")), QStringLiteral("--data"),
                       dir.file(QStringLiteral("missing.json"))}),
              2);
}

TEST(InteropCli, CtrlCCancelsAGenerationLikeTheCancelButton)
{
    TempDir dir;
    Cli cli(dir);
    // Many small tables, so the build is still running when the signal arrives.
    QString script = QStringLiteral(
        "import json, sys\n"
        "rows = [{'key': f't{i}', 'cols': [{'key': 'TL_NAME', 'value': f't{i}'}, {'key': 'COLUMNS', 'value': "
        "{'tag': 'COLUMNS', 'rows': [{'key': 'c', 'cols': [{'key': 'CL_NAME', 'value': 'c'}]}]}}]} for i in "
        "range(20000)]\n"
        "json.dump({'tag': 'TABLES', 'rows': rows}, open(sys.argv[1], 'w'))\n");
    ASSERT_EQ(
        RunProgram(QStringLiteral("python3"), {QStringLiteral("-c"), script, dir.file(QStringLiteral("big.json"))}), 0);
    ASSERT_TRUE(
        WriteTree(dir.file(QStringLiteral("m")),
                  {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("Slow"), QStringLiteral("1"))},
                   {QStringLiteral("model_file.qvns"),
                    FileList({{QStringLiteral("t.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>.txt"),
                               QStringLiteral("EACHFILE"), QStringLiteral("1")},
                              {QStringLiteral("t.txt"), QStringLiteral("last.txt"), QString(), QStringLiteral("1")}})},
                   {QStringLiteral("t.txt"), "<ORVE_COLUMNS><ORVE>CL_NAME</ORVE></ORVE_COLUMNS>"}}));
    ASSERT_EQ(cli.Run({QStringLiteral("package"), dir.file(QStringLiteral("m"))}), 0);

    QProcess p;
    cli.Prepare(p);
    p.start(kApp + QStringLiteral("/quorvin-cli"),
            {QStringLiteral("generate"), QStringLiteral("--model"), dir.file(QStringLiteral("m.qvnm")),
             QStringLiteral("--out"), dir.file(QStringLiteral("gen")), QStringLiteral("--data"),
             dir.file(QStringLiteral("big.json"))});
    ASSERT_TRUE(p.waitForStarted());
    // Wait until tables are being generated, then interrupt.
    QElapsedTimer clock;
    clock.start();
    // The build writes into a staging folder beside the output folder.
    const auto staged = [&] {
        for (const QString& stage :
             QDir(dir.path()).entryList({QStringLiteral(".quorvin-stage-*")}, QDir::Dirs | QDir::Hidden))
            if (QFileInfo::exists(dir.file(stage + QStringLiteral("/files/t5.txt"))))
                return true;
        return false;
    };
    while (!staged() && clock.elapsed() < 60000)
        p.waitForFinished(20);
    ASSERT_EQ(p.state(), QProcess::Running) << "the build finished before it could be cancelled";
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Generation did not finish (cancelled or failed).")))
        << err.right(400).toStdString();
    EXPECT_TRUE(err.trimmed().endsWith(QStringLiteral("cancelled; the output folder was not changed")))
        << err.right(400).toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.file(QStringLiteral("gen")))); // it did not exist before
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral(".quorvin-stage-*")}, QDir::Dirs | QDir::Hidden),
              QStringList());
}

// The language of the model list: the window's setting, else the system's; --language overrides it
// anywhere before "--", and a value that is no language number is bad usage.
TEST(InteropCli, ModelTextsFollowTheLanguageSettingUnlessTheOptionOverridesIt)
{
    TempDir dir;
    Cli cli(dir);
    const QString models = kApp + QStringLiteral("/models");
    const auto names = [&](const QStringList& args, int* code = nullptr) {
        QString out, err;
        const int exit = cli.Run(args, &out, &err);
        if (code)
            *code = exit;
        QStringList list;
        for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            list << line.section(QLatin1Char('\t'), 1, 1);
        return list.join(QLatin1Char('|'));
    };
    const QString english = names({QStringLiteral("models"), models});
    EXPECT_TRUE(english.contains(QStringLiteral("Data dictionary (HTML)"))) << english.toStdString();

    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("config"))));
    QFile setting(dir.file(QStringLiteral("config/Pellmar Quorvin.ini")));
    ASSERT_TRUE(setting.open(QIODevice::WriteOnly));
    setting.write("[Setup]\nLanguage=2052\n");
    setting.close();
    const QString chinese = names({QStringLiteral("models"), models});
    EXPECT_TRUE(chinese.contains(QStringLiteral("数据字典 (HTML)"))) << chinese.toStdString();

    EXPECT_EQ(names({QStringLiteral("--language"), QStringLiteral("1033"), QStringLiteral("models"), models}), english);
    EXPECT_EQ(names({QStringLiteral("models"), models, QStringLiteral("--language=1033")}), english);
    EXPECT_EQ(names({QStringLiteral("models"), QStringLiteral("--language"), QStringLiteral("2052"), models}), chinese);
    for (const QString& bad : {QStringLiteral("zh"), QStringLiteral("../1033"), QStringLiteral("")}) {
        int code = 0;
        names({QStringLiteral("--language=") + bad, QStringLiteral("models"), models}, &code);
        EXPECT_EQ(code, 2) << bad.toStdString();
    }
    int code = 0;
    names({QStringLiteral("models"), models, QStringLiteral("--language")}, &code);
    EXPECT_EQ(code, 2);
}

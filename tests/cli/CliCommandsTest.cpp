// quorvin-cli expand, eval and vars as a script sees them: bytes on standard output, one line on
// standard error, and the exit code.
#include "QtPrinters.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

CliRun cli(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(QUORVIN_APP_DIR "/quorvin-cli"), args);
    CliRun r;
    if (!p.waitForFinished(60000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QString golden(const QString& name, const char* file)
{
    return testDataDir() + QStringLiteral("/engine/golden/") + name + QLatin1Char('/') + QLatin1String(file);
}

bool isOneLine(const QByteArray& text)
{
    return text.endsWith('\n') && text.count('\n') == 1 && text.size() > 1;
}

} // namespace

TEST(CliExpand, GoldenCasesGiveTheirExpectedBytes)
{
    const QStringList cases =
        QDir(testDataDir() + QStringLiteral("/engine/golden")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_FALSE(cases.isEmpty());
    for (const QString& name : cases) {
        const CliRun r = cli({QStringLiteral("expand"), golden(name, "template.txt"), golden(name, "input.json")});
        EXPECT_EQ(r.exitCode, 0) << name.toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(r.out, readBytes(golden(name, "expected.txt"))) << name.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << name.toStdString();
    }
}

TEST(CliExpand, ACrLfTemplateGivesTheOutputOfItsLfTwinWithCrLfBreaks)
{
    TempDir dir;
    for (const QString& name : {QStringLiteral("cols_tables"), QStringLiteral("rows_values")}) {
        QByteArray text = readBytes(golden(name, "template.txt"));
        ASSERT_FALSE(text.contains('\r'));
        text.replace("\n", "\r\n");
        const QString path = dir.file(name + QStringLiteral(".txt"));
        ASSERT_TRUE(writeBytes(path, text));
        const CliRun r = cli({QStringLiteral("expand"), path, golden(name, "input.json")});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, readBytes(golden(name, "expected.txt")).replace("\n", "\r\n")) << name.toStdString();
    }
}

TEST(CliExpand, TimingGoesToStandardErrorAsOneLine)
{
    const CliRun r = cli({QStringLiteral("expand"), QStringLiteral("--timing"),
                          golden(QStringLiteral("rows_values"), "template.txt"),
                          golden(QStringLiteral("rows_values"), "input.json")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, readBytes(golden(QStringLiteral("rows_values"), "expected.txt")));
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^read: \\d+ ms, expand: \\d+ ms \\(cpu: read \\d+ ms, expand \\d+ ms\\)\\n$"))
                    .match(QString::fromUtf8(r.err))
                    .hasMatch())
        << r.err.toStdString();
}

TEST(CliExpand, BadInputExitsWithTwoAndOneLineOnStandardError)
{
    TempDir dir;
    const QString tpl = golden(QStringLiteral("rows_values"), "template.txt");
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("bad.json")), QByteArray("{\"tag\": \"T\", \"rows\": [")));
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("array.json")), QByteArray("[1, 2]")));
    const QList<QStringList> calls = {
        {QStringLiteral("expand"), tpl, dir.file(QStringLiteral("bad.json"))},
        {QStringLiteral("expand"), tpl, dir.file(QStringLiteral("array.json"))},
        {QStringLiteral("expand"), tpl, dir.file(QStringLiteral("missing.json"))},
        {QStringLiteral("expand"), dir.file(QStringLiteral("missing.txt")),
         golden(QStringLiteral("rows_values"), "input.json")},
        {QStringLiteral("expand"), tpl},
        {QStringLiteral("expand"), QStringLiteral("--fast"), tpl, golden(QStringLiteral("rows_values"), "input.json")},
        {QStringLiteral("vars"), dir.file(QStringLiteral("missing.qvns"))},
        {QStringLiteral("vars")},
        {QStringLiteral("eval")},
    };
    for (const QStringList& args : calls) {
        const CliRun r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(isOneLine(r.err)) << args.join(QLatin1Char(' ')).toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_TRUE(cli({QStringLiteral("expand"), tpl, dir.file(QStringLiteral("bad.json"))})
                    .err.contains("bad.json: malformed JSON at line 1"));
}

TEST(CliExpand, RunawayExpansionAndEndlessDataStopWithOneLine)
{
    const QString dir = testDataDir() + QStringLiteral("/engine/limits/");
    for (const char* data : {"doubling_24.json", "doubling_40.json"}) {
        const CliRun r =
            cli({QStringLiteral("expand"), dir + QStringLiteral("doubling.txt"), dir + QLatin1String(data)});
        EXPECT_EQ(r.exitCode, 2) << data;
        EXPECT_TRUE(r.out.isEmpty()) << data;
        EXPECT_TRUE(isOneLine(r.err) && r.err.contains("engine's limit")) << data << ": " << r.err.toStdString();
    }
    const CliRun zero =
        cli({QStringLiteral("expand"), dir + QStringLiteral("doubling.txt"), QStringLiteral("/dev/zero")});
    EXPECT_EQ(zero.exitCode, 2);
    EXPECT_TRUE(isOneLine(zero.err) && zero.err.contains("larger than 256 MiB")) << zero.err.toStdString();
}

TEST(CliExpand, LargeOutputKeepsEverySurrogatePairWhole)
{
    // Output longer than the slices it is written in, with a pair at every possible place.
    TempDir dir;
    QString value = QStringLiteral("x");
    for (int i = 0; i < 70000; ++i)
        value += QString::fromUtf8("\xF0\x9F\x98\x80");
    QJsonArray cols{QJsonObject{{QStringLiteral("key"), QStringLiteral("A")}, {QStringLiteral("value"), value}}};
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("data.json")),
                           QJsonDocument(QJsonObject{{QStringLiteral("cols"), cols}}).toJson()));
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("t.txt")), QByteArray("<ORVE>A</ORVE>|<ORVE>A</ORVE>")));
    const CliRun r =
        cli({QStringLiteral("expand"), dir.file(QStringLiteral("t.txt")), dir.file(QStringLiteral("data.json"))});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out == (value + u'|' + value).toUtf8()) << r.out.size();
}

TEST(CliEval, WritesTheValueAsTextWithNothingAdded)
{
    EXPECT_EQ(cli({QStringLiteral("eval"), QStringLiteral("1+2")}).out, QByteArray("3"));
    EXPECT_EQ(cli({QStringLiteral("eval"), QString::fromUtf8("\"a\" & \"\xe4\xb8\xad\"")}).out,
              QByteArray("a\xe4\xb8\xad"));
    EXPECT_EQ(cli({QStringLiteral("eval"), QStringLiteral("2"), QStringLiteral("*"), QStringLiteral("3")}).out,
              QByteArray("6"));
    EXPECT_EQ(cli({QStringLiteral("eval"), QStringLiteral("--"), QStringLiteral("-1")}).out, QByteArray("-1"));
    const CliRun error = cli({QStringLiteral("eval"), QStringLiteral("1/0")});
    EXPECT_EQ(error.exitCode, 0);
    EXPECT_TRUE(error.out.isEmpty());
}

TEST(CliVars, WritesTheSectionsAsKeyValuePairs)
{
    TempDir dir;
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("model_orve.qvns")),
                           QByteArray("ignored\r\n[A]\r\nx\r\n\ty\r\n[B]\r\n[\xe5\x90\x8d]\r\nz")));
    const CliRun r = cli({QStringLiteral("vars"), dir.file(QStringLiteral("model_orve.qvns"))});
    EXPECT_EQ(r.exitCode, 0);
    const QJsonArray pairs = QJsonDocument::fromJson(r.out).array();
    const QJsonArray expected = {QJsonArray{QStringLiteral("A"), QStringLiteral("x\r\n    y")},
                                 QJsonArray{QStringLiteral("B"), QString()},
                                 QJsonArray{QString::fromUtf8("\xe5\x90\x8d"), QStringLiteral("z")}};
    EXPECT_EQ(pairs, expected);
}

TEST(CliDiagnostics, ExpandReportsMistakesOnStandardErrorAndCheckSaysWhetherAModelIsClean)
{
    TempDir dir;
    const QString tpl = dir.file(QStringLiteral("t.txt"));
    ASSERT_TRUE(writeBytes(tpl, "a\r\n<ORVE>NOPE</ORVE> <ORVE_CALC>1/0</ORVE_CALC>\r\n"));
    const QString data = golden(QStringLiteral("rows_values"), "input.json");
    const CliRun r = cli({QStringLiteral("expand"), tpl, data});
    EXPECT_EQ(r.exitCode, 0);
    const QStringList lines = QString::fromUtf8(r.err).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << r.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith(tpl + QStringLiteral(":2:19: calculated block: error 11 (Division by zero)")));
    EXPECT_TRUE(lines[1].startsWith(tpl + QStringLiteral(":2:1: no value for the variable \"NOPE\"")));
    const CliRun strict = cli({QStringLiteral("expand"), QStringLiteral("--strict"), tpl, data});
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_EQ(strict.out, r.out); // reported, never applied
    EXPECT_TRUE(cli({QStringLiteral("expand"), QStringLiteral("--no-diagnostics"), tpl, data}).err.isEmpty());

    const QString tables = testDataDir() + QStringLiteral("/../../resources/sample/tables.json");
    const QString python = testDataDir() + QStringLiteral("/../../resources/models/python");
    const CliRun clean = cli({QStringLiteral("check"), python, QStringLiteral("--data"), tables});
    EXPECT_EQ(clean.exitCode, 0) << clean.out.toStdString() << clean.err.toStdString();
    EXPECT_TRUE(clean.out.isEmpty());
    EXPECT_EQ(
        cli({QStringLiteral("check"), dir.file(QStringLiteral("none")), QStringLiteral("--data"), tables}).exitCode, 2);
}

#include "Mdl_Main.h"
#include "ModelTestSupport.h"
#include "QVNModel.h"
#include "TempDir.h"
#include "TestSupport.h"
#include "TextEncoding.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

struct Message
{
    QString text;
    bool self;
};

// Builds one package from `files` and runs it over `tables` into dir/out; records every message.
class BuildFixture : public ::testing::Test
{
protected:
    void SetUp() override { UseAppFolder(m_dir); }

    bool Build(const QMap<QString, QByteArray>& files, const TQXRowsPtr& tables,
               std::function<void(const QString&, bool&, bool)> extra = {})
    {
        QMap<QString, QByteArray> all = files;
        if (!all.contains(QStringLiteral("model_info.qvns")))
            all.insert(QStringLiteral("model_info.qvns"), Info(QStringLiteral("T"), QStringLiteral("1")));
        const QString package = m_dir.file(QStringLiteral("pkg%1.qvnm").arg(++m_count));
        EXPECT_TRUE(MakePackage(m_dir.file(QStringLiteral("src%1").arg(m_count)), package, all));
        m_messages.clear();
        auto listener = [this, extra](bool self) {
            return [this, extra, self](const QString& m, bool& cancel) {
                if (!m.isEmpty())
                    m_messages.push_back({m, self});
                if (extra)
                    extra(m, cancel, self);
            };
        };
        m_model.SetProgressListener(listener(true), listener(false));
        return m_model.BuildProcess(package, Out(), CallerVariables(Out()), tables);
    }
    QString Out() const { return m_dir.file(QStringLiteral("out/")); }
    QStringList MainLog() const
    {
        QStringList log;
        for (const Message& m : m_messages)
            if (m.self)
                log.append(m.text);
        return log;
    }

    TempDir m_dir;
    QVNModel m_model;
    std::vector<Message> m_messages;
    int m_count = 0;
};

} // namespace

TEST_F(BuildFixture, EachFileMakesOneOutputPerTableAndANormalEntryListsAllTables)
{
    const bool ok =
        Build({{QStringLiteral("model_file.qvns"),
                FileList({{QStringLiteral("t.txt"), QStringLiteral("per/<ORVE>TL_NAME</ORVE>.txt"),
                           QStringLiteral("eachfile"), QStringLiteral("1")},
                          {QStringLiteral("all.txt"), QStringLiteral("all.txt"), QString(), QStringLiteral("1")}})},
               {QStringLiteral("t.txt"), "<ORVE>TL_CNAME2</ORVE>:<ORVE_COLUMNS><ORVE>CL_NAME</ORVE>,</ORVE_COLUMNS>"},
               {QStringLiteral("all.txt"), "<ORVE_TABLES>[<ORVE>TL_NAME</ORVE>]</ORVE_TABLES>"}},
              Tables({QStringLiteral("alpha"), QStringLiteral("beta")}));
    EXPECT_TRUE(ok) << m_model.Exceptions.ToString().toStdString();
    EXPECT_EQ(ListFiles(Out()), (QStringList{QStringLiteral("all.txt"), QStringLiteral("per/alpha.txt"),
                                             QStringLiteral("per/beta.txt")}));
    EXPECT_EQ(ReadText(Out() + QStringLiteral("per/alpha.txt")), QStringLiteral("ALPHA:id,name,"));
    EXPECT_EQ(ReadText(Out() + QStringLiteral("all.txt")), QStringLiteral("[alpha][beta]"));
    const QStringList log = MainLog();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_TRUE(log.first().startsWith(QStringLiteral("Creating the output folder [")));
    EXPECT_EQ(log.last(), QStringLiteral("Generation finished."));
    EXPECT_TRUE(log.contains(QStringLiteral("Generating file [ per/beta.txt ] ...")));
    // Engine messages arrive wrapped in the last main message.
    bool wrapped = false;
    for (const Message& m : m_messages)
        wrapped |= !m.self && m.text.startsWith(QStringLiteral("Generating file [ all.txt ] ...  [  Convert"));
    EXPECT_TRUE(wrapped);
    EXPECT_EQ(QDir(Mdl_Main::AppPath + QStringLiteral("temp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList()); // the unpacked package is gone
}

TEST_F(BuildFixture, NoTableChosenStillSucceedsAndSectionVariablesSeeLaterVariables)
{
    const bool ok =
        Build({{QStringLiteral("model_file.qvns"),
                FileList({{QStringLiteral("t.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>.txt"),
                           QStringLiteral("EACHFILE"), QStringLiteral("1")},
                          {QStringLiteral("s.txt"), QStringLiteral("s.txt"), QString(), QStringLiteral("1")}})},
               {QStringLiteral("model_orve.qvns"), "[STAMP]\r\nmade <ORVE>RVG_DATE</ORVE>\r\n[OTHER]\r\nx"},
               {QStringLiteral("t.txt"), "table"},
               {QStringLiteral("s.txt"), "<ORVE>STAMP</ORVE>|<ORVE_TABLES>never</ORVE_TABLES>|"}},
              Tables({}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(ListFiles(Out()), QStringList{QStringLiteral("s.txt")});
    EXPECT_EQ(ReadText(Out() + QStringLiteral("s.txt")),
              QStringLiteral("made ") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                  QStringLiteral("||"));
}

TEST_F(BuildFixture, CancelBetweenEntriesStopsBeforeTheThirdOutput)
{
    const bool ok =
        Build({{QStringLiteral("model_file.qvns"),
                FileList({{QStringLiteral("a.txt"), QStringLiteral("1.txt"), QString(), QStringLiteral("1")},
                          {QStringLiteral("a.txt"), QStringLiteral("2.txt"), QString(), QStringLiteral("1")},
                          {QStringLiteral("a.txt"), QStringLiteral("3.txt"), QString(), QStringLiteral("1")}})},
               {QStringLiteral("a.txt"), "<ORVE>RVG_DATE</ORVE>"}},
              Tables({QStringLiteral("t")}), [](const QString& m, bool& cancel, bool self) {
                  if (self && m.contains(QStringLiteral("[ 2.txt ]")))
                      cancel = true;
              });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(m_model.Canceled());
    EXPECT_TRUE(QFileInfo::exists(Out() + QStringLiteral("1.txt")));
    EXPECT_TRUE(QFileInfo::exists(Out() + QStringLiteral("2.txt"))); // the current output is still written
    EXPECT_FALSE(QFileInfo::exists(Out() + QStringLiteral("3.txt")));
    EXPECT_EQ(MainLog().last(), QStringLiteral("Generation did not finish (cancelled or failed)."));
}

TEST_F(BuildFixture, CancelDuringTheLastEntryIsNotReportedAsSuccess)
{
    const bool ok =
        Build({{QStringLiteral("model_file.qvns"),
                FileList({{QStringLiteral("a.txt"), QStringLiteral("1.txt"), QString(), QStringLiteral("1")}})},
               {QStringLiteral("a.txt"), "<ORVE_TABLES><ORVE>TL_NAME</ORVE></ORVE_TABLES>"}},
              Tables({QStringLiteral("t1"), QStringLiteral("t2")}), [](const QString& m, bool& cancel, bool self) {
                  if (!self && m.contains(QStringLiteral("Convert")))
                      cancel = true;
              });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(m_model.Canceled());
}

TEST_F(BuildFixture, AFailedCopyDoesNotStopLaterEntries)
{
    const bool ok = Build(
        {{QStringLiteral("model_file.qvns"),
          FileList({{QStringLiteral("missing.bin"), QStringLiteral("copy.bin"), QString(), QStringLiteral("0")},
                    {QStringLiteral("missing-folder"), QStringLiteral("f"), QStringLiteral("FOLDER"), QString()},
                    {QStringLiteral("a.txt"), QStringLiteral("sub/dir/a.txt"), QString(), QStringLiteral("0")},
                    {QStringLiteral("absent.txt"), QStringLiteral("empty.txt"), QString(), QStringLiteral("1")}})},
         {QStringLiteral("a.txt"), "copied <ORVE>RVG_DATE</ORVE>"}},
        Tables({}));
    EXPECT_FALSE(ok);
    EXPECT_EQ(ReadText(Out() + QStringLiteral("sub/dir/a.txt")), QStringLiteral("copied <ORVE>RVG_DATE</ORVE>"));
    EXPECT_TRUE(QFileInfo::exists(Out() + QStringLiteral("empty.txt"))); // a missing template expands to ""
    EXPECT_EQ(ReadText(Out() + QStringLiteral("empty.txt")), QString());
    EXPECT_TRUE(MainLog().contains(QStringLiteral("Cannot copy the file [ copy.bin ]")));
    EXPECT_GE(m_model.Exceptions.Count(), 2);
}

TEST_F(BuildFixture, TargetsOutsideTheOutputFolderAreRefusedOneByOne)
{
    ASSERT_TRUE(QDir().mkpath(m_dir.file(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QDir().mkpath(Out()));
    ASSERT_TRUE(QFile::link(m_dir.file(QStringLiteral("elsewhere")), Out() + QStringLiteral("link")));
    const QString absolute = m_dir.file(QStringLiteral("abs.txt"));
    const bool ok = Build(
        {{QStringLiteral("model_file.qvns"),
          FileList({{QStringLiteral("a.txt"), QStringLiteral("../escape.txt"), QString(), QStringLiteral("1")},
                    {QStringLiteral("a.txt"), QStringLiteral("..\\escape2.txt"), QString(), QStringLiteral("1")},
                    {QStringLiteral("a.txt"), absolute, QString(), QStringLiteral("1")},
                    {QStringLiteral("a.txt"), QStringLiteral("link/through.txt"), QString(), QStringLiteral("1")},
                    {QStringLiteral("a.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>/x.txt"), QStringLiteral("EACHFILE"),
                     QStringLiteral("1")},
                    {QStringLiteral("../../../../../../etc/hostname"), QStringLiteral("stolen.txt"), QString(),
                     QStringLiteral("0")},
                    {QStringLiteral("sub"), QStringLiteral("..\\.."), QStringLiteral("FOLDER"), QString()},
                    {QStringLiteral("a.txt"), QStringLiteral("kept\\inside.txt"), QString(), QStringLiteral("1")}})},
         {QStringLiteral("a.txt"), "A"},
         {QStringLiteral("sub/s.txt"), "S"}},
        Tables({QStringLiteral(".."), QStringLiteral("fine")}));
    EXPECT_FALSE(ok);
    EXPECT_EQ(ListFiles(Out()), (QStringList{QStringLiteral("fine/x.txt"), QStringLiteral("kept/inside.txt")}));
    EXPECT_FALSE(QFileInfo::exists(m_dir.file(QStringLiteral("escape.txt"))));
    EXPECT_FALSE(QFileInfo::exists(m_dir.file(QStringLiteral("escape2.txt"))));
    EXPECT_FALSE(QFileInfo::exists(absolute));
    EXPECT_EQ(ListFiles(m_dir.file(QStringLiteral("elsewhere"))), QStringList());
    EXPECT_FALSE(QFileInfo::exists(m_dir.file(QStringLiteral("s.txt"))));
    int refused = 0;
    for (const QString& line : MainLog())
        refused += line.startsWith(QStringLiteral("Refused:")) ? 1 : 0;
    EXPECT_EQ(refused, 7);
}

TEST_F(BuildFixture, OutputKeepsTheTemplatesEncodingAndLineBreaks)
{
    const QString chinese = QStringLiteral("表名：<ORVE>TL_NAME</ORVE>\r\n中文模板\r\n");
    auto encoder = QStringEncoder("GB18030");
    ASSERT_TRUE(encoder.isValid());
    const QByteArray gbBytes = encoder.encode(chinese);
    const bool ok = Build(
        {{QStringLiteral("model_file.qvns"),
          FileList({{QStringLiteral("gb.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>.gb.txt"),
                     QStringLiteral("EACHFILE"), QStringLiteral("1")},
                    {QStringLiteral("u16.txt"), QStringLiteral("u16.txt"), QString(), QStringLiteral("1")}})},
         {QStringLiteral("gb.txt"), gbBytes},
         {QStringLiteral("u16.txt"),
          QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char*>(u"x<ORVE>RVG_FOLDER</ORVE>"), 48)}},
        Tables({QStringLiteral("客户")}));
    EXPECT_TRUE(ok) << m_model.Exceptions.ToString().toStdString();
    const QByteArray out = readBytes(Out() + QStringLiteral("客户.gb.txt"));
    auto dec = QStringDecoder("GB18030");
    EXPECT_EQ(dec.decode(out), QStringLiteral("表名：客户\r\n中文模板\r\n"));
    EXPECT_FALSE(QString::fromUtf8(out).contains(QStringLiteral("中文"))); // not re-encoded as UTF-8
    const QByteArray u16 = readBytes(Out() + QStringLiteral("u16.txt"));
    ASSERT_TRUE(u16.startsWith(QByteArray("\xFF\xFE", 2)));
}

TEST_F(BuildFixture, AnOutputFolderThatCannotBeMadeStopsTheBuild)
{
    ASSERT_TRUE(writeBytes(m_dir.file(QStringLiteral("out")), "a file where the folder should be"));
    const bool ok =
        Build({{QStringLiteral("model_file.qvns"),
                FileList({{QStringLiteral("a.txt"), QStringLiteral("a.txt"), QString(), QStringLiteral("1")}})}},
              Tables({}));
    EXPECT_FALSE(ok);
    EXPECT_EQ(MainLog().size(), 2); // creating the folder, then the final message
    EXPECT_FALSE(m_model.Exceptions.IsEmpty());
}

TEST(Readme, TheLogFillsBothTagsWithThePagesLineBreaksEscapedInHtmlAndOnlyInsideTheFolder)
{
    TempDir dir;
    const QString page = dir.file(QStringLiteral("out/sub/readme.html"));
    ASSERT_TRUE(writeBytes(page, "<p><orve>rvg_log</orve></p>\n<ORVE>RVG_HTMLLOG</ORVE>"));
    ASSERT_TRUE(QVNModel::FillReadmeLog(dir.file(QStringLiteral("out")), QStringLiteral("sub\\readme.html"),
                                        QStringLiteral("one [a<b]\r\ntwo & three\r\n")));
    EXPECT_EQ(ReadText(page), QStringLiteral("<p>one [a<b]\ntwo & three</p>\n<UL>\n<LI>one [a&lt;b]</LI>\n"
                                             "<LI>two &amp; three</LI>\n</UL>"));
    ASSERT_TRUE(writeBytes(page, "a\r\n<ORVE>RVG_LOG</ORVE>"));
    ASSERT_TRUE(QVNModel::FillReadmeLog(dir.file(QStringLiteral("out/")), QStringLiteral("sub/readme.html"),
                                        QStringLiteral("x\r\ny\r\n")));
    EXPECT_EQ(ReadText(page), QStringLiteral("a\r\nx\r\ny"));

    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("victim.html")), "<ORVE>RVG_LOG</ORVE>"));
    EXPECT_FALSE(QVNModel::FillReadmeLog(dir.file(QStringLiteral("out")), QStringLiteral("../victim.html"),
                                         QStringLiteral("x")));
    EXPECT_EQ(ReadText(dir.file(QStringLiteral("victim.html"))), QStringLiteral("<ORVE>RVG_LOG</ORVE>"));
    EXPECT_FALSE(
        QVNModel::FillReadmeLog(dir.file(QStringLiteral("out")), QStringLiteral("missing.html"), QStringLiteral("x")));
}

TEST_F(BuildFixture, ADanglingLinkIsNotWrittenThroughAndEachFailureReportsItsOwnCause)
{
    ASSERT_TRUE(QDir().mkpath(Out()));
    const QString victim = m_dir.file(QStringLiteral("created-elsewhere.txt"));
    ASSERT_TRUE(QFile::link(victim, Out() + QStringLiteral("dangling.txt")));
    ASSERT_TRUE(writeBytes(Out() + QStringLiteral("blocker"), "a file where a folder is needed"));
    ASSERT_TRUE(QDir().mkpath(Out() + QStringLiteral("copied")));
    ASSERT_TRUE(QDir().mkpath(m_dir.file(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QFile::link(m_dir.file(QStringLiteral("elsewhere")), Out() + QStringLiteral("copied/inner")));
    const bool ok =
        Build({{QStringLiteral("model_file.qvns"),
                FileList({{QStringLiteral("a.txt"), QStringLiteral("dangling.txt"), QString(), QStringLiteral("1")},
                          {QStringLiteral("missing.bin"), QStringLiteral("copy.bin"), QString(), QStringLiteral("0")},
                          {QStringLiteral("a.txt"), QStringLiteral("blocker/x.txt"), QString(), QStringLiteral("1")},
                          {QStringLiteral("sub"), QStringLiteral("copied"), QStringLiteral("FOLDER"), QString()},
                          {QStringLiteral("a.txt"), QStringLiteral("fine.txt"), QString(), QStringLiteral("1")}})},
               {QStringLiteral("a.txt"), "A"},
               {QStringLiteral("sub/inner/x.txt"), "X"}},
              Tables({}));
    EXPECT_FALSE(ok);
    EXPECT_FALSE(QFileInfo::exists(victim));
    EXPECT_EQ(ListFiles(m_dir.file(QStringLiteral("elsewhere"))), QStringList()); // a folder copy neither
    EXPECT_EQ(ReadText(Out() + QStringLiteral("fine.txt")), QStringLiteral("A"));
    const QStringList log = MainLog();
    EXPECT_TRUE(log.contains(QStringLiteral("Refused: the path leads outside the output folder [ dangling.txt ]")));
    EXPECT_TRUE(log.contains(QStringLiteral("Cannot write the file [ blocker/x.txt ]")));
    EXPECT_TRUE(log.contains(QStringLiteral("Refused: the path leads outside the output folder [ copied/inner ]")));
    // The copy's own cause is reported once, not again under the later write failure.
    EXPECT_EQ(m_model.Exceptions.ToString().count(QStringLiteral("missing.bin")), 1)
        << m_model.Exceptions.ToString().toStdString();
}

// The generation service as the build dialog and quorvin-cli use it: bad input is told apart from a
// failed build, the log is the build's main messages, cancelling works through the listener, and the
// read-me page gets the log. Also: the model list says which packages it left out and why.
#include "Mdl_Main.h"
#include "ModelTestSupport.h"
#include "QVNGenerate.h"
#include "QVNModel.h"
#include "QtPrinters.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

class GenerateServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { UseAppFolder(m_dir); }

    QString Package(const QMap<QString, QByteArray>& files, const QString& readme = QString())
    {
        QMap<QString, QByteArray> all = files;
        all.insert(QStringLiteral("model_info.qvns"), Info(QStringLiteral("T"), QStringLiteral("1"), readme));
        const QString package = m_dir.file(QStringLiteral("pkg%1.qvnm").arg(++m_count));
        EXPECT_TRUE(MakePackage(m_dir.file(QStringLiteral("src%1").arg(m_count)), package, all));
        return package;
    }

    TempDir m_dir;
    int m_count = 0;
};

const QByteArray kTwoFiles =
    FileList({{QStringLiteral("a.txt"), QStringLiteral("a.txt"), QString(), QStringLiteral("1")},
              {QStringLiteral("b.txt"), QStringLiteral("b.txt"), QString(), QStringLiteral("1")}});

} // namespace

TEST_F(GenerateServiceTest, BadRequestsBuildNothingAndSaySo)
{
    QVNGenerate generate;
    const QString out = m_dir.file(QStringLiteral("out"));
    EXPECT_FALSE(generate.Run(m_dir.file(QStringLiteral("none.qvnm")), out, nullptr, {}, {}));
    EXPECT_TRUE(generate.BadInput());
    EXPECT_TRUE(generate.Exceptions.ToString().contains(QStringLiteral("does not exist")));

    ASSERT_TRUE(writeBytes(m_dir.file(QStringLiteral("text.qvnm")), "not a zip"));
    EXPECT_FALSE(generate.Run(m_dir.file(QStringLiteral("text.qvnm")), out, nullptr, {}, {}));
    EXPECT_TRUE(generate.BadInput());
    EXPECT_GE(generate.Exceptions.Count(), 2); // the request's line and the package's reasons

    const QString package = Package({{QStringLiteral("model_file.qvns"), kTwoFiles}});
    EXPECT_FALSE(generate.Run(package, out, nullptr, {}, {QStringLiteral("novalue")}));
    EXPECT_TRUE(generate.BadInput());
    EXPECT_FALSE(QFileInfo::exists(out)); // nothing was started
}

TEST_F(GenerateServiceTest, TheLogIsTheMainMessagesAndTheReadmePageGetsIt)
{
    const QString package = Package(
        {{QStringLiteral("model_file.qvns"),
          FileList({{QStringLiteral("readme.html"), QStringLiteral("doc/readme.html"), QString(), QStringLiteral("0")},
                    {QStringLiteral("a.txt"), QStringLiteral("a.txt"), QString(), QStringLiteral("1")}})},
         {QStringLiteral("readme.html"), "<p>\r\n<ORVE>RVG_LOG</ORVE>\r\n</p>"},
         {QStringLiteral("a.txt"), "<ORVE>RVG_P_NO</ORVE>"}},
        QStringLiteral("doc\\readme.html"));
    QVNGenerate generate;
    QStringList main;
    int details = 0;
    generate.Progress = [&](const QString& m, bool&) {
        if (!m.isEmpty())
            main << m;
    };
    generate.Detail = [&](const QString&, bool&) { ++details; };
    const QString out = m_dir.file(QStringLiteral("out"));
    ASSERT_TRUE(generate.Run(package, out, nullptr, {{QStringLiteral("P_NO"), QStringLiteral("42")}}, {}))
        << generate.Exceptions.ToString().toStdString();
    EXPECT_FALSE(generate.BadInput());
    EXPECT_EQ(generate.OutputFolder(), out + QLatin1Char('/'));
    EXPECT_EQ(ReadText(out + QStringLiteral("/a.txt")), QStringLiteral("42"));
    EXPECT_EQ(generate.Log(), main.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    EXPECT_GT(details, 0);

    EXPECT_EQ(generate.ReadmePage(), out + QStringLiteral("/doc/readme.html"));
    EXPECT_TRUE(generate.ReadmeFilled());
    const QString page = ReadText(generate.ReadmePage());
    EXPECT_TRUE(page.contains(main.first())) << page.toStdString();
    EXPECT_TRUE(page.contains(main.last()));
    EXPECT_FALSE(page.contains(QStringLiteral("RVG_LOG")));
}

TEST_F(GenerateServiceTest, CancellingThroughTheListenerStopsTheBuildAsAFailureNotBadInput)
{
    const QString package = Package({{QStringLiteral("model_file.qvns"), kTwoFiles},
                                     {QStringLiteral("a.txt"), "a"},
                                     {QStringLiteral("b.txt"), "b"}});
    QVNGenerate generate;
    generate.Progress = [](const QString& m, bool& cancel) {
        if (m.contains(QStringLiteral("[ a.txt ]")))
            cancel = true;
    };
    const QString out = m_dir.file(QStringLiteral("out"));
    EXPECT_FALSE(generate.Run(package, out, nullptr, {}, {}));
    EXPECT_FALSE(generate.BadInput());
    EXPECT_TRUE(generate.Canceled());
    // A cancelled build publishes nothing, not even the output it was writing.
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(GenerateServiceTest, AFailedEntryGivesCausesBeyondTheLog)
{
    // The second entry would leave the output folder: refused, the rest is still produced.
    const QString package =
        Package({{QStringLiteral("model_file.qvns"),
                  FileList({{QStringLiteral("a.txt"), QStringLiteral("../escape.txt"), QString(), QStringLiteral("1")},
                            {QStringLiteral("a.txt"), QStringLiteral("a.txt"), QString(), QStringLiteral("1")}})},
                 {QStringLiteral("a.txt"), "a"}});
    QVNGenerate generate;
    EXPECT_FALSE(generate.Run(package, m_dir.file(QStringLiteral("out")), nullptr, {}, {}));
    EXPECT_FALSE(generate.BadInput());
    EXPECT_FALSE(generate.Canceled());
    EXPECT_FALSE(generate.Exceptions.IsEmpty());
    EXPECT_FALSE(QFileInfo::exists(m_dir.file(QStringLiteral("escape.txt"))));
    // The refusal's own line is already in the log: it is not repeated as a cause.
    for (const QString& cause : generate.FailureCauses())
        EXPECT_FALSE(generate.Log().contains(cause + QStringLiteral("\r\n"))) << cause.toStdString();
}

TEST_F(GenerateServiceTest, OutputFolderProposals)
{
    EXPECT_EQ(QVNGenerate::DefaultOutputFolder(QStringLiteral(" /srv/gen "), QStringLiteral("/p/shop.qvn")),
              QStringLiteral("/srv/gen"));
    EXPECT_EQ(QVNGenerate::DefaultOutputFolder(QString(), QStringLiteral("/p/shop.v2.qvn")),
              Mdl_Main::OutPath + QStringLiteral("shop.v2"));
    // A folder that cannot be made falls back to the application's own output folder.
    ASSERT_TRUE(writeBytes(m_dir.file(QStringLiteral("file")), "x"));
    EXPECT_EQ(QVNGenerate::UsableOutputFolder(m_dir.file(QStringLiteral("file/sub"))),
              Mdl_Main::AppPath + QStringLiteral("out/"));
    EXPECT_EQ(QVNGenerate::UsableOutputFolder(m_dir.file(QStringLiteral("new/sub"))),
              m_dir.file(QStringLiteral("new/sub/")));
    EXPECT_TRUE(QFileInfo(m_dir.file(QStringLiteral("new/sub"))).isDir());
}

TEST(ModelListSkipped, PackagesLeftOutOfTheListAreNamedWithTheirReason)
{
    TempDir dir;
    UseAppFolder(dir);
    const QString models = dir.file(QStringLiteral("models"));
    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("src")), models + QStringLiteral("/good.qvnm"),
                            {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("G"), QStringLiteral("1"))}}));
    ASSERT_TRUE(writeBytes(models + QStringLiteral("/broken.qvnm"), "not a zip"));
    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("src2")), models + QStringLiteral("/noinfo.qvnm"),
                            {{QStringLiteral("other.txt"), "x"}}));
    QVNModel model;
    const TQXRowsPtr list = model.GetAllModels(models);
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Item(1)->Key(), QStringLiteral("MODEL_2")); // numbering keeps its gaps
    ASSERT_EQ(model.SkippedModels().size(), 2);
    EXPECT_TRUE(model.SkippedModels().at(0).file.endsWith(QStringLiteral("broken.qvnm")));
    EXPECT_FALSE(model.SkippedModels().at(0).reason.isEmpty());
    EXPECT_TRUE(model.SkippedModels().at(1).file.endsWith(QStringLiteral("noinfo.qvnm")));
    EXPECT_FALSE(model.SkippedModels().at(1).reason.isEmpty());
    model.GetAllModels(dir.file(QStringLiteral("src"))); // holds one file, model_info.qvns: no package
    EXPECT_EQ(model.SkippedModels().size(), 1);          // a fresh list each time
}

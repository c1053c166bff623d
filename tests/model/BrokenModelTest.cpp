// Packages with damaged description files or outputs the file system cannot hold: the build must
// fail with a reason, never succeed with nothing written or abort.
#include "Mdl_Main.h"
#include "ModelTestSupport.h"
#include "QVNModel.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

class BrokenModel : public ::testing::Test
{
protected:
    void SetUp() override { UseAppFolder(m_dir); }

    QString Package(const QMap<QString, QByteArray>& files)
    {
        QMap<QString, QByteArray> all = files;
        if (!all.contains(QStringLiteral("model_info.qvns")))
            all.insert(QStringLiteral("model_info.qvns"), Info(QStringLiteral("T"), QStringLiteral("1")));
        const QString package = m_dir.file(QStringLiteral("pkg%1.qvnm").arg(++m_count));
        EXPECT_TRUE(MakePackage(m_dir.file(QStringLiteral("src%1").arg(m_count)), package, all));
        return package;
    }
    // Runs the build; the last main message is kept in m_last.
    bool Build(const QString& package, const TQXRowsPtr& tables)
    {
        m_model.SetProgressListener([this](const QString& m, bool&) {
            if (!m.isEmpty())
                m_last = m;
        });
        return m_model.BuildProcess(package, Out(), CallerVariables(Out()), tables);
    }
    QString Out() const { return m_dir.file(QStringLiteral("out/")); }
    QStringList TempEntries() const
    {
        return QDir(Mdl_Main::AppPath + QStringLiteral("temp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }
    std::string Errors() const { return m_model.Exceptions.ToString().toStdString(); }

    TempDir m_dir;
    QVNModel m_model;
    QString m_last;
    int m_count = 0;
};

} // namespace

TEST_F(BrokenModel, AFileListThatIsMissingOrNotXmlFailsTheBuildWithTheParsersMessage)
{
    const QByteArray cut =
        FileList({{QStringLiteral("t.txt"), QStringLiteral("t.txt"), QString(), QStringLiteral("1")}}).chopped(20);
    const struct
    {
        QMap<QString, QByteArray> files;
        QString expected;
    } cases[] = {
        {{{QStringLiteral("model_file.qvns"), "not xml at all"}}, QStringLiteral("model_file.qvns:1: ")},
        {{{QStringLiteral("model_file.qvns"), cut}, {QStringLiteral("t.txt"), "x"}},
         QStringLiteral("model_file.qvns:")},
        {{{QStringLiteral("t.txt"), "x"}}, QStringLiteral("model_file.qvns: cannot be read")},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(Build(Package(c.files), Tables({QStringLiteral("a")})));
        EXPECT_TRUE(m_model.Exceptions.ToString().contains(QStringLiteral("Cannot read the model description file")))
            << Errors();
        EXPECT_TRUE(m_model.Exceptions.ToString().contains(c.expected)) << Errors();
        EXPECT_FALSE(m_model.Exceptions.ToString().contains(Mdl_Main::AppPath)) << Errors(); // no temp paths
        EXPECT_NE(m_last, QStringLiteral("Generation finished."));
        EXPECT_EQ(ListFiles(Out()), QStringList());
        EXPECT_EQ(TempEntries(), QStringList());
    }
}

TEST_F(BrokenModel, ADamagedVariableOrInfoFileRefusesThePackageButAMissingVariableFileDoesNot)
{
    const QByteArray vars = RecordFile(
        QStringLiteral("V"), QStringLiteral("R"),
        {{QStringLiteral("MV_NO"), QStringLiteral("MV_DIR"), QStringLiteral("MV_DEFAULT"), QStringLiteral("d")}});
    // A cut-off variable list used to read as no variables, and the build then made a folder named
    // after the unexpanded tag.
    const QString cutVars = Package({{QStringLiteral("model_var.qvns"), vars.left(vars.indexOf("<MV_DEFAULT>") + 8)}});
    EXPECT_EQ(m_model.GetModelInfo(cutVars), nullptr);
    EXPECT_TRUE(m_model.Exceptions.ToString().contains(QStringLiteral("model_var.qvns:"))) << Errors();

    m_model.Exceptions.Clear();
    EXPECT_EQ(m_model.GetModelInfo(Package({{QStringLiteral("model_info.qvns"), "<MODEL><I><MI_NAME>x</MI_NAME>"}})),
              nullptr);
    EXPECT_TRUE(m_model.Exceptions.ToString().contains(QStringLiteral("model_info.qvns:"))) << Errors();

    m_model.Exceptions.Clear();
    const TQXColsPtr info = m_model.GetModelInfo(Package({}));
    ASSERT_NE(info, nullptr) << Errors();
    EXPECT_EQ(info->Item("MI_VARIABLE")->Value().rows()->Count(), 0);
}

TEST_F(BrokenModel, AnOutputFolderTooLongForTheFileSystemFailsThatEntryOnly)
{
    const QString longName(256, QLatin1Char('n'));
    const QString package =
        Package({{QStringLiteral("model_file.qvns"),
                  FileList({{QStringLiteral("t.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>/x.txt"),
                             QStringLiteral("EACHFILE"), QStringLiteral("1")},
                            {QStringLiteral("lib"), longName, QStringLiteral("FOLDER"), QString()}})},
                 {QStringLiteral("t.txt"), "<ORVE>TL_NAME</ORVE>"},
                 {QStringLiteral("lib/f.txt"), "f"}});
    auto tables = Tables({longName, QStringLiteral("ok")});
    EXPECT_FALSE(Build(package, tables));
    EXPECT_TRUE(m_model.Exceptions.ToString().contains(QStringLiteral("Cannot write the file"))) << Errors();
    EXPECT_TRUE(m_model.Exceptions.ToString().contains(QStringLiteral("Cannot copy the folder"))) << Errors();
    EXPECT_EQ(ListFiles(Out()), QStringList{QStringLiteral("ok/x.txt")});
    EXPECT_EQ(TempEntries(), QStringList());

    // The same through a symbolic-link loop as the output folder.
    ASSERT_TRUE(QFile::link(m_dir.file(QStringLiteral("loop")), m_dir.file(QStringLiteral("loop"))));
    EXPECT_FALSE(m_model.BuildProcess(package, m_dir.file(QStringLiteral("loop/out")), CallerVariables(Out()), tables));
    EXPECT_TRUE(m_model.Exceptions.ToString().contains(QStringLiteral("Cannot create folder"))) << Errors();
    EXPECT_EQ(TempEntries(), QStringList());
}

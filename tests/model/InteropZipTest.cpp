// Packages made by other zip programs, and packages of ours opened by them.
#include "ModelTestSupport.h"
#include "QVNModel.h"
#include "QVNZIP.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

const QString kPassword = QStringLiteral("385027914463");

QMap<QString, QByteArray> SmallModel(const QString& name)
{
    return {{QStringLiteral("model_info.qvns"), Info(name, QStringLiteral("3.1"))},
            {QStringLiteral("model_file.qvns"),
             FileList({{QStringLiteral("tpl/t.txt"), QStringLiteral("<ORVE>TL_NAME</ORVE>.txt"),
                        QStringLiteral("EACHFILE"), QStringLiteral("1")}})},
            {QStringLiteral("tpl/t.txt"), "table <ORVE>TL_NAME</ORVE>"}};
}

// Lists the folder with GetAllModels and builds its only model over two tables.
void ListAndBuild(const TempDir& dir, const QString& models, const QString& expectedName)
{
    QVNModel model;
    const TQXRowsPtr list = model.GetAllModels(models);
    ASSERT_EQ(list->Count(), 1) << model.Exceptions.ToString().toStdString();
    EXPECT_EQ(list->Item(1)->Cols()->Text(QStringLiteral("MI_NAME")), expectedName);
    const QString out = dir.file(QStringLiteral("out/"));
    ASSERT_TRUE(model.BuildProcess(list->Item(1)->Cols()->Text(QStringLiteral("MI_FILE")), out, CallerVariables(out),
                                   Tables({QStringLiteral("a"), QStringLiteral("b")})))
        << model.Exceptions.ToString().toStdString();
    EXPECT_EQ(ReadText(out + QStringLiteral("b.txt")), QStringLiteral("table b"));
}

} // namespace

TEST(InteropZip, InfoZipPackagesWithThePasswordAreListedAndBuilt)
{
    if (!HasProgram(QStringLiteral("zip")))
        GTEST_FAIL() << "zip (Info-ZIP) is not installed";
    TempDir dir;
    UseAppFolder(dir);
    ASSERT_TRUE(WriteTree(dir.file(QStringLiteral("src")), SmallModel(QStringLiteral("From Info-ZIP"))));
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("models"))));
    QString output;
    ASSERT_EQ(RunProgram(QStringLiteral("zip"),
                         {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-P"), kPassword,
                          dir.file(QStringLiteral("models/izip.qvnm")), QStringLiteral(".")},
                         &output, dir.file(QStringLiteral("src"))),
              0)
        << output.toStdString();
    ListAndBuild(dir, dir.file(QStringLiteral("models")), QStringLiteral("From Info-ZIP"));
}

TEST(InteropZip, SevenZipAesPackagesAreListedAndBuilt)
{
    if (!HasProgram(QStringLiteral("7z")))
        GTEST_FAIL() << "7z (p7zip-full) is not installed";
    TempDir dir;
    UseAppFolder(dir);
    ASSERT_TRUE(WriteTree(dir.file(QStringLiteral("src")), SmallModel(QStringLiteral("From 7-Zip"))));
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("models"))));
    QString output;
    ASSERT_EQ(
        RunProgram(QStringLiteral("7z"),
                   {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mem=AES256"),
                    QStringLiteral("-p") + kPassword, dir.file(QStringLiteral("models/aes.qvnm")), QStringLiteral(".")},
                   &output, dir.file(QStringLiteral("src"))),
        0)
        << output.toStdString();
    ListAndBuild(dir, dir.file(QStringLiteral("models")), QStringLiteral("From 7-Zip"));
}

TEST(InteropZip, OurPackagesOpenInUnzipAnd7z)
{
    TempDir dir;
    const QMap<QString, QByteArray> files = SmallModel(QStringLiteral("Ours"));
    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("src")), dir.file(QStringLiteral("ours.qvnm")), files));
    QString output;
    ASSERT_EQ(RunProgram(QStringLiteral("unzip"),
                         {QStringLiteral("-q"), QStringLiteral("-P"), kPassword, dir.file(QStringLiteral("ours.qvnm")),
                          QStringLiteral("-d"), dir.file(QStringLiteral("unzipped"))},
                         &output),
              0)
        << output.toStdString();
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        EXPECT_EQ(readBytes(dir.file(QStringLiteral("unzipped/") + it.key())), it.value()) << it.key().toStdString();
    EXPECT_EQ(RunProgram(QStringLiteral("7z"),
                         {QStringLiteral("t"), QStringLiteral("-p") + kPassword, dir.file(QStringLiteral("ours.qvnm"))},
                         &output),
              0)
        << output.toStdString();
    // Without the password unzip gets nothing out.
    EXPECT_NE(
        RunProgram(QStringLiteral("unzip"),
                   {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("wrong"),
                    dir.file(QStringLiteral("ours.qvnm")), QStringLiteral("-d"), dir.file(QStringLiteral("nothing"))},
                   &output),
        0);
}

TEST(InteropZip, AWindowsMadeModelWithBackslashPathsAndCrLfTemplatesBuildsOnLinux)
{
    TempDir dir;
    UseAppFolder(dir);
    // File names with literal backslashes are what Info-ZIP stores for paths written on Windows.
    const QString src = dir.file(QStringLiteral("src"));
    const QByteArray fileList = QByteArray(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<FILES>\r\n"
        "  <FILE><MF_FILE>Templates\\Table.txt</MF_FILE><MF_TO><![CDATA[Out\\<ORVE>TL_NAME</ORVE>.txt]]></MF_TO>"
        "<MF_TYPE>EachFile</MF_TYPE><MF_CONVERT>1</MF_CONVERT></FILE>\r\n"
        "  <FILE><MF_FILE> Static </MF_FILE><MF_TO> Static\\Copy </MF_TO><MF_TYPE>folder</MF_TYPE>"
        "<MF_CONVERT></MF_CONVERT></FILE>\r\n"
        "  <FILE><MF_FILE>Templates\\\xE6\xA8\xA1\xE6\x9D\xBF.txt</MF_FILE><MF_TO>\xE6\xB8\x85\xE5\x8D\x95.txt"
        "</MF_TO><MF_CONVERT>1</MF_CONVERT></FILE>\r\n</FILES>\r\n");
    // Description files saved in the Chinese code page, and a template whose file name Info-ZIP
    // stores in that code page (no UTF-8 flag): "Templates\模板.txt", itself a GB18030 text.
    auto gb = QStringEncoder("GB18030");
    const QByteArray info = gb.encode(QStringLiteral("<?xml version=\"1.0\" encoding=\"gb2312\"?>\r\n<MODEL><INFO>"
                                                     "<MI_NAME>视窗模板</MI_NAME><MI_VERSION>1</MI_VERSION></INFO>"
                                                     "</MODEL>\r\n"));
    const QByteArray gbTemplate = gb.encode(QStringLiteral("表：<ORVE_TABLES><ORVE>TL_NAME</ORVE> </ORVE_TABLES>\r\n"));
    ASSERT_EQ(RunProgram(QStringLiteral("python3"),
                         {QStringLiteral("-c"),
                          QStringLiteral("import os, sys\nos.makedirs(sys.argv[1], exist_ok=True)\n"
                                         "open(os.fsencode(sys.argv[1]) + b'/Templates\\\\' + '模板'.encode('gbk') + "
                                         "b'.txt', 'wb').write(bytes.fromhex(sys.argv[2]))\n"),
                          src, QString::fromLatin1(gbTemplate.toHex())}),
              0);
    ASSERT_TRUE(WriteTree(src, {{QStringLiteral("Model_Info.qvns"), info},
                                {QStringLiteral("model_file.qvns"), fileList},
                                {QStringLiteral("model_orve.qvns"), "[LINE]\r\n-- <ORVE>CL_NAME</ORVE>"},
                                {QStringLiteral("Templates\\Table.txt"),
                                 "Table <ORVE>TL_NAME</ORVE>\r\n<ORVE_COLUMNS>\r\n    <ORVE>LINE</ORVE>\r\n"
                                 "</ORVE_COLUMNS>\r\nend\r\n"},
                                {QStringLiteral("Static\\readme.txt"), "static\r\n"}}));
    ASSERT_TRUE(QDir().mkpath(dir.file(QStringLiteral("models"))));
    if (!HasProgram(QStringLiteral("zip")))
        GTEST_FAIL() << "zip (Info-ZIP) is not installed";
    QString output;
    ASSERT_EQ(RunProgram(QStringLiteral("zip"),
                         {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-P"), kPassword,
                          dir.file(QStringLiteral("models/win.qvnm")), QStringLiteral(".")},
                         &output, src),
              0)
        << output.toStdString();
    // Qt cannot name a file whose name is not UTF-8, so the temporary folder could not remove it.
    ASSERT_EQ(RunProgram(QStringLiteral("python3"),
                         {QStringLiteral("-c"), QStringLiteral("import shutil, sys\nshutil.rmtree(sys.argv[1])"), src}),
              0);

    QVNModel model;
    const TQXRowsPtr list = model.GetAllModels(dir.file(QStringLiteral("models")));
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Item(1)->Cols()->Text(QStringLiteral("MI_NAME")), QStringLiteral("视窗模板"));
    const QString out = dir.file(QStringLiteral("out/"));
    ASSERT_TRUE(model.BuildProcess(dir.file(QStringLiteral("models/win.qvnm")), out, CallerVariables(out),
                                   Tables({QStringLiteral("orders")})))
        << model.Exceptions.ToString().toStdString();
    EXPECT_EQ(ListFiles(out), (QStringList{QStringLiteral("Out/orders.txt"), QStringLiteral("Static/Copy/readme.txt"),
                                           QStringLiteral("清单.txt")}));
    EXPECT_EQ(readBytes(out + QStringLiteral("清单.txt")), gb.encode(QStringLiteral("表：orders \r\n")));
    EXPECT_EQ(ReadText(out + QStringLiteral("Out/orders.txt")),
              QStringLiteral("Table orders\r\n    -- id\r\n    -- name\r\nend\r\n"));
}

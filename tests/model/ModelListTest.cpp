#include "Mdl_Main.h"
#include "ModelTestSupport.h"
#include "QVNModel.h"
#include "QVNZIP.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

int TempEntries()
{
    return static_cast<int>(
        QDir(Mdl_Main::AppPath + QStringLiteral("temp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

} // namespace

TEST(ModelList, KeysNumberEveryFileSoFailuresLeaveGaps)
{
    TempDir dir;
    UseAppFolder(dir);
    const QString models = dir.file(QStringLiteral("models/"));
    const QByteArray vars = RecordFile(
        QStringLiteral("V"), QStringLiteral("VAR"),
        {{QStringLiteral("MV_NO"), QStringLiteral("MV_A"), QStringLiteral("MV_DEFAULT"), QStringLiteral("x")}});
    // a: valid; b: not a zip; c: valid with two info records; d: no info record; e: other password
    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("src/a")), models + QStringLiteral("a.qvnm"),
                            {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("Alpha"), QStringLiteral("1.0"))},
                             {QStringLiteral("model_var.qvns"), vars}}));
    ASSERT_TRUE(writeBytes(models + QStringLiteral("b.txt"), "not a package"));
    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("src/c")), models + QStringLiteral("c.qvnm"),
                            {{QStringLiteral("model_info.qvns"),
                              RecordFile(QStringLiteral("M"), QStringLiteral("I"),
                                         {{QStringLiteral("MI_NAME"), QStringLiteral("Gamma"),
                                           QStringLiteral("MI_VERSION"), QStringLiteral("2")},
                                          {QStringLiteral("MI_NAME"), QStringLiteral("Second record")}})}}));
    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("src/d")), models + QStringLiteral("d.qvnm"),
                            {{QStringLiteral("model_info.qvns"), "<MODEL></MODEL>"}}));
    ASSERT_TRUE(WriteTree(dir.file(QStringLiteral("src/e")),
                          {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("E"), QStringLiteral("1"))}}));
    QVNZIP zip;
    ASSERT_TRUE(zip.PackageFolder(models + QStringLiteral("e.qvnm"), QStringLiteral("other"),
                                  dir.file(QStringLiteral("src/e"))));
    ASSERT_TRUE(QDir().mkpath(models + QStringLiteral("subfolder")));

    const int before = TempEntries();
    QVNModel model;
    const TQXRowsPtr list = model.GetAllModels(models);
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Item(1)->Key(), QStringLiteral("MODEL_1"));
    EXPECT_EQ(list->Item(2)->Key(), QStringLiteral("MODEL_3"));
    const TQXColsPtr alpha = list->Item(1)->Cols();
    EXPECT_EQ(alpha->Item(1)->Key(), QStringLiteral("MI_NAME"));
    EXPECT_EQ(alpha->Text(QStringLiteral("MI_NAME")), QStringLiteral("Alpha"));
    EXPECT_EQ(alpha->Text(QStringLiteral("MI_FILE")), QDir(models).absoluteFilePath(QStringLiteral("a.qvnm")));
    const TQXRowsPtr variables = alpha->Item(QStringLiteral("MI_VARIABLE"))->Value().rows();
    ASSERT_TRUE(variables);
    ASSERT_EQ(variables->Count(), 1);
    EXPECT_EQ(variables->Item(1)->Cols()->Text(QStringLiteral("MV_NO")), QStringLiteral("MV_A"));
    EXPECT_EQ(list->Item(2)->Cols()->Text(QStringLiteral("MI_NAME")), QStringLiteral("Gamma"));
    EXPECT_EQ(list->Item(2)->Cols()->Item(QStringLiteral("MI_VARIABLE"))->Value().rows()->Count(), 0);
    EXPECT_EQ(TempEntries(), before);
}

TEST(ModelList, OpenModelReportsEmptyAndBrokenPackagesAndLeavesNoTemporaryFolder)
{
    TempDir dir;
    UseAppFolder(dir);
    QVNModel model;
    EXPECT_EQ(model.OpenModel(QString(), QVNModel::ModelPassword()), QString());
    EXPECT_EQ(model.Exceptions.Count(), 1);
    EXPECT_EQ(model.Exceptions.ToString(), QStringLiteral("No model package was given."));

    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("bad.qvnm")), "nope"));
    const int before = TempEntries();
    EXPECT_EQ(model.OpenModel(dir.file(QStringLiteral("bad.qvnm")), QVNModel::ModelPassword()), QString());
    EXPECT_GE(model.Exceptions.Count(), 3); // earlier line kept, then ERROR_OPEN and the zip message
    EXPECT_TRUE(model.Exceptions.ToString().contains(QStringLiteral("cannot be opened")));
    EXPECT_EQ(TempEntries(), before);

    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("m")), dir.file(QStringLiteral("m.qvnm")),
                            {{QStringLiteral("model_info.qvns"), Info(QStringLiteral("M"), QStringLiteral("1"))}}));
    const QString tmp = model.OpenModel(dir.file(QStringLiteral("m.qvnm")), QVNModel::ModelPassword());
    ASSERT_FALSE(tmp.isEmpty());
    EXPECT_TRUE(tmp.endsWith(QLatin1Char('/')));
    EXPECT_TRUE(tmp.startsWith(Mdl_Main::AppPath + QStringLiteral("temp/")));
    EXPECT_EQ(readBytes(tmp + QStringLiteral("model_info.qvns")), Info(QStringLiteral("M"), QStringLiteral("1")));
    QDir(tmp).removeRecursively();
}

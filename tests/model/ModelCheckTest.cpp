// The model check: the shipped models are clean, and copies broken the way model authors break them
// are pointed at the right file and line. Packages and folders are checked alike.
#include "ModelTestSupport.h"
#include "QVNFunction.h"
#include "QVNJsonData.h"
#include "QVNModel.h"
#include "QVNModelCheck.h"
#include "QVNZIP.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <QDir>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

QStringList shippedModels()
{
    QStringList names;
    for (const QString& name :
         QDir(kSource + QStringLiteral("/resources/models")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFileInfo::exists(kSource + QStringLiteral("/resources/models/") + name +
                              QStringLiteral("/model_info.qvns")))
            names << name;
    }
    return names;
}

class ModelCheckTest : public ::testing::Test
{
protected:
    void SetUp() override { UseAppFolder(m_dir); }
    TempDir m_dir;
};

} // namespace

TEST_F(ModelCheckTest, TheShippedModelsCheckCleanAsFoldersAndAsPackages)
{
    const QStringList models = shippedModels();
    ASSERT_GE(models.size(), 3);
    const TQXRowsPtr tables = SampleTables();
    for (const QString& name : models) {
        const QString folder = kSource + QStringLiteral("/resources/models/") + name;
        QVNModelCheck check;
        ASSERT_TRUE(check.Check(folder, tables, {})) << check.Exceptions.ToString().toStdString();
        EXPECT_TRUE(check.Lines().isEmpty()) << name.toStdString() << ":\n" << check.Lines().join(u'\n').toStdString();

        const QString package = m_dir.file(name + QStringLiteral(".qvnm"));
        QVNZIP zip;
        ASSERT_TRUE(zip.PackageFolder(package, QVNModel::ModelPassword(), folder));
        ASSERT_TRUE(check.Check(package, tables, {}));
        EXPECT_TRUE(check.Lines().isEmpty()) << name.toStdString() << " (package)";
    }
}

TEST_F(ModelCheckTest, BrokenCopiesOfAShippedModelArePointedAtFileAndLine)
{
    struct Break
    {
        const char* name;
        QString file;
        QString from,
            to; // the first `from` in the file becomes `to` (a pattern, every match, when no finding is named)
        QString expected; // a finding starts with folder + this; none: the model has no name
    };
    const std::vector<Break> breaks = {
        {"end tag left out", QStringLiteral("table.py"), QStringLiteral("</ORVE_COLUMNS>"), QString(),
         QStringLiteral("table.py:")},
        {"misspelled key", QStringLiteral("table.py"), QStringLiteral("<ORVE>TL_KEYSOURCE</ORVE>"),
         QStringLiteral("<ORVE>TL_KEYSOURCEE</ORVE>"), QStringLiteral("table.py:36:")},
        {"bad expression", QStringLiteral("table.py"), QStringLiteral("\"<ORVE>CL_PK</ORVE>\" = \"1\""),
         QStringLiteral("\"<ORVE>CL_PK</ORVE>\" = 1 +"),
         QStringLiteral("table.py:22:114: selection condition: error 1002")},
        {"missing template", QStringLiteral("model_file.qvns"), QStringLiteral("<MF_FILE>table.py"),
         QStringLiteral("<MF_FILE>tables.py"), QStringLiteral("model_file.qvns:15:1: MF_FILE \"tables.py\" is not")},
        {"output outside the folder", QStringLiteral("model_file.qvns"),
         QStringLiteral("<![CDATA[<ORVE>MV_PACKAGE</ORVE>/__init__.py"),
         QStringLiteral("<![CDATA[../<ORVE>MV_PACKAGE</ORVE>/__init__.py"),
         QStringLiteral("model_file.qvns:9:1: MF_TO \"../")},
        {"malformed description", QStringLiteral("model_file.qvns"), QStringLiteral("</MF_TYPE>"),
         QStringLiteral("</MF_TYP>"), QStringLiteral("model_file.qvns:6:1: not well-formed XML")},
        {"translation of no variable", QStringLiteral("model_var.1033.qvns"), QStringLiteral("<MV_NO>MV_AUTHOR"),
         QStringLiteral("<MV_NO>MV_AUTHER"), QStringLiteral("model_var.1033.qvns:7:1: MV_NO \"MV_AUTHER\" is no")},
        {"malformed language file", QStringLiteral("model_info.1033.qvns"), QStringLiteral("</MI_NAME>"),
         QStringLiteral("</MI_NAM>"), QStringLiteral("model_info.1033.qvns:4:1: not well-formed XML")},
        {"nameless model", QStringLiteral("model_info.qvns"), QStringLiteral("<MI_NAME>.*</MI_NAME>"),
         QStringLiteral("<MI_NAME> </MI_NAME>"), QString()},
    };
    const TQXRowsPtr tables = SampleTables();
    const QString original = kSource + QStringLiteral("/resources/models/python");
    for (const Break& b : breaks) {
        const QString copy = m_dir.file(QStringLiteral("copy/"));
        QVNFunction fn;
        fn.DeleteFolder(copy);
        ASSERT_TRUE(fn.CopyFolder(original, copy));
        const QString path = copy + b.file;
        QString text = QString::fromUtf8(readBytes(path));
        if (b.expected.isEmpty()) {
            text.replace(QRegularExpression(b.from), b.to);
        } else {
            ASSERT_TRUE(text.contains(b.from)) << b.name;
            text.replace(text.indexOf(b.from), b.from.size(), b.to);
        }
        ASSERT_TRUE(writeBytes(path, text.toUtf8()));

        QVNModelCheck check;
        ASSERT_TRUE(check.Check(copy, tables, {})) << b.name;
        if (b.expected.isEmpty()) {
            EXPECT_TRUE(check.Lines().join(u'\n').contains(QStringLiteral("has no MI_NAME")))
                << b.name << ": " << check.Lines().join(u'\n').toStdString();
            continue;
        }
        const QString prefix = copy + b.expected;
        EXPECT_TRUE(std::any_of(check.Lines().begin(), check.Lines().end(),
                                [&](const QString& l) { return l.startsWith(prefix); }))
            << b.name << ": expected " << prefix.toStdString() << "\n"
            << check.Lines().join(u'\n').toStdString();
    }
}

TEST_F(ModelCheckTest, WhatIsNoModelIsBadInput)
{
    QVNModelCheck check;
    EXPECT_FALSE(check.Check(m_dir.file(QStringLiteral("none")), SampleTables(), {}));
    EXPECT_FALSE(check.Check(m_dir.path(), SampleTables(), {})); // a folder without description files
    ASSERT_TRUE(writeBytes(m_dir.file(QStringLiteral("x.qvnm")), "not a zip"));
    EXPECT_FALSE(check.Check(m_dir.file(QStringLiteral("x.qvnm")), SampleTables(), {}));
    EXPECT_EQ(check.Exceptions.IsEmpty(), false);
}

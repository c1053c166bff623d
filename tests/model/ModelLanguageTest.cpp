// Models in the user's language: language files lying over a model's own description files, and the
// shipped models built in English and in Chinese.
#include "ModelTestSupport.h"
#include "QVNGenerate.h"
#include "QVNJsonData.h"
#include "QVNModel.h"
#include "QVNModelPreview.h"
#include "QVNModelText.h"
#include "TQXRow.h"
#include "TempDir.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace modeltest;

namespace {

bool hasChinese(const QString& text)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    return text.contains(han);
}

TQXColsPtr variable(const TQXColsPtr& info, const QString& key)
{
    const TQXColPtr list = info ? info->Item("MI_VARIABLE") : nullptr;
    if (!list || !list->Value().rows())
        return nullptr;
    for (const TQXRowPtr& row : *list->Value().rows()) {
        if (row->Cols()->Text(QStringLiteral("MV_NO")) == key)
            return row->Cols();
    }
    return nullptr;
}

QByteArray varFile(const std::vector<QStringList>& records)
{
    return RecordFile(QStringLiteral("VARIABLES"), QStringLiteral("VARIABLE"), records);
}

} // namespace

// The texts of a hand-made model: the user's language first, then 2052, then the model's own file;
// sections of a language file replace the model's in place and new ones may be used by the model's
// own sections; the build publishes the language; a model without language files is untouched.
TEST(ModelLanguage, LanguageFilesLieOverTheModelsOwnTexts)
{
    TempDir dir;
    UseAppFolder(dir);
    const QString tpl = QStringLiteral("<ORVE>GREETING</ORVE>|<ORVE>SIGN</ORVE>|<ORVE>RVG_LANGUAGE</ORVE>|"
                                       "<ORVE>MV_WHO</ORVE>\n");
    QMap<QString, QByteArray> files = {
        {QStringLiteral("model_info.qvns"), Info(QStringLiteral("own"), QStringLiteral("3"))},
        {QStringLiteral("model_var.qvns"),
         varFile({{QStringLiteral("MV_NO"), QStringLiteral("MV_WHO"), QStringLiteral("MV_NAME"), QStringLiteral("who"),
                   QStringLiteral("MV_DEFAULT"), QStringLiteral("nobody")},
                  {QStringLiteral("MV_NO"), QStringLiteral("MV_KEEP"), QStringLiteral("MV_NAME"),
                   QStringLiteral("kept")}})},
        {QStringLiteral("model_orve.qvns"), "[GREETING]\nhello <ORVE>TX_WORLD</ORVE>\n[SIGN]\nown sign"},
        {QStringLiteral("model_file.qvns"),
         FileList({{QStringLiteral("t.txt"), QStringLiteral("t.txt"), QString(), QStringLiteral("1")}})},
        {QStringLiteral("t.txt"), tpl.toUtf8()},
    };
    const QString plain = dir.file(QStringLiteral("plain.qvnm"));
    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("plain")), plain, files));

    files.insert(QStringLiteral("model_info.2052.qvns"),
                 RecordFile(QStringLiteral("MODEL"), QStringLiteral("INFO"),
                            {{QStringLiteral("MI_NAME"), QStringLiteral("中文名"), QStringLiteral("MI_DESC"),
                              QStringLiteral("中文说明")}}));
    files.insert(QStringLiteral("model_info.1033.qvns"),
                 RecordFile(QStringLiteral("MODEL"), QStringLiteral("INFO"),
                            {{QStringLiteral("MI_NAME"), QStringLiteral("English name")}}));
    files.insert(QStringLiteral("model_var.1033.qvns"),
                 varFile({{QStringLiteral("MV_NO"), QStringLiteral("mv_who"), QStringLiteral("MV_NAME"),
                           QStringLiteral("Who"), QStringLiteral("MV_DEFAULT"), QStringLiteral("everybody")},
                          {QStringLiteral("MV_NO"), QStringLiteral("MV_NOT_THERE"), QStringLiteral("MV_NAME"),
                           QStringLiteral("ignored")}}));
    files.insert(QStringLiteral("model_orve.2052.qvns"), "[SIGN]\n签名\n[TX_WORLD]\n世界\n");
    files.insert(QStringLiteral("model_orve.1033.qvns"), "[TX_WORLD]\nworld\n");
    const QString localised = dir.file(QStringLiteral("localised.qvnm"));
    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("localised")), localised, files));

    struct Case
    {
        QString language, name, desc, who, output;
    };
    const Case cases[] = {
        {QStringLiteral("1033"), QStringLiteral("English name"), QStringLiteral("中文说明"), QStringLiteral("Who"),
         QStringLiteral("hello world|签名|1033|everybody\n")},
        {QStringLiteral("2052"), QStringLiteral("中文名"), QStringLiteral("中文说明"), QStringLiteral("who"),
         QStringLiteral("hello 世界|签名|2052|nobody\n")},
        // A language the model has no file for speaks the fall-back; one that is no number too.
        {QStringLiteral("1041"), QStringLiteral("中文名"), QStringLiteral("中文说明"), QStringLiteral("who"),
         QStringLiteral("hello 世界|签名|1041|nobody\n")},
        {QStringLiteral("../1033"), QStringLiteral("中文名"), QStringLiteral("中文说明"), QStringLiteral("who"),
         QStringLiteral("hello 世界|签名|../1033|nobody\n")},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language.toStdString());
        QVNModel model;
        model.SetLanguage(c.language);
        const TQXColsPtr info = model.GetModelInfo(localised);
        ASSERT_TRUE(info) << model.Exceptions.ToString().toStdString();
        EXPECT_EQ(info->Text(QStringLiteral("MI_NAME")), c.name);
        EXPECT_EQ(info->Text(QStringLiteral("MI_DESC")), c.desc);
        EXPECT_EQ(info->Text(QStringLiteral("MI_VERSION")), QStringLiteral("3"));
        ASSERT_TRUE(variable(info, QStringLiteral("MV_WHO")));
        EXPECT_EQ(variable(info, QStringLiteral("MV_WHO"))->Text(QStringLiteral("MV_NAME")), c.who);
        EXPECT_EQ(variable(info, QStringLiteral("MV_KEEP"))->Text(QStringLiteral("MV_NAME")), QStringLiteral("kept"));
        EXPECT_EQ(info->Item("MI_VARIABLE")->Value().rows()->Count(), 2);

        QVNGenerate generate;
        QVNBuildRequest request;
        request.model = localised;
        request.outDir = dir.file(QStringLiteral("out-") + QString::number(++n));
        request.language = c.language;
        ASSERT_TRUE(generate.Run(request)) << generate.Exceptions.ToString().toStdString();
        EXPECT_EQ(ReadText(request.outDir + QStringLiteral("/t.txt")), c.output);
        EXPECT_TRUE(generate.Diagnostics().isEmpty()) << generate.Diagnostics().join(QLatin1Char('\n')).toStdString();
    }

    // Without language files the language changes nothing but the published number.
    for (const QString& language : {QStringLiteral("1033"), QStringLiteral("2052")}) {
        QVNModel model;
        model.SetLanguage(language);
        const TQXColsPtr info = model.GetModelInfo(plain);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->Text(QStringLiteral("MI_NAME")), QStringLiteral("own"));
        QVNGenerate generate;
        QVNBuildRequest request;
        request.model = plain;
        request.outDir = dir.file(QStringLiteral("plain-") + language);
        request.language = language;
        ASSERT_TRUE(generate.Run(request));
        EXPECT_EQ(ReadText(request.outDir + QStringLiteral("/t.txt")),
                  QStringLiteral("hello <ORVE>TX_WORLD</ORVE>|own sign|") + language + QStringLiteral("|nobody\n"));
    }

    // The model editor's preview reads the same files from the folder being edited.
    QVNModelPreview preview;
    preview.SetModel(dir.file(QStringLiteral("localised")), Tables({QStringLiteral("orders")}), {});
    EXPECT_EQ(preview.Expand(QStringLiteral("t.txt"), tpl, 0).output,
              QStringLiteral("hello world|签名|1033|everybody\n"));

    // A damaged language file refuses the package, as a damaged description file does.
    files.insert(QStringLiteral("model_var.1033.qvns"), "<VARIABLES><VARIABLE>");
    const QString damaged = dir.file(QStringLiteral("damaged.qvnm"));
    ASSERT_TRUE(MakePackage(dir.file(QStringLiteral("damaged")), damaged, files));
    QVNModel english;
    english.SetLanguage(QStringLiteral("1033"));
    EXPECT_FALSE(english.GetModelInfo(damaged));
    EXPECT_FALSE(english.Exceptions.IsEmpty());
}

// Every shipped model in both languages: its name, description and variable captions in the list,
// and the texts it writes itself.
class ShippedModelLanguage : public ::testing::TestWithParam<std::tuple<const char*, const char*>>
{
};

TEST_P(ShippedModelLanguage, NamesCaptionsAndGeneratedTextsSpeakTheLanguage)
{
    const QString name = QString::fromLatin1(std::get<0>(GetParam()));
    const QString language = QString::fromLatin1(std::get<1>(GetParam()));
    const bool english = language == QStringLiteral("1033");
    TempDir dir;
    UseAppFolder(dir);
    const QString package = QStringLiteral(QUORVIN_APP_DIR "/models/") + name + QStringLiteral(".qvnm");
    ASSERT_TRUE(QFileInfo::exists(package)) << package.toStdString();

    // The model as the list shows it: under 1033 no Chinese is left; under 2052 its name is Chinese.
    QVNModel model;
    model.SetLanguage(language);
    const TQXColsPtr info = model.GetModelInfo(package);
    ASSERT_TRUE(info) << model.Exceptions.ToString().toStdString();
    QStringList texts{info->Text(QStringLiteral("MI_NAME")), info->Text(QStringLiteral("MI_DESC"))};
    for (const TQXRowPtr& var : *info->Item("MI_VARIABLE")->Value().rows())
        texts << var->Cols()->Text(QStringLiteral("MV_NAME")) << var->Cols()->Text(QStringLiteral("MV_DEFAULT"));
    EXPECT_FALSE(texts.at(0).isEmpty());
    EXPECT_FALSE(texts.at(1).isEmpty());
    for (const QString& text : texts) {
        if (english) {
            EXPECT_FALSE(hasChinese(text)) << text.toStdString();
        }
    }
    if (!english) {
        EXPECT_TRUE(hasChinese(texts.at(0))) << texts.at(0).toStdString();
        EXPECT_TRUE(hasChinese(texts.at(1))) << texts.at(1).toStdString();
    }

    // The build over the sample tables: no tag left, and the words the model writes itself.
    TQXValue value;
    QString error;
    ASSERT_TRUE(QVNJsonData::ReadFile(kSource + QStringLiteral("/resources/sample/tables.json"), value, error))
        << error.toStdString();
    QVNGenerate generate;
    QVNBuildRequest request;
    request.model = package;
    request.outDir = dir.file(QStringLiteral("out"));
    request.tables = value.rows();
    request.language = language;
    request.strict = true;
    ASSERT_TRUE(generate.Run(request)) << generate.Log().toStdString();
    struct Expected
    {
        const char* model;
        const char* file;
        const char* en;
        const char* zh;
    };
    static const Expected expected[] = {
        {"datadict", "dictionary.html", "<th>Primary key</th>", "<th>主键</th>"},
        {"datadict", "dictionary.html", "<th>Nullable</th>", "<th>可空</th>"},
        {"datadict", "dictionary.html", "<html lang=\"en\">", "<html lang=\"zh-CN\">"},
        {"datadict", "dictionary.html", "<p class=\"intro\">This document lists", "<p class=\"intro\">本文档列出"},
        {"datadict", "dictionary.html", "Generated by Quorvin on ", "由 Quorvin 生成于 "},
        {"datadict", "readme.html", "<h1>Build log</h1>", "<h1>生成日志</h1>"},
        {"python", "app_models/__init__.py", "Record classes and repositories", "由所选数据表生成的记录类与仓储"},
        {"webapp", "README.md", "# Database application", "# 数据库应用"},
    };
    for (const Expected& e : expected) {
        if (name != QLatin1String(e.model))
            continue;
        const QString text = ReadText(request.outDir + QLatin1Char('/') + QLatin1String(e.file));
        EXPECT_TRUE(text.contains(QString::fromUtf8(english ? e.en : e.zh)))
            << e.file << " lacks " << (english ? e.en : e.zh);
        EXPECT_FALSE(text.contains(QString::fromUtf8(english ? e.zh : e.en))) << e.file;
    }
}

INSTANTIATE_TEST_SUITE_P(ModelsTimesLanguages, ShippedModelLanguage,
                         ::testing::Combine(::testing::Values("datadict", "sqlddl", "python", "webapp"),
                                            ::testing::Values("1033", "2052")),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param);
                         });

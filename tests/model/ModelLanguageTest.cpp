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
#include "TestSupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <algorithm>

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

// Every text of the sample table set that holds a Chinese character (captions, descriptions,
// conversions), longest first, so removing them from an output leaves only the model's own words.
void collectChinese(const QJsonValue& value, QStringList& texts)
{
    if (value.isString() && hasChinese(value.toString()))
        texts.append(value.toString());
    else if (value.isArray())
        for (const QJsonValue& item : value.toArray())
            collectChinese(item, texts);
    else if (value.isObject())
        for (const QJsonValue& item : value.toObject())
            collectChinese(item, texts);
}

QStringList sampleChineseTexts()
{
    QStringList texts;
    collectChinese(
        QJsonDocument::fromJson(readBytes(kSource + QStringLiteral("/resources/sample/tables.json"))).object(), texts);
    texts.removeDuplicates();
    std::sort(texts.begin(), texts.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return texts;
}

void setField(const TQXColsPtr& cols, const QString& key, const QString& value)
{
    if (const TQXColPtr col = cols->Item(key))
        col->SetValue(TQXValue(value));
    else
        cols->Add(TQXValue(value), key);
}

QString lineStarting(const QString& text, const QString& start)
{
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.startsWith(start))
            return line;
    return QString();
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
        {"python", "app_models/__init__.py", "\\n\\nCreated ", "\\n\\n生成于 "},
        {"python", "app_models/__init__.py", "# Repository class per table key.", "# 按表键查找仓储类。"},
        {"python", "app_models/orders.py", "# Generated by Quorvin on ", "# 由 Quorvin 于 "},
        {"python", "app_models/orders.py", "\"订单 (orders): record class and repository.",
         "\"订单（orders）：记录类与仓储。"},
        {"python", "app_models/orders.py", "\"One row of orders (订单).\"", "\"orders（订单）的一行记录。\""},
        {"python", "app_models/orders.py", "\"订单号\" \" (primary key)\" \".\"", "\"订单号\" \"（主键）\" \"。\""},
        {"python", "app_models/orders.py", "\", references customers.customer_id\"",
         "\"，引用 customers.customer_id\""},
        {"python", "app_models/orders.py", "\"Reads and writes orders (订单).\"", "\"读写 orders（订单）的记录。\""},
        {"python", "app_models/base.py", "\"\"\"Generic repository over a DB-API connection",
         "\"\"\"基于 DB-API 连接的通用仓储"},
        {"python", "app_models/base.py", "\"\"\"Reads and writes the rows of one table",
         "\"\"\"以数据类记录的形式读写一个表的行"},
        {"python", "app_models/base.py", "    # Writing ---", "    # 写入 ---"},
        {"sqlddl", "create_tables.sql", "-- create_tables.sql: tables of the chosen set, for SQLite",
         "-- create_tables.sql：创建所选的表，目标数据库为 SQLite"},
        {"sqlddl", "create_tables.sql", "-- Existing tables of the same names are dropped first",
         "-- 先删除已有的同名表"},
        {"sqlddl", "create_tables.sql", "每个订单的明细合计（视图） (a view; its query is not part of the table set)",
         "每个订单的明细合计（视图）（视图；表集中不含其查询语句，未创建）"},
        {"sqlddl", "create_tables.sql", "\n-- Indexes, made once every table exists.",
         "\n-- 索引：在所有表创建之后建立。"},
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

    // The SQL script and the Python package: once the sample's own texts are taken out, a Chinese
    // character left is one of the model's words, so there is none under 1033 and some in every file
    // under 2052.
    if (name == QLatin1String("sqlddl") || name == QLatin1String("python")) {
        const QStringList own = sampleChineseTexts();
        ASSERT_FALSE(own.isEmpty());
        int checked = 0;
        for (const QString& rel : ListFiles(request.outDir)) {
            if (!rel.endsWith(QStringLiteral(".py")) && !rel.endsWith(QStringLiteral(".sql")))
                continue;
            QString text = ReadText(request.outDir + QLatin1Char('/') + rel);
            for (const QString& t : own)
                text.remove(t);
            EXPECT_EQ(hasChinese(text), !english) << rel.toStdString();
            ++checked;
        }
        EXPECT_GT(checked, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(ModelsTimesLanguages, ShippedModelLanguage,
                         ::testing::Combine(::testing::Values("datadict", "sqlddl", "python", "webapp"),
                                            ::testing::Values("1033", "2052")),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)) + "_" + std::get<1>(info.param);
                         });

// The SQL script and the Python package in either language: the script still loads into SQLite (every
// comment stays one) and the package still imports and runs against the sample database. The notes
// a column gets speak the build's language; a random uuid SQLite makes itself is said so, not
// reported as a default left out.
TEST(InteropModelLanguage, TheScriptLoadsAndThePackageRunsInEitherLanguage)
{
    TempDir dir;
    UseAppFolder(dir);
    struct Case
    {
        const char* language;
        const char* uuid;
        const char* noType;
        const char* leftOut;
        const char* leftOutWord;
    };
    const Case cases[] = {
        {"1033", "; a random uuid made by SQLite", "; stored as text: SQLite has no type hstore",
         "; the default nextval('city_seq') is left out: the target cannot take it as it is", "left out"},
        {"2052", "；随机 UUID 由 SQLite 生成", "；按文本存储：SQLite 没有 hstore 类型",
         "；默认值 nextval('city_seq') 已略去：目标数据库无法原样接受", "略去"},
    };
    const QString models = QStringLiteral(QUORVIN_APP_DIR "/models/");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        const QString language = QString::fromLatin1(c.language);
        const TQXRowsPtr tables = SampleTables();
        ASSERT_TRUE(tables);
        // Three columns of customers the SQLite script has to note.
        for (const TQXRowPtr& table : *tables) {
            if (table->Cols()->Text(QStringLiteral("TL_NAME")) != QLatin1String("customers"))
                continue;
            for (const TQXRowPtr& column : *table->Cols()->Item("COLUMNS")->Value().rows()) {
                const TQXColsPtr cols = column->Cols();
                const QString columnName = cols->Text(QStringLiteral("CL_NAME"));
                if (columnName == QLatin1String("email")) {
                    setField(cols, QStringLiteral("CL_DEFAULT"), QStringLiteral("gen_random_uuid()"));
                } else if (columnName == QLatin1String("phone")) {
                    setField(cols, QStringLiteral("CL_DBKIND"), QStringLiteral("other"));
                    setField(cols, QStringLiteral("CL_DBBASE"), QStringLiteral("hstore"));
                } else if (columnName == QLatin1String("city")) {
                    setField(cols, QStringLiteral("CL_DEFAULT"), QStringLiteral("nextval('city_seq')"));
                }
            }
        }
        QVNGenerate script;
        QVNBuildRequest request;
        request.model = models + QStringLiteral("sqlddl.qvnm");
        request.outDir = dir.file(QStringLiteral("sql-") + language);
        request.tables = tables;
        request.language = language;
        ASSERT_TRUE(script.Run(request)) << script.Log().toStdString();
        const QString path = request.outDir + QStringLiteral("/create_tables.sql");
        const QString all = ReadText(path);
        const QString text = all.mid(all.indexOf(QStringLiteral("CREATE TABLE customers (")));
        const QString email = lineStarting(text, QStringLiteral("    email "));
        EXPECT_TRUE(email.contains(QString::fromUtf8(c.uuid))) << email.toStdString();
        EXPECT_TRUE(email.contains(QStringLiteral(" DEFAULT ("))) << email.toStdString();
        EXPECT_FALSE(email.contains(QString::fromUtf8(c.leftOutWord))) << email.toStdString();
        EXPECT_TRUE(lineStarting(text, QStringLiteral("    phone ")).contains(QString::fromUtf8(c.noType)));
        EXPECT_TRUE(lineStarting(text, QStringLiteral("    city ")).contains(QString::fromUtf8(c.leftOut)));
        const QString db = dir.file(QStringLiteral("sql-") + language + QStringLiteral(".db"));
        QString output;
        for (int run = 0; run < 2; ++run) // the drops make it load again over its own tables
            EXPECT_EQ(RunProgram(QStringLiteral("sqlite3"),
                                 {QStringLiteral("-bail"), db, QStringLiteral(".read ") + path}, &output),
                      0)
                << output.toStdString();

        QVNGenerate package;
        request.model = models + QStringLiteral("python.qvnm");
        request.outDir = dir.file(QStringLiteral("py-") + language);
        request.tables = SampleTables();
        ASSERT_TRUE(package.Run(request)) << package.Log().toStdString();
        EXPECT_EQ(RunProgram(QStringLiteral("python3"),
                             {testDataDir() + QStringLiteral("/model/smoke_python.py"), request.outDir,
                              QStringLiteral("app_models"), kSource + QStringLiteral("/resources/sample/sample.sql")},
                             &output),
                  0)
            << output.toStdString();
    }
}

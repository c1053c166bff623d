#include "QVNJsonData.h"

#include "QtPrinters.h"
#include "TempDir.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

TQXValue parse(const char* json)
{
    TQXValue v;
    QString error;
    EXPECT_TRUE(QVNJsonData::Parse(QByteArray(json), v, error)) << error.toStdString();
    return v;
}

QString parseError(const QByteArray& json)
{
    TQXValue v;
    QString error;
    EXPECT_FALSE(QVNJsonData::Parse(json, v, error)) << json.toStdString();
    EXPECT_TRUE(v.isEmpty());
    return error;
}

} // namespace

TEST(QVNJsonData, ReadsColumnSetsWithEveryKindOfValue)
{
    const TQXValue v = parse(R"({"tag": "G", "cols": [
        {"key": "s", "value": "text", "name": "N", "type": "T", "tag": "1"},
        {"key": "i", "value": 3}, {"key": "d", "value": 2.5}, {"key": "big", "value": 3000000000},
        {"key": "b", "value": false}, {"key": "n", "value": null}, {"key": "missing"},
        {"key": "S", "value": "refused: the key exists in another case"},
        {"value": "no key"},
        {"key": "nested", "value": {"tag": "C", "cols": [{"key": "x", "value": "\u00e9\n"}]}}]})");
    const TQXColsPtr cols = v.cols();
    ASSERT_TRUE(cols);
    EXPECT_EQ(cols->Tag(), QStringLiteral("G"));
    EXPECT_EQ(cols->Count(), 9);
    EXPECT_EQ(cols->Item(QStringLiteral("s"))->Value().ToText(), QStringLiteral("text"));
    EXPECT_EQ(cols->Item(QStringLiteral("s"))->Name(), QStringLiteral("N"));
    EXPECT_EQ(cols->Item(QStringLiteral("s"))->DataType(), QStringLiteral("T"));
    EXPECT_EQ(cols->Item(QStringLiteral("s"))->Tag(), QStringLiteral("1"));
    EXPECT_EQ(cols->Item(QStringLiteral("i"))->Value().type(), TQXValue::Type::Integer);
    EXPECT_EQ(cols->Item(QStringLiteral("d"))->Value().ToText(), QStringLiteral("2.5"));
    EXPECT_EQ(cols->Item(QStringLiteral("big"))->Value().ToText(), QStringLiteral("3000000000"));
    EXPECT_EQ(cols->Item(QStringLiteral("b"))->Value().ToText(), QStringLiteral("False"));
    EXPECT_TRUE(cols->Item(QStringLiteral("n"))->Value().isEmpty());
    EXPECT_TRUE(cols->Item(QStringLiteral("missing"))->Value().isEmpty());
    EXPECT_EQ(cols->Item(8)->Value().ToText(), QStringLiteral("no key"));
    const TQXColsPtr nested = cols->Item(QStringLiteral("nested"))->Value().cols();
    ASSERT_TRUE(nested);
    EXPECT_EQ(nested->Tag(), QStringLiteral("C"));
    EXPECT_EQ(nested->Item(QStringLiteral("x"))->Value().ToText(), QString::fromUtf8("\xc3\xa9\n"));
}

TEST(QVNJsonData, ReadsRowSetsWithColumnObjectsOrBareArrays)
{
    const TQXValue v = parse(R"({"tag": "TABLES", "rows": [
        {"key": "a", "name": "A", "tag": "t", "cols": {"tag": "CT", "cols": [{"key": "k", "value": 1}]}},
        {"key": "b", "cols": [{"key": "k", "value": {"tag": "INNER", "rows": []}}]},
        {"key": "A", "cols": []}, {"cols": null}]})");
    const TQXRowsPtr rows = v.rows();
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->Tag(), QStringLiteral("TABLES"));
    EXPECT_EQ(rows->Count(), 3);
    EXPECT_EQ(rows->Item(1)->Name(), QStringLiteral("A"));
    EXPECT_EQ(rows->Item(1)->Tag(), QStringLiteral("t"));
    EXPECT_EQ(rows->Item(1)->Cols()->Tag(), QStringLiteral("CT"));
    EXPECT_EQ(rows->Item(1)->Cols()->Item(QStringLiteral("k"))->Value().ToText(), QStringLiteral("1"));
    EXPECT_EQ(rows->Item(2)->Cols()->Item(QStringLiteral("k"))->Value().rows()->Tag(), QStringLiteral("INNER"));
    EXPECT_EQ(rows->Item(3)->Cols()->Count(), 0);
}

TEST(QVNJsonData, RejectsMalformedDocumentsWithOneClearLine)
{
    EXPECT_TRUE(parseError("{\"tag\": \"T\", \"rows\": [}").startsWith(QStringLiteral("malformed JSON at line 1")));
    EXPECT_TRUE(parseError("{\"tag\": \"T\",\n \"cols\": [ {\"key\": 'x'} ]}")
                    .startsWith(QStringLiteral("malformed JSON at line 2, column")));
    EXPECT_TRUE(parseError("").contains(QStringLiteral("empty")));
    EXPECT_TRUE(parseError("{\"cols\": []} trailing").contains(QStringLiteral("after the document")));
    EXPECT_TRUE(parseError("{\"cols\": [], }").startsWith(QStringLiteral("malformed JSON")));
    EXPECT_TRUE(parseError("{\"cols\": [{\"key\": \"a\", \"value\": 1e999}]}").contains(QStringLiteral("range")));
    EXPECT_TRUE(parseError("{\"cols\": [{\"key\": \"\xff\"}]}").contains(QStringLiteral("UTF-8")));
    EXPECT_EQ(parseError("[]"), QStringLiteral("$: the top level must be a row set or column set object"));
    EXPECT_EQ(parseError("{\"tag\": \"x\"}"),
              QStringLiteral("$: a set object needs \"rows\" (row set) or \"cols\" (column set)"));
    EXPECT_EQ(parseError("{\"rows\": [], \"cols\": []}"),
              QStringLiteral("$: a set object has either \"rows\" or \"cols\", not both"));
    EXPECT_EQ(parseError("{\"cols\": [{\"key\": 5}]}"), QStringLiteral("$.cols[0].key: must be a string"));
    EXPECT_EQ(parseError("{\"rows\": [{\"cols\": [{\"key\": \"k\", \"value\": [1]}]}]}"),
              QStringLiteral("$.rows[0].cols[0].value: a value must be a string, number, boolean, null or a set "
                             "object, not an array"));
    EXPECT_EQ(parseError("{\"rows\": [{\"cols\": {\"tag\": \"x\", \"rows\": []}}]}"),
              QStringLiteral("$.rows[0].cols: a row's \"cols\" must be a column set object or an array of columns"));
    QByteArray deep;
    for (int i = 0; i < 2000; ++i)
        deep += "{\"cols\": [{\"key\": \"k\", \"value\": ";
    EXPECT_TRUE(parseError(deep).contains(QStringLiteral("too deep")));
}

TEST(QVNJsonData, WritesWhatItReadsAndCutsCycles)
{
    const QByteArray json = R"({"tag": "TABLES", "rows": [{"key": "a", "name": "n", "tag": "t", "cols": {"tag": "",
        "cols": [{"key": "k", "value": "v", "name": "N", "type": "T", "tag": "1"}, {"key": "i", "value": 7},
                 {"key": "d", "value": 0.5}, {"key": "b", "value": true}, {"key": "e", "value": null},
                 {"key": "c", "value": {"tag": "C", "rows": []}}]}}]})";
    TQXValue first;
    QString error;
    ASSERT_TRUE(QVNJsonData::Parse(json, first, error));
    const QByteArray written = QVNJsonData::Write(first.rows());
    TQXValue second;
    ASSERT_TRUE(QVNJsonData::Parse(written, second, error)) << error.toStdString();
    EXPECT_EQ(QVNJsonData::Write(second.rows()), written);

    auto cols = TQXCols::Create();
    cols->Add(TQXValue(cols), QStringLiteral("self"));
    TQXValue back;
    ASSERT_TRUE(QVNJsonData::Parse(QVNJsonData::Write(cols), back, error)) << error.toStdString();
    EXPECT_TRUE(back.cols()->Item(QStringLiteral("self"))->Value().isEmpty());
    cols->Clear();
}

TEST(QVNJsonData, ReadFileReportsMissingFilesAndSkipsAByteOrderMark)
{
    TempDir dir;
    TQXValue v;
    QString error;
    EXPECT_FALSE(QVNJsonData::ReadFile(dir.file(QStringLiteral("none.json")), v, error));
    EXPECT_TRUE(error.endsWith(QStringLiteral("none.json: no such file")));
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("bom.json")), QByteArray("\xEF\xBB\xBF{\"cols\": []}")));
    EXPECT_TRUE(QVNJsonData::ReadFile(dir.file(QStringLiteral("bom.json")), v, error)) << error.toStdString();
    ASSERT_TRUE(writeBytes(dir.file(QStringLiteral("bad.json")), QByteArray("{")));
    EXPECT_FALSE(QVNJsonData::ReadFile(dir.file(QStringLiteral("bad.json")), v, error));
    EXPECT_TRUE(error.contains(QStringLiteral("bad.json: malformed JSON")));
}

TEST(QVNJsonData, EscapedMemberNamesAndSharedTextsReadLikePlainOnes)
{
    // A member name written with escapes is the same member; in an error path it is decoded.
    const TQXValue v = parse(R"({"c\u006fls": [{"k\u0065y": "a", "value": "x"}, {"key": "b", "value": "x"},
                                {"key": "c", "value": "x\ty"}]})");
    ASSERT_EQ(v.type(), TQXValue::Type::Cols);
    const TQXColsPtr cols = v.cols();
    ASSERT_EQ(cols->Count(), 3);
    EXPECT_EQ(cols->Text(QStringLiteral("a")), QStringLiteral("x"));
    EXPECT_EQ(cols->Text(QStringLiteral("b")), QStringLiteral("x"));
    EXPECT_EQ(cols->Text(QStringLiteral("c")), QStringLiteral("x\ty"));
    EXPECT_EQ(parseError(R"({"c\u006fls": [{"key": 5}]})"), QStringLiteral("$.cols[0].key: must be a string"));
    EXPECT_EQ(parseError(R"({"cols": [{"n\u00e4me": 1, "key": 5}]})"),
              QStringLiteral("$.cols[0].key: must be a string"));
    EXPECT_TRUE(parseError("{\"cols\": [{\"key").startsWith(QStringLiteral("malformed JSON")));
    EXPECT_TRUE(parseError("{\"cols\": [{\"key\": \"a\nb\"}]}").contains(QStringLiteral("control character")));
}

TEST(QVNJsonData, KeepsAZeroWidthNoBreakSpaceAndPairsSurrogatesAfterALoneOne)
{
    // U+FEFF at the start of a text is a character there, not a byte-order mark to drop; a member
    // name beginning with it is not the member without it.
    const TQXValue v =
        parse("{\"cols\": [{\"key\": \"a\", \"value\": \"\\ufeffx\"}, {\"key\": \"b\", \"value\": "
              "\"\xEF\xBB\xBF\"}, {\"key\": \"c\", \"value\": \"\\ud800\\ud83d\\ude00\", \"\\ufeffvalue\": 1},"
              "{\"key\": \"d\", \"value\": \"\\udc00\\ud800\\u0041\"}]}");
    const TQXColsPtr cols = v.cols();
    ASSERT_TRUE(cols);
    EXPECT_EQ(cols->Text(QStringLiteral("a")), QString(QChar(0xFEFF)) + u'x');
    EXPECT_EQ(cols->Text(QStringLiteral("b")), QString(QChar(0xFEFF)));
    // A lone high surrogate becomes U+FFFD and does not swallow the pair after it.
    EXPECT_EQ(cols->Text(QStringLiteral("c")), QString(QChar(0xFFFD)) + QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(cols->Text(QStringLiteral("d")), QString(QChar(0xFFFD)) + QChar(0xFFFD) + u'A');
}

TEST(QVNJsonData, ErrorsAfterAndInsideTheCommonColumnShapeKeepTheirPlaceAndPath)
{
    EXPECT_EQ(
        parseError("{\"cols\": [{\"key\": \"a\", \"value\": \"b\"}, {\"key\": \"c\", \"value\": \"d\", \"name\": 5}]}"),
        QStringLiteral("$.cols[1].name: must be a string"));
    EXPECT_EQ(parseError("{\"cols\": [{\"key\": \"a\", \"value\": \"b\""),
              QStringLiteral("malformed JSON at line 1, column 36: expected ',' or '}'"));
    EXPECT_EQ(parseError("{\"cols\": [{\"key\": \"a\",\n \"value\": \"b\\x\"}]}"),
              QStringLiteral("malformed JSON at line 2, column 15: invalid escape in a string"));
    EXPECT_TRUE(parseError("{\"cols\": [{\"key\": \"a\", \"value\": \"\xc3\"}]}").contains(QStringLiteral("UTF-8")));
    const TQXValue v = parse("{\"cols\": [{\"key\": \"a\", \"value\": \"b\"}, {\"key\": \"A\", \"value\": \"c\"},"
                             "{\"key\":\"d\",\"value\":\"\xc3\xa9\"}, {\"key\": \"e\", \"value\": \"b\"}]}");
    ASSERT_EQ(v.cols()->Count(), 3);
    EXPECT_EQ(v.cols()->Text(QStringLiteral("A")), QStringLiteral("b"));
    EXPECT_EQ(v.cols()->Text(QStringLiteral("d")), QString::fromUtf8("\xc3\xa9"));
    EXPECT_EQ(v.cols()->Text(QStringLiteral("e")), QStringLiteral("b"));
}

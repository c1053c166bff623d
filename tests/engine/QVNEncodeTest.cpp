#include "QVNEncode.h"

#include "EngineTestData.h"
#include "QVNParser.h"
#include "QtPrinters.h"
#include "VBEvaluator.h"

#include <gtest/gtest.h>

namespace {

QString encodeBlock(const QString& data, const QString& form)
{
    return QStringLiteral("<ORVE_ENCODE><ORVE_DATA>") + data + QStringLiteral("</ORVE_DATA><ORVE_AS>") + form +
           QStringLiteral("</ORVE_AS></ORVE_ENCODE>");
}

QString encode(const char* form, const QString& text)
{
    QString out = QStringLiteral("(unknown form)");
    QVNEncode::Encode(QString::fromUtf8(form), text, out);
    return out;
}

} // namespace

// ---- the forms ------------------------------------------------------------------------------

TEST(QVNEncodeForms, HtmlEscapesTheFiveSpecialCharactersOnly)
{
    EXPECT_EQ(encode("html", QStringLiteral("a&b <i>\"x\" 'y' é\n")),
              QStringLiteral("a&amp;b &lt;i&gt;&quot;x&quot; &#39;y&#39; é\n"));
    EXPECT_EQ(encode("html", QStringLiteral("&amp;")), QStringLiteral("&amp;amp;")); // not decoded first
    EXPECT_EQ(encode("html", QString()), QString());
}

TEST(QVNEncodeForms, SqlIdentifiersAreBareOnlyWhenPlainLowerCaseAndNotReserved)
{
    EXPECT_EQ(encode("sqlid", QStringLiteral("customer_id")), QStringLiteral("customer_id"));
    EXPECT_EQ(encode("sqlid", QStringLiteral("_x9")), QStringLiteral("_x9"));
    // Reserved in standard SQL, in PostgreSQL only, in SQLite only.
    EXPECT_EQ(encode("sqlid", QStringLiteral("order")), QStringLiteral("\"order\""));
    EXPECT_EQ(encode("sqlid", QStringLiteral("user")), QStringLiteral("\"user\""));
    EXPECT_EQ(encode("sqlid", QStringLiteral("limit")), QStringLiteral("\"limit\""));
    EXPECT_EQ(encode("sqlid", QStringLiteral("pragma")), QStringLiteral("\"pragma\""));
    // Reserved in MariaDB only (its scripts read double quotes as names).
    EXPECT_EQ(encode("sqlid", QStringLiteral("lines")), QStringLiteral("\"lines\""));
    EXPECT_EQ(encode("sqlid", QStringLiteral("read")), QStringLiteral("\"read\""));
    // Capitals, a leading digit, spaces, non-ASCII, quotes and the empty name are quoted.
    EXPECT_EQ(encode("sqlid", QStringLiteral("Name")), QStringLiteral("\"Name\""));
    EXPECT_EQ(encode("sqlid", QStringLiteral("1st")), QStringLiteral("\"1st\""));
    EXPECT_EQ(encode("sqlid", QStringLiteral("first name")), QStringLiteral("\"first name\""));
    EXPECT_EQ(encode("sqlid", QStringLiteral("größe")), QStringLiteral("\"größe\""));
    EXPECT_EQ(encode("sqlid", QStringLiteral("a\"b")), QStringLiteral("\"a\"\"b\""));
    EXPECT_EQ(encode("sqlid", QString()), QStringLiteral("\"\""));
    EXPECT_TRUE(QVNEncode::IsSqlReserved(u"select"));
    EXPECT_FALSE(QVNEncode::IsSqlReserved(u"customer"));
}

TEST(QVNEncodeForms, SqlStringsDoubleTheirQuotes)
{
    EXPECT_EQ(encode("sqlstr", QStringLiteral("O'Brien")), QStringLiteral("'O''Brien'"));
    EXPECT_EQ(encode("sqlstr", QStringLiteral("''")), QStringLiteral("''''''"));
    EXPECT_EQ(encode("sqlstr", QString()), QStringLiteral("''"));
    EXPECT_EQ(encode("sqlstr", QStringLiteral("a\r\nb \"c\" ü")), QStringLiteral("'a\r\nb \"c\" ü'"));
}

TEST(QVNEncodeForms, PythonIdentifiersAreAlwaysValidNames)
{
    EXPECT_EQ(encode("py", QStringLiteral("order-line total")), QStringLiteral("order_line_total"));
    EXPECT_EQ(encode("py", QStringLiteral("2nd")), QStringLiteral("_2nd"));
    EXPECT_EQ(encode("py", QString()), QStringLiteral("_"));
    EXPECT_EQ(encode("py", QStringLiteral("class")), QStringLiteral("class_"));
    EXPECT_EQ(encode("py", QStringLiteral("None")), QStringLiteral("None_"));
    EXPECT_EQ(encode("py", QStringLiteral("match")), QStringLiteral("match")); // a soft keyword is a valid name
    EXPECT_EQ(encode("py", QStringLiteral("größe")), QStringLiteral("größe"));
    EXPECT_EQ(encode("py", QStringLiteral("名前")), QStringLiteral("名前"));
    // A character outside the basic plane is one character, replaced by one "_".
    EXPECT_EQ(encode("py", QStringLiteral("a\U0001F600b")), QStringLiteral("a_b"));
    EXPECT_EQ(encode("py", QStringLiteral("\"'<ORVE>")), QStringLiteral("___ORVE_"));
}

TEST(QVNEncodeForms, PythonStringsEscapeBackslashQuoteAndControlCharacters)
{
    EXPECT_EQ(encode("pystr", QStringLiteral("say \"hi\"\\")), QStringLiteral("\"say \\\"hi\\\"\\\\\""));
    EXPECT_EQ(encode("pystr", QStringLiteral("a\r\nb\tc")), QStringLiteral("\"a\\r\\nb\\tc\""));
    EXPECT_EQ(encode("pystr", QString(QChar(0)) + QChar(0x1b) + QChar(0x7f)), QStringLiteral("\"\\x00\\x1b\\x7f\""));
    EXPECT_EQ(encode("pystr", QStringLiteral("é 名 \U0001F600 'x'")), QStringLiteral("\"é 名 \U0001F600 'x'\""));
    EXPECT_EQ(encode("pystr", QString(QChar(0xD800))), QStringLiteral("\"\\ud800\"")); // an unpaired half
    EXPECT_EQ(encode("pystr", QString()), QStringLiteral("\"\""));
}

TEST(QVNEncodeForms, VBStringsReadBackUnchangedByTheEvaluator)
{
    VBEvaluator eval;
    for (const QString& text :
         {QStringLiteral("plain"), QStringLiteral("say \"hi\""), QStringLiteral("\"\""), QStringLiteral("a\r\nb\nc\rd"),
          QStringLiteral("\n"), QString(), QStringLiteral("ü 名")}) {
        const QString literal = QStringLiteral("\"") + encode("vbstr", text) + QStringLiteral("\"");
        EXPECT_EQ(eval.EvaluateToText(literal), text) << literal.toStdString();
        EXPECT_EQ(eval.EvaluateToText(literal + QStringLiteral(" = \"") + encode("vbstr", text) + QStringLiteral("\"")),
                  QStringLiteral("True"));
    }
    EXPECT_EQ(encode("vbstr", QStringLiteral("a\"b")), QStringLiteral("a\"\"b"));
}

TEST(QVNEncodeForms, FormsAreNamedWithoutRegardToCaseAndUnknownOnesAreRefused)
{
    EXPECT_EQ(encode("HTML", QStringLiteral("<")), QStringLiteral("&lt;"));
    EXPECT_EQ(encode(" SqlStr ", QStringLiteral("x")), QStringLiteral("'x'"));
    EXPECT_EQ(encode("json", QStringLiteral("x")), QStringLiteral("(unknown form)"));
    EXPECT_EQ(encode("", QStringLiteral("x")), QStringLiteral("(unknown form)"));
}

// ---- the block in templates -----------------------------------------------------------------

TEST(QVNEncodeBlock, EncodesSubstitutedValuesEvenWhenTheyHoldTags)
{
    const auto cols = makeCols({{QStringLiteral("v"), TQXValue(QStringLiteral("<ORVE_CALC>1+1</ORVE_CALC> & \"q\""))},
                                {QStringLiteral("n"), TQXValue(QStringLiteral("select"))}});
    QVNParser parser;
    EXPECT_EQ(parser.ConvertCols(encodeBlock(QStringLiteral("<ORVE>v</ORVE>"), QStringLiteral("html")), cols),
              QStringLiteral("&lt;ORVE_CALC&gt;1+1&lt;/ORVE_CALC&gt; &amp; &quot;q&quot;"));
    // The parts may come in either order, and the form is looked for outside the data only.
    EXPECT_EQ(parser.ConvertCols(QStringLiteral("<ORVE_ENCODE><ORVE_AS>sqlid</ORVE_AS><ORVE_DATA><ORVE>n</ORVE>"
                                                "</ORVE_DATA></ORVE_ENCODE>"),
                                 cols),
              QStringLiteral("\"select\""));
    EXPECT_EQ(parser.ConvertCols(encodeBlock(QStringLiteral("<ORVE_AS>py</ORVE_AS>x"), QStringLiteral("sqlstr")), cols),
              QStringLiteral("'<ORVE_AS>py</ORVE_AS>x'"));
}

TEST(QVNEncodeBlock, UnknownFormsAndMalformedBlocksStayAsWritten)
{
    QVNParser parser;
    const QString unknown = encodeBlock(QStringLiteral("x"), QStringLiteral("xml"));
    const QString noForm = QStringLiteral("<ORVE_ENCODE><ORVE_DATA>x</ORVE_DATA></ORVE_ENCODE>");
    const QString unclosed = QStringLiteral("<ORVE_ENCODE><ORVE_DATA>x</ORVE_DATA><ORVE_AS>html</ORVE_AS>");
    EXPECT_EQ(parser.ConvertEncodeData(unknown + QStringLiteral("|") +
                                       encodeBlock(QStringLiteral("<"), QStringLiteral("html"))),
              unknown + QStringLiteral("|&lt;"));
    EXPECT_EQ(parser.ConvertEncodeData(noForm), noForm);
    EXPECT_EQ(parser.ConvertEncodeData(unclosed), unclosed);
    // A missing DATA part is the empty text.
    EXPECT_EQ(parser.ConvertEncodeData(QStringLiteral("<ORVE_ENCODE><ORVE_AS>py</ORVE_AS></ORVE_ENCODE>")),
              QStringLiteral("_"));
}

TEST(QVNEncodeBlock, RunsBeforeTheBlocksThatContainIt)
{
    const auto cols = makeCols({{QStringLiteral("q"), TQXValue(QStringLiteral("say \"x\"\r\nnow"))},
                                {QStringLiteral("id"), TQXValue(QStringLiteral("order"))}});
    QVNParser parser;
    // A value with quotes and a line break compared inside a selection condition and a calculation.
    const QString vb = encodeBlock(QStringLiteral("<ORVE>q</ORVE>"), QStringLiteral("vbstr"));
    EXPECT_EQ(parser.ConvertCols(
                  QStringLiteral("<ORVE_SELECT><ORVE_CASE>\"") + vb +
                      QStringLiteral("\" = \"x\"</ORVE_CASE><ORVE_CASEDATA>A</ORVE_CASEDATA>"
                                     "<ORVE_CASE>Len(\"") +
                      vb + QStringLiteral("\") = 12</ORVE_CASE><ORVE_CASEDATA>B</ORVE_CASEDATA></ORVE_SELECT>"),
                  cols),
              QStringLiteral("B"));
    EXPECT_EQ(parser.ConvertCols(QStringLiteral("<ORVE_CALC>UCase(\"") + vb + QStringLiteral("\")</ORVE_CALC>"), cols),
              QStringLiteral("SAY \"X\"\r\nNOW"));
    // A quoted identifier measured and padded by a fixed-length block.
    EXPECT_EQ(parser.ConvertCols(QStringLiteral("<ORVE_FIXLENGTH><ORVE_DATA>") +
                                     encodeBlock(QStringLiteral("<ORVE>id</ORVE>"), QStringLiteral("sqlid")) +
                                     QStringLiteral("</ORVE_DATA><ORVE_LENGTH>9</ORVE_LENGTH></ORVE_FIXLENGTH>|"),
                                 cols),
              QStringLiteral("\"order\"  |"));
}

TEST(QVNEncodeBlock, IsDecidedPerRowInsideARepetition)
{
    const auto rows =
        makeRows(QStringLiteral("T"), QStringLiteral("v"), {QStringLiteral("a\"b"), QStringLiteral("end"), QString()});
    QVNParser parser;
    EXPECT_EQ(
        parser.ConvertRows(QStringLiteral("<ORVE_T><ORVE_SELECT><ORVE_CASE>\"") +
                               encodeBlock(QStringLiteral("<ORVE>v</ORVE>"), QStringLiteral("vbstr")) +
                               QStringLiteral("\" = \"\"</ORVE_CASE><ORVE_CASEDATA>-</ORVE_CASEDATA><ORVE_ELSEDATA>") +
                               encodeBlock(QStringLiteral("<ORVE>v</ORVE>"), QStringLiteral("sqlid")) +
                               QStringLiteral(";</ORVE_ELSEDATA></ORVE_SELECT></ORVE_T>"),
                           rows),
        QStringLiteral("\"a\"\"b\";\"end\";-"));
}

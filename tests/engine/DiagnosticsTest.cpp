#include "EngineTestData.h"
#include "QVNDiagnostics.h"
#include "QVNParser.h"
#include "TextCodec.h"

#include <gtest/gtest.h>

namespace {

/// A table with a name and a COLUMNS row set of two columns, as a build hands it.
TQXColsPtr table()
{
    auto cols = makeCols({{QStringLiteral("TL_NAME"), TQXValue(QStringLiteral("person"))}});
    cols->Add(TQXValue(makeRows(QStringLiteral("COLUMNS"), QStringLiteral("CL_NAME"),
                                {QStringLiteral("id"), QStringLiteral("name")})),
              QStringLiteral("COLUMNS"));
    return cols;
}

struct Expansion
{
    QString output;
    QStringList lines;
};

/// Expands `text` over `data` with diagnostics on and returns the output and the findings; the
/// output must be the one the engine gives without them.
Expansion diagnose(const QString& text, const TQXColsPtr& data, const QString& varFile = QString())
{
    QVNDiagnostics diagnostics;
    diagnostics.AddSource(QStringLiteral("t.txt"), text);
    QVNParser parser;
    TQXColsPtr all = data;
    if (!varFile.isNull()) {
        diagnostics.AddSource(QStringLiteral("vars.txt"), varFile);
        all = parser.GetTempVariable(varFile);
        for (const TQXColPtr& c : *data)
            all->AddRef(c, c->Key());
    }
    diagnostics.CheckStructure();
    parser.SetDiagnostics(&diagnostics);
    Expansion run;
    run.output = parser.ConvertCols(text, all);
    diagnostics.CheckOutput(run.output);
    run.lines = diagnostics.Lines();

    QVNParser plain;
    EXPECT_EQ(run.output, plain.ConvertCols(text, all)) << "diagnostics changed the output";
    return run;
}

} // namespace

TEST(QVNDiagnostics, EachKindOfMistakeIsReportedOnceAtItsPlace)
{
    struct Case
    {
        const char* name;
        QString text;
        QStringList expected; // "t.txt:line:column: " + the start of the reason
    };
    const QString data = QStringLiteral("<ORVE_DATA>x</ORVE_DATA>");
    const std::vector<Case> cases = {
        {"clean template",
         QStringLiteral("<ORVE>TL_NAME</ORVE>\n<ORVE_COLUMNS>\n<ORVE>CL_NAME</ORVE>\n</ORVE_COLUMNS>\n"),
         {}},
        {"a selection inside a row block inside a selection",
         QStringLiteral("<ORVE_SELECT><ORVE_CASE>1=1</ORVE_CASE><ORVE_CASEDATA><ORVE_COLUMNS><ORVE_SELECT><ORVE_CASE>"
                        "\"<ORVE>CL_NAME</ORVE>\"=\"id\"</ORVE_CASE><ORVE_CASEDATA>k</ORVE_CASEDATA></ORVE_SELECT>"
                        "</ORVE_COLUMNS></ORVE_CASEDATA></ORVE_SELECT>"),
         {}},
        {"block without its end",
         QStringLiteral("a\n  <ORVE_COLUMNS><ORVE>CL_NAME</ORVE>\n"),
         {QStringLiteral("t.txt:2:3: \"<ORVE_COLUMNS>\" has no end tag")}},
        {"end without its begin",
         QStringLiteral("x</ORVE_COLUMNS>"),
         {QStringLiteral("t.txt:1:2: end tag \"</ORVE_COLUMNS>\" has no begin tag")}},
        {"block of one name opened twice",
         QStringLiteral("<ORVE_COLUMNS>a<ORVE_COLUMNS>b</ORVE_COLUMNS></ORVE_COLUMNS>"),
         {QStringLiteral("t.txt:1:16: \"<ORVE_COLUMNS>\" begins again inside the block opened at line 1, column 1"),
          QStringLiteral("t.txt:1:46: end tag \"</ORVE_COLUMNS>\" has no begin tag")}},
        {"misspelled column key",
         QStringLiteral("id\n<ORVE_COLUMNS>  <ORVE>CL_NAMEE</ORVE>\n</ORVE_COLUMNS>"),
         {QStringLiteral("t.txt:2:17: no value for the variable \"CL_NAMEE\"")}},
        {"block nothing expands",
         QStringLiteral("\n\n<ORVE_FOO>x</ORVE_FOO>"),
         {QStringLiteral("t.txt:3:1: \"<ORVE_FOO>\" was left in the output")}},
        {"run-time error in a calculated block",
         QStringLiteral("v=<ORVE_CALC>1 + \"a\"</ORVE_CALC>"),
         {QStringLiteral("t.txt:1:3: calculated block: error 13 (Type mismatch)")}},
        {"syntax error after substitution, inside a row block",
         QStringLiteral("\n<ORVE_COLUMNS>,<ORVE_CALC>\"<ORVE>CL_NAME</ORVE>\" +</ORVE_CALC></ORVE_COLUMNS>"),
         {QStringLiteral("t.txt:2:16: calculated block: error 1002 (Syntax error)")}},
        {"error in the second selection condition",
         QStringLiteral("<ORVE_SELECT><ORVE_CASE>1=2</ORVE_CASE><ORVE_CASEDATA>a</ORVE_CASEDATA>"
                        "<ORVE_CASE>1/0 = 1</ORVE_CASE><ORVE_CASEDATA>b</ORVE_CASEDATA></ORVE_SELECT>"),
         {QStringLiteral("t.txt:1:72: selection condition: error 11 (Division by zero)")}},
        {"unknown encode form, reported once",
         QStringLiteral(" <ORVE_ENCODE>") + data + QStringLiteral("<ORVE_AS>xml</ORVE_AS></ORVE_ENCODE>"),
         {QStringLiteral("t.txt:1:2: encode block with the unknown form \"xml\"")}},
        {"encode block without a form",
         QStringLiteral("<ORVE_ENCODE>") + data + QStringLiteral("</ORVE_ENCODE>"),
         {QStringLiteral("t.txt:1:1: encode block without a form")}},
        {"fixed-length width that is no number",
         QStringLiteral("ab <ORVE_FIXLENGTH>") + data +
             QStringLiteral("<ORVE_LENGTH>ten</ORVE_LENGTH></ORVE_FIXLENGTH>"),
         {QStringLiteral("t.txt:1:44: fixed-length block with the width \"ten\"")}},
        {"negative fixed-length width from a value",
         QStringLiteral("<ORVE_COLUMNS><ORVE_FIXLENGTH>") + data +
             QStringLiteral(
                 "<ORVE_LENGTH>-<ORVE>ORVE_COLUMNS_ROW_INDEX</ORVE></ORVE_LENGTH></ORVE_FIXLENGTH></ORVE_COLUMNS>"),
         {QStringLiteral("t.txt:1:55: fixed-length block with the width \"-1\"")}},
        {"CR LF lines and a surrogate pair count as a text editor counts",
         QStringLiteral("\u4e2d\u6587\r\n\U0001D11Ex<ORVE>NOPE</ORVE>\r\n"),
         {QStringLiteral("t.txt:2:3: no value for the variable \"NOPE\"")}},
        {"the read-me's log is filled in later", QStringLiteral("<ORVE>RVG_HTMLLOG</ORVE><ORVE>rvg_log</ORVE>"), {}},
    };
    for (const Case& c : cases) {
        const Expansion run = diagnose(c.text, table());
        ASSERT_EQ(run.lines.size(), c.expected.size()) << c.name << ":\n" << run.lines.join(u'\n').toStdString();
        for (qsizetype i = 0; i < c.expected.size(); ++i)
            EXPECT_TRUE(run.lines[i].startsWith(c.expected[i]))
                << c.name << ": " << run.lines[i].toStdString() << "\nexpected: " << c.expected[i].toStdString();
    }
}

TEST(QVNDiagnostics, MistakesInsideSectionVariablesPointIntoTheVariableFile)
{
    const QString vars = QStringLiteral("[HEAD]\r\n// head\r\n<ORVE_CALC>1/0</ORVE_CALC>\r\n"
                                        "[ROWS]\r\n<ORVE_COLUMNS><ORVE>CL_NAM</ORVE>\r\n</ORVE_COLUMNS>\r\n"
                                        "[OPEN]\r\n  <ORVE_COLUMNS>\r\n");
    const Expansion run = diagnose(QStringLiteral("<ORVE>HEAD</ORVE>\n<ORVE>ROWS</ORVE>\n"), table(), vars);
    const QStringList expected = {
        QStringLiteral("vars.txt:8:3: \"<ORVE_COLUMNS>\" has no end tag"),
        QStringLiteral("vars.txt:3:1: calculated block: error 11 (Division by zero)"),
        QStringLiteral("vars.txt:5:15: no value for the variable \"CL_NAM\""),
    };
    ASSERT_EQ(run.lines.size(), expected.size()) << run.lines.join(u'\n').toStdString();
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(run.lines[i].startsWith(expected[i])) << run.lines[i].toStdString();
}

TEST(QVNDiagnostics, PositionsInAGB18030TemplateAreCountedInItsCharacters)
{
    const QString original =
        QStringLiteral("\u8868\u540d\uff1a<ORVE>TL_NAME</ORVE>\r\n\u5217\uff1a<ORVE>CL_NAMEE</ORVE>\r\n");
    const QByteArray bytes = TextCodec::Encode(original, TextEncoding::GB18030);
    TextEncoding found = TextEncoding::Utf8;
    const QString read = TextCodec::Decode(bytes, &found);
    ASSERT_EQ(found, TextEncoding::GB18030);
    const Expansion run = diagnose(read, table());
    ASSERT_EQ(run.lines.size(), 1);
    EXPECT_TRUE(run.lines[0].startsWith(QStringLiteral("t.txt:2:3: no value for the variable \"CL_NAMEE\"")))
        << run.lines[0].toStdString();
}

TEST(QVNDiagnostics, AMistakeRepeatedInTheNextTemplateIsReportedThereToo)
{
    QVNDiagnostics diagnostics;
    QVNParser parser;
    parser.SetDiagnostics(&diagnostics);
    const QString text = QStringLiteral("<ORVE_SELECT><ORVE_CASE>1 +</ORVE_CASE><ORVE_CASEDATA>a</ORVE_CASEDATA>"
                                        "</ORVE_SELECT><ORVE>X</ORVE>");
    for (const QString& file : {QStringLiteral("a.txt"), QStringLiteral("b.txt")}) {
        diagnostics.SetTemplate(file, text);
        diagnostics.CheckOutput(parser.ConvertCols(text, table()));
    }
    const QStringList lines = diagnostics.Lines();
    ASSERT_EQ(lines.size(), 4) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("b.txt:1:14: selection condition: error 1002")));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("b.txt:1:86: no value for the variable \"X\"")));
}

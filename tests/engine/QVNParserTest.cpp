#include "QVNParser.h"

#include "EngineTestData.h"
#include "QtPrinters.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

QString expandCols(const QString& text, const TQXColsPtr& cols)
{
    QVNParser parser;
    return parser.ConvertCols(text, cols);
}

QString expandRows(const QString& text, const TQXRowsPtr& rows)
{
    QVNParser parser;
    return parser.ConvertRows(text, rows);
}

const QString kSelectFalse =
    QStringLiteral("<ORVE_SELECT><ORVE_CASE>1 = 2</ORVE_CASE><ORVE_CASEDATA>X</ORVE_CASEDATA></ORVE_SELECT>");

} // namespace

// ---- variables ------------------------------------------------------------------------------

TEST(QVNParserVariables, MatchKeysCaseSensitivelyAndLeaveUnknownOnesAsWritten)
{
    const auto cols = makeCols({{QStringLiteral("name"), TQXValue(QStringLiteral("x"))},
                                {QStringLiteral("empty"), TQXValue()},
                                {QStringLiteral("n"), TQXValue(2.5)}});
    EXPECT_EQ(expandCols(QStringLiteral("<ORVE>NAME</ORVE>|<ORVE>name</ORVE>|<ORVE>empty</ORVE>|<ORVE>n</ORVE>|"
                                        "<ORVE>other</ORVE>"),
                         cols),
              QStringLiteral("<ORVE>NAME</ORVE>|x||2.5|<ORVE>other</ORVE>"));
}

TEST(QVNParserVariables, LaterColumnsSeeValuesOfEarlierOnesButNotTheReverse)
{
    const QString text = QStringLiteral("<ORVE>A</ORVE>");
    EXPECT_EQ(expandCols(text, makeCols({{QStringLiteral("A"), TQXValue(QStringLiteral("<ORVE>B</ORVE>"))},
                                         {QStringLiteral("B"), TQXValue(QStringLiteral("b"))}})),
              QStringLiteral("b"));
    EXPECT_EQ(expandCols(text, makeCols({{QStringLiteral("B"), TQXValue(QStringLiteral("b"))},
                                         {QStringLiteral("A"), TQXValue(QStringLiteral("<ORVE>B</ORVE>"))}})),
              QStringLiteral("<ORVE>B</ORVE>"));
}

TEST(QVNParserVariables, ColumnOrderDecidesBetweenARowValueAndAGlobalValueOfOneKey)
{
    auto rows = TQXRows::Create();
    rows->SetTag(QStringLiteral("T"));
    rows->Add(makeCols({{QStringLiteral("g"), TQXValue(QStringLiteral("row"))}}));
    rows->Add(makeCols({{QStringLiteral("g"), TQXValue(QStringLiteral("row"))}}));
    const QString text = QStringLiteral("<ORVE_T>[<ORVE>g</ORVE>]</ORVE_T>");

    auto rowsFirst = TQXCols::Create();
    rowsFirst->Add(TQXValue(rows), QStringLiteral("T"));
    rowsFirst->Add(TQXValue(QStringLiteral("G")), QStringLiteral("g"));
    EXPECT_EQ(expandCols(text, rowsFirst), QStringLiteral("[row][row]"));

    auto globalFirst = TQXCols::Create();
    globalFirst->Add(TQXValue(QStringLiteral("G")), QStringLiteral("g"));
    globalFirst->Add(TQXValue(rows), QStringLiteral("T"));
    EXPECT_EQ(expandCols(text, globalFirst), QStringLiteral("[G][G]"));
}

TEST(QVNParserVariables, NestedColumnSetsAreSubstitutedInTheirPlaceAndACycleIsNotFollowed)
{
    auto outer = TQXCols::Create();
    outer->Add(TQXValue(QStringLiteral("1")), QStringLiteral("a"));
    outer->Add(TQXValue(makeCols({{QStringLiteral("b"), TQXValue(QStringLiteral("2"))}})), QStringLiteral("inner"));
    outer->Add(TQXValue(outer), QStringLiteral("self")); // a set that contains itself
    EXPECT_EQ(expandCols(QStringLiteral("<ORVE>a</ORVE><ORVE>b</ORVE>"), outer), QStringLiteral("12"));

    // A row set whose row refers back to the outer set is followed: each level works on a shorter body.
    auto rows = TQXRows::Create();
    rows->SetTag(QStringLiteral("T"));
    rows->Add(outer);
    outer->Add(TQXValue(rows), QStringLiteral("rows"));
    EXPECT_EQ(expandCols(QStringLiteral("<ORVE_T>[<ORVE>a</ORVE><ORVE_T>]</ORVE_T>"), outer),
              QStringLiteral("[1<ORVE_T>]"));
    outer->Clear(); // break the reference cycles
}

// ---- repetition blocks ----------------------------------------------------------------------

TEST(QVNParserRepetition, RowPlaceholdersGiveIndexCountAndKey)
{
    const auto rows = makeRows(QStringLiteral("T"), QStringLiteral("v"),
                               {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    EXPECT_EQ(expandRows(QStringLiteral("<ORVE_T><ORVE>ORVE_T_ROW_INDEX</ORVE>/<ORVE>ORVE_T_ROW_COUNT</ORVE>"
                                        "=<ORVE>ORVE_T_ROW_KEY</ORVE> </ORVE_T>"),
                         rows),
              QStringLiteral("1/3=r1 2/3=r2 3/3=r3 "));
}

TEST(QVNParserRepetition, EveryBlockOfARowSetIsExpandedAndTheTextBetweenStays)
{
    const auto rows = makeRows(QStringLiteral("T"), QStringLiteral("v"), {QStringLiteral("x"), QStringLiteral("y")});
    EXPECT_EQ(expandRows(QStringLiteral("a<ORVE_T>[<ORVE>v</ORVE>]</ORVE_T>b<ORVE_T>(<ORVE>v</ORVE>)</ORVE_T>c"), rows),
              QStringLiteral("a[x][y]b(x)(y)c"));
}

TEST(QVNParserRepetition, ASameNameBlockInsideABlockPairsTheOuterBeginWithTheInnerEnd)
{
    const auto rows = makeRows(QStringLiteral("T"), QStringLiteral("v"), {QStringLiteral("x"), QStringLiteral("y")});
    EXPECT_EQ(expandRows(QStringLiteral("<ORVE_T>A<ORVE_T>B</ORVE_T>C</ORVE_T>"), rows),
              QStringLiteral("A<ORVE_T>BA<ORVE_T>BC</ORVE_T>"));
}

TEST(QVNParserRepetition, EmptySetsUntaggedSetsAndUnclosedBlocks)
{
    auto empty = TQXRows::Create();
    empty->SetTag(QStringLiteral("T"));
    EXPECT_EQ(expandRows(QStringLiteral("a<ORVE_T>x</ORVE_T>b"), empty), QStringLiteral("ab"));

    const auto untagged = makeRows(QString(), QStringLiteral("v"), {QStringLiteral("x")});
    EXPECT_EQ(expandRows(QStringLiteral("a<ORVE_>x</ORVE_>b"), untagged), QStringLiteral("a<ORVE_>x</ORVE_>b"));

    const auto rows = makeRows(QStringLiteral("T"), QStringLiteral("v"), {QStringLiteral("x")});
    EXPECT_EQ(expandRows(QStringLiteral("<ORVE_T>1</ORVE_T>a<ORVE_T><ORVE>v</ORVE>"), rows),
              QStringLiteral("1a<ORVE_T><ORVE>v</ORVE>"));
    EXPECT_EQ(expandRows(QStringLiteral("a</ORVE_T>b"), rows), QStringLiteral("a</ORVE_T>b"));
}

TEST(QVNParserRepetition, NestedRowSetsExpandInsideEachCopyUnderTheirOwnTag)
{
    auto tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    auto t1 = makeCols({{QStringLiteral("TL_NAME"), TQXValue(QStringLiteral("t1"))}});
    t1->Add(TQXValue(makeRows(QStringLiteral("COLUMNS"), QStringLiteral("CL_NAME"),
                              {QStringLiteral("a"), QStringLiteral("b")})),
            QStringLiteral("the key does not name the block"));
    tables->Add(t1, QStringLiteral("t1"));
    auto t2 = makeCols({{QStringLiteral("TL_NAME"), TQXValue(QStringLiteral("t2"))}});
    t2->Add(TQXValue(makeRows(QStringLiteral("COLUMNS"), QStringLiteral("CL_NAME"), {QStringLiteral("c")})),
            QStringLiteral("COLUMNS"));
    tables->Add(t2, QStringLiteral("t2"));
    EXPECT_EQ(expandRows(QStringLiteral("<ORVE_TABLES><ORVE>TL_NAME</ORVE>:<ORVE_COLUMNS> <ORVE>CL_NAME</ORVE>"
                                        "#<ORVE>ORVE_COLUMNS_ROW_INDEX</ORVE></ORVE_COLUMNS>;</ORVE_TABLES>"),
                         tables),
              QStringLiteral("t1: a#1 b#2;t2: c#1;"));
}

TEST(QVNParserRepetition, SelectionInsideABlockIsDecidedPerRowOnceNoVariableIsLeft)
{
    const auto rows = makeRows(QStringLiteral("T"), QStringLiteral("v"), {QStringLiteral("a"), QStringLiteral("b")});
    const QString text = QStringLiteral("<ORVE_T><ORVE_SELECT><ORVE_CASE>\"<ORVE>v</ORVE>\" = \"b\"</ORVE_CASE>"
                                        "<ORVE_CASEDATA>[<ORVE>v</ORVE>]</ORVE_CASEDATA></ORVE_SELECT></ORVE_T>");
    EXPECT_EQ(expandRows(text, rows), QStringLiteral("[b]"));

    // A variable still open in the copy defers the decision to the whole text, after the global
    // column is substituted: then both rows see g = "b".
    auto cols = TQXCols::Create();
    cols->Add(TQXValue(rows), QStringLiteral("T"));
    cols->Add(TQXValue(QStringLiteral("b")), QStringLiteral("g"));
    EXPECT_EQ(expandCols(QStringLiteral("<ORVE_T><ORVE_SELECT><ORVE_CASE>\"<ORVE>g</ORVE>\" = \"b\"</ORVE_CASE>"
                                        "<ORVE_CASEDATA>[<ORVE>v</ORVE>]</ORVE_CASEDATA></ORVE_SELECT></ORVE_T>"),
                         cols),
              QStringLiteral("[a][b]"));
}

// ---- tag lines and line breaks --------------------------------------------------------------

TEST(QVNParserTagLines, ATagAloneOnItsLineTakesThePrecedingBreakAlong)
{
    QVNParser parser;
    const QString text = QStringLiteral("A\n    <ORVE_X>\nbody\n</ORVE_X>\nB");
    EXPECT_EQ(parser.DeleteUselessEnter(text), QStringLiteral("A<ORVE_X>\nbody</ORVE_X>\nB"));
    const auto rows = makeRows(QStringLiteral("X"), QStringLiteral("v"), {QStringLiteral("1"), QStringLiteral("2")});
    EXPECT_EQ(expandRows(text, rows), QStringLiteral("A\nbody\nbody\nB"));
    EXPECT_EQ(expandRows(crlf(text), rows), QStringLiteral("A\r\nbody\r\nbody\r\nB"));
}

TEST(QVNParserTagLines, TagsAtTheStartOrSharingTheirLineStayAndVariablesAreNotTags)
{
    QVNParser parser;
    for (const QString& text :
         {QStringLiteral("<ORVE_X>\nbody"), QStringLiteral("a\nx <ORVE_X>\ny"), QStringLiteral("a\n<ORVE_X> x\ny"),
          QStringLiteral("a\n<ORVE>v</ORVE>\nb"), QStringLiteral("a\n<ORVE_X\n>\nb"), QStringLiteral("no tags\n")})
        EXPECT_EQ(parser.DeleteUselessEnter(text), text);
    EXPECT_EQ(parser.DeleteUselessEnter(QStringLiteral("a  \n  </ORVE_X>")), QStringLiteral("a  </ORVE_X>"));
}

TEST(QVNParserTagLines, ATemplateWrittenWithLfExpandsLikeItsCrLfTwin)
{
    auto rows = TQXRows::Create();
    rows->SetTag(QStringLiteral("T"));
    for (const char* v : {"a", "b", "c"})
        rows->Add(makeCols({{QStringLiteral("v"), TQXValue(QString::fromLatin1(v))}}), QString::fromLatin1(v));
    auto cols = TQXCols::Create();
    cols->Add(TQXValue(QStringLiteral("G")), QStringLiteral("g"));
    cols->Add(TQXValue(rows), QStringLiteral("rows"));

    const QStringList templates = {
        QStringLiteral("head\n  <ORVE_T>\n  line <ORVE>v</ORVE>\n  </ORVE_T>\ntail\n"),
        QStringLiteral("x\n  <ORVE_T>\n  <ORVE_SELECT><ORVE_CASE>\"<ORVE>v</ORVE>\"=\"b\"</ORVE_CASE>"
                       "<ORVE_CASEDATA>B</ORVE_CASEDATA></ORVE_SELECT>\n  <ORVE>v</ORVE>\n  </ORVE_T>\ny"),
        QStringLiteral("a\n   ") + kSelectFalse + QStringLiteral("   \nb\n") + kSelectFalse + QStringLiteral("\n"),
        QStringLiteral("<ORVE>g</ORVE>\n<ORVE_CALC>\"<ORVE>g</ORVE>\" & \"!\"</ORVE_CALC>\n\n  </ORVE_T>\n"),
    };
    for (const QString& lf : templates) {
        const QString outLf = expandCols(lf, cols);
        EXPECT_FALSE(outLf.contains(QLatin1Char('\r'))) << lf.toStdString();
        EXPECT_EQ(expandCols(crlf(lf), cols), crlf(outLf)) << lf.toStdString();
    }
}

// ---- calculated, selection and fixed-length blocks ------------------------------------------

TEST(QVNParserBlocks, CalculatedBlocksEvaluateAfterSubstitutionAndErrorsVanish)
{
    const auto cols = makeCols({{QStringLiteral("a"), TQXValue(21)}});
    EXPECT_EQ(expandCols(QStringLiteral("[<ORVE_CALC>1+2</ORVE_CALC>][<ORVE_CALC>1 +</ORVE_CALC>]"
                                        "[<ORVE_CALC><ORVE>a</ORVE> * 2</ORVE_CALC>][<ORVE_CALC>1/0</ORVE_CALC>]"),
                         cols),
              QStringLiteral("[3][][42][]"));
}

TEST(QVNParserBlocks, SelectionKeepsTheFirstCaseThatIsNotFalse)
{
    QVNParser parser;
    auto select = [](const QString& body) {
        return QStringLiteral("<ORVE_SELECT>") + body + QStringLiteral("</ORVE_SELECT>");
    };
    auto kase = [](const char* cond, const char* data) {
        return QStringLiteral("<ORVE_CASE>%1</ORVE_CASE><ORVE_CASEDATA>%2</ORVE_CASEDATA>")
            .arg(QString::fromUtf8(cond), QString::fromUtf8(data));
    };
    const QString elseE = QStringLiteral("<ORVE_ELSEDATA>E</ORVE_ELSEDATA>");
    EXPECT_EQ(parser.ConvertSelectData(select(kase("1 = 2", "A") + kase(" \"x\" = \"x\" ", " B "))),
              QStringLiteral(" B "));
    EXPECT_EQ(parser.ConvertSelectData(select(elseE)), QStringLiteral("E"));
    EXPECT_EQ(parser.ConvertSelectData(select(kase("False", "A") + kase("\"False\"", "B") + elseE)),
              QStringLiteral("E"));
    EXPECT_EQ(parser.ConvertSelectData(select(kase("1 +", "broken"))), QStringLiteral("broken"));
    EXPECT_EQ(parser.ConvertSelectData(select(kase("", "A") + elseE)), QStringLiteral("E"));
    // An else part before the last case data is not seen.
    EXPECT_EQ(parser.ConvertSelectData(select(elseE + kase("1 = 2", "A"))), QString());
    // Two blocks are decided independently.
    EXPECT_EQ(
        parser.ConvertSelectData(select(kase("1 = 1", "A")) + QStringLiteral("-") + select(kase("1 = 2", "B") + elseE)),
        QStringLiteral("A-E"));
}

TEST(QVNParserBlocks, ASelectionThatChoosesNothingRemovesTheLineItStandsAloneOn)
{
    QVNParser parser;
    EXPECT_EQ(parser.ConvertSelectData(QStringLiteral("a\n  ") + kSelectFalse + QStringLiteral("  \nb")),
              QStringLiteral("a\nb"));
    EXPECT_EQ(parser.ConvertSelectData(QStringLiteral("a\r\n  ") + kSelectFalse + QStringLiteral("  \r\nb")),
              QStringLiteral("a\r\nb"));
    EXPECT_EQ(parser.ConvertSelectData(QStringLiteral("a ") + kSelectFalse + QStringLiteral(" b")),
              QStringLiteral("a  b"));
    EXPECT_EQ(parser.ConvertSelectData(QStringLiteral("a\n") + kSelectFalse), QStringLiteral("a\n"));
    EXPECT_EQ(parser.ConvertSelectData(QStringLiteral("a\n<ORVE_SELECT><ORVE_CASE>1=1</ORVE_CASE>"
                                                      "<ORVE_CASEDATA></ORVE_CASEDATA></ORVE_SELECT>\nb")),
              QStringLiteral("a\n\nb"));
}

TEST(QVNParserBlocks, FixedLengthPadsCutsAndGrowsByStep)
{
    QVNParser parser;
    auto fix = [&](const QString& data, const QString& rest) {
        return parser.ConvertFixLengthData(
            QStringLiteral("<ORVE_FIXLENGTH><ORVE_DATA>%1</ORVE_DATA>%2</ORVE_FIXLENGTH>").arg(data, rest));
    };
    const QString len5 = QStringLiteral("<ORVE_LENGTH>5</ORVE_LENGTH>");
    EXPECT_EQ(fix(QStringLiteral("ab"), len5), QStringLiteral("ab   "));
    EXPECT_EQ(fix(QStringLiteral("ab"), len5 + QStringLiteral("<ORVE_PADRIGHT>2</ORVE_PADRIGHT>")),
              QStringLiteral("   ab"));
    EXPECT_EQ(fix(QStringLiteral("ab"), len5 + QStringLiteral("<ORVE_PADRIGHT> 2</ORVE_PADRIGHT>")),
              QStringLiteral("ab   "));
    EXPECT_EQ(fix(QStringLiteral("abcdefg"), len5 + QStringLiteral("<ORVE_STEP>4</ORVE_STEP>")),
              QStringLiteral("abcdefg  "));
    EXPECT_EQ(fix(QStringLiteral("abcdefg"), len5), QStringLiteral("abcde"));
    EXPECT_EQ(fix(QStringLiteral("abc"), QString()), QStringLiteral(" "));
    EXPECT_EQ(fix(QStringLiteral("  ab  "), QStringLiteral("<ORVE_LENGTH> 4.5 wide</ORVE_LENGTH>")),
              QStringLiteral("ab  "));
    EXPECT_EQ(fix(QStringLiteral("\u4e2d\u6587"), QStringLiteral("<ORVE_LENGTH>3</ORVE_LENGTH>")),
              QStringLiteral("\u4e2d "));
    EXPECT_EQ(fix(QStringLiteral("\u4e2d\u6587"), QStringLiteral("<ORVE_LENGTH>3</ORVE_LENGTH>"
                                                                 "<ORVE_PADRIGHT>2</ORVE_PADRIGHT>")),
              QStringLiteral(" \u4e2d"));
    EXPECT_EQ(fix(QStringLiteral("a"), QStringLiteral("<ORVE_LENGTH>99999999999</ORVE_LENGTH>")).size(), 1 << 20);
}

TEST(QVNParserBlocks, StepsRunInOrderCalculatedSelectionFixedLength)
{
    // The calculated block builds the condition's operand; the selection picks a fixed-length block.
    const QString text = QStringLiteral(
        "<ORVE_SELECT><ORVE_CASE><ORVE_CALC>1+1</ORVE_CALC> = 2</ORVE_CASE><ORVE_CASEDATA><ORVE_FIXLENGTH>"
        "<ORVE_DATA><ORVE>v</ORVE></ORVE_DATA><ORVE_LENGTH>4</ORVE_LENGTH></ORVE_FIXLENGTH>|</ORVE_CASEDATA>"
        "</ORVE_SELECT>");
    EXPECT_EQ(expandCols(text, makeCols({{QStringLiteral("v"), TQXValue(QStringLiteral("ab"))}})),
              QStringLiteral("ab  |"));
    // Without "<ORVE" in the text only the tag-line rule runs.
    EXPECT_EQ(expandCols(QStringLiteral("plain <ORV text\n"), TQXCols::Create()), QStringLiteral("plain <ORV text\n"));
}

// ---- block search ---------------------------------------------------------------------------

TEST(QVNParserBlocks, GetBeginEndDataReportsOneBasedPositionsOrMinusOne)
{
    QVNParser parser;
    int b = 0, e = 0;
    EXPECT_EQ(parser.GetBeginEndData(QStringLiteral("xx<B>body</E>yy</E>"), QStringLiteral("<B>"),
                                     QStringLiteral("</E>"), b, e),
              QStringLiteral("body"));
    EXPECT_EQ(b, 3);
    EXPECT_EQ(e, 10);
    EXPECT_EQ(parser.GetBeginEndData(QStringLiteral("</E><B>x"), QStringLiteral("<B>"), QStringLiteral("</E>"), b, e),
              QString());
    EXPECT_EQ(b, -1);
    EXPECT_EQ(e, -1);
}

// ---- progress and cancel --------------------------------------------------------------------

TEST(QVNParserProgress, ReportsFixedTextsInStepOrder)
{
    QVNParser parser;
    QStringList messages;
    parser.SetProgressListener([&](const QString& m, bool&) {
        if (!m.isEmpty())
            messages << m;
    });
    auto cols = makeCols({{QStringLiteral("a"), TQXValue(1)}}, QStringLiteral("G"));
    parser.ConvertCols(QStringLiteral("<ORVE>a</ORVE>"), cols);
    EXPECT_EQ(messages, QStringList({QStringLiteral("Convert Cols (G)"), QStringLiteral("Convert ColsMark (G)"),
                                     QStringLiteral("Convert Calc Data"), QStringLiteral("Convert SelectData"),
                                     QStringLiteral("Convert FixLength Data")}));
    messages.clear();
    parser.ConvertRows(QStringLiteral("<ORVE_T></ORVE_T>"), makeRows(QStringLiteral("T"), QStringLiteral("v"), {}));
    EXPECT_EQ(messages.mid(0, 2),
              QStringList({QStringLiteral("Convert Rows (T)"), QStringLiteral("Convert RowsMark (T)")}));
}

TEST(QVNParserProgress, CancellingAtABlockBoundaryReturnsTheExpandedPrefixAndTheRestUnexpanded)
{
    QVNParser parser;
    int events = 0;
    QVNEvents::SetHook([&] { ++events; });
    // Cancelled within the first row: the repetition ends after it, the later block stays as it was.
    parser.SetCompiledExpansion(false);
    bool inRows = false;
    parser.SetProgressListener([&](const QString& m, bool& cancel) {
        inRows = inRows || m.startsWith(QLatin1String("Convert ColsMark"));
        if (m.isEmpty() && inRows)
            cancel = true; // the first check after a unit of work inside the rows
    });
    const auto rows = makeRows(QStringLiteral("T"), QStringLiteral("v"),
                               {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")});
    EXPECT_EQ(
        parser.ConvertRows(QStringLiteral("<ORVE_T><ORVE>v</ORVE></ORVE_T>|<ORVE_T><ORVE>v</ORVE></ORVE_T>"), rows),
        QStringLiteral("x|<ORVE_T><ORVE>v</ORVE></ORVE_T>"));
    EXPECT_TRUE(parser.Canceled());
    EXPECT_GT(events, 0);
    QVNEvents::SetHook(nullptr);

    // A cancel after the first column leaves the later columns unsubstituted.
    const auto cols = makeCols({{QStringLiteral("a"), TQXValue(1)}, {QStringLiteral("b"), TQXValue(2)}});
    EXPECT_EQ(parser.ConvertCols(QStringLiteral("<ORVE>a</ORVE><ORVE>b</ORVE>"), cols),
              QStringLiteral("1<ORVE>b</ORVE>"));

    // Each entry point starts afresh.
    parser.SetProgressListener(nullptr);
    EXPECT_EQ(parser.ConvertCols(QStringLiteral("<ORVE>a</ORVE><ORVE>b</ORVE>"), cols), QStringLiteral("12"));
    EXPECT_FALSE(parser.Canceled());
}

// ---- variable files and time stamps ---------------------------------------------------------

TEST(QVNParserVariableFile, SectionsInFileOrderWithoutTheFinalBreak)
{
    QVNParser parser;
    auto pairs = [](const TQXColsPtr& cols) {
        QStringList out;
        for (const TQXColPtr& c : *cols)
            out << c->Key() + QLatin1Char('=') + c->Value().ToText();
        return out;
    };
    EXPECT_EQ(pairs(parser.GetTempVariable(QStringLiteral("junk\r\n [A] \r\nx\r\n  y\r\n[B]\r\n"))),
              QStringList({QStringLiteral("A=x\r\n  y"), QStringLiteral("B=")}));
    EXPECT_EQ(pairs(parser.GetTempVariable(QStringLiteral("[A]\nx\ny\n[B]"))),
              QStringList({QStringLiteral("A=x\ny"), QStringLiteral("B=")}));
    EXPECT_EQ(pairs(parser.GetTempVariable(QStringLiteral("[A]\n1\n[a]\n2\n[]\ndropped"))),
              QStringList({QStringLiteral("A=1"), QStringLiteral("=")}));
    EXPECT_EQ(pairs(parser.GetTempVariable(QString())), QStringList({QStringLiteral("=")}));
    EXPECT_EQ(pairs(parser.GetTempVariable(QStringLiteral("[A]\nx\n    <ORVE_T>\ny"))),
              QStringList({QStringLiteral("A=x<ORVE_T>\ny")}));
}

TEST(QVNParserTimeStamp, GetHexIsTheHexSecondsOfTheYearPaddedToNine)
{
    EXPECT_EQ(QVNParser::GetHEX(QDateTime(QDate(2024, 1, 1), QTime(0, 0))), QStringLiteral("000000000"));
    EXPECT_EQ(QVNParser::GetHEX(QDateTime(QDate(2024, 1, 1), QTime(0, 0, 10))), QStringLiteral("A00000000"));
    EXPECT_EQ(QVNParser::GetHEX(QDateTime(QDate(2023, 2, 1), QTime(0, 0))), QStringLiteral("28DE80000"));
    EXPECT_EQ(QVNParser::GetHEX(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59))), QStringLiteral("1E284FF00"));
    QVNParser parser;
    EXPECT_EQ(parser.GetHEX().size(), 9);
}

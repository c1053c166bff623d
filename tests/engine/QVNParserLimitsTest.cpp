// The bounds of one expansion: a text that would outgrow the limit, or an expansion that would copy
// more than its share, stops with one line naming the limit; anything below gives what it always did.
#include "EngineTestData.h"
#include "QVNParser.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

/// Columns V0..V(levels-1) whose values hold the next variable twice, and a last one holding "x":
/// "<ORVE>V0</ORVE>" expands to 2^levels x's through ever longer intermediate texts.
TQXColsPtr doubling(int levels)
{
    auto cols = TQXCols::Create();
    for (int i = 0; i < levels; ++i)
        cols->Add(TQXValue(QStringLiteral("<ORVE>V%1</ORVE><ORVE>V%1</ORVE>").arg(i + 1)),
                  QStringLiteral("V%1").arg(i));
    cols->Add(TQXValue(QStringLiteral("x")), QStringLiteral("V%1").arg(levels));
    return cols;
}

} // namespace

TEST(QVNParserLimits, ResultsBelowTheBoundsAreUnchanged)
{
    QVNParser parser;
    parser.SetLimits(4096, 1 << 20);
    EXPECT_EQ(parser.ConvertCols(QStringLiteral("<ORVE>V0</ORVE>"), doubling(8)), QString(256, QLatin1Char('x')));
    EXPECT_FALSE(parser.OverLimit());
    EXPECT_TRUE(parser.Exceptions.IsEmpty());
}

TEST(QVNParserLimits, ExponentialSubstitutionStopsAtTheTextBoundWithOneLine)
{
    QVNParser parser;
    parser.SetLimits(4096, qint64(1) << 40);
    parser.ConvertCols(QStringLiteral("<ORVE>V0</ORVE>"), doubling(40));
    EXPECT_TRUE(parser.OverLimit());
    EXPECT_FALSE(parser.Canceled());
    ASSERT_EQ(parser.Exceptions.Count(), 1);
    EXPECT_TRUE(parser.Exceptions.ToString().contains(QStringLiteral("4096 characters")));

    // The next call starts afresh.
    EXPECT_EQ(parser.ConvertCols(QStringLiteral("<ORVE>V0</ORVE>"), doubling(2)), QStringLiteral("xxxx"));
    EXPECT_FALSE(parser.OverLimit());
    EXPECT_TRUE(parser.Exceptions.IsEmpty());
}

TEST(QVNParserLimits, WorkIsBoundedEvenWhenTheOutputStaysSmall)
{
    // A thousand rows whose copies all vanish in a selection: little output, much copying.
    auto rows = TQXRows::Create();
    rows->SetTag(QStringLiteral("T"));
    for (int i = 0; i < 1000; ++i)
        rows->Add(makeCols({{QStringLiteral("v"), TQXValue(i)}}));
    const QString body = QStringLiteral("<ORVE_T><ORVE_SELECT><ORVE_CASE>1 = 2</ORVE_CASE><ORVE_CASEDATA>") +
                         QString(2000, QLatin1Char('.')) + QStringLiteral("</ORVE_CASEDATA></ORVE_SELECT></ORVE_T>");
    QVNParser parser;
    EXPECT_EQ(parser.ConvertRows(body, rows), QString());
    parser.SetLimits(1 << 20, 200000);
    parser.ConvertRows(body, rows);
    EXPECT_TRUE(parser.OverLimit());
    EXPECT_TRUE(parser.Exceptions.ToString().contains(QStringLiteral("200000 characters")));
}

TEST(QVNParserLimits, FortyLevelsStopAtTheDefaultBounds)
{
    // The set of tests/data/engine/limits/doubling_40.json, which once never ended.
    QVNParser parser;
    parser.ConvertCols(QStringLiteral("<ORVE>V0</ORVE>\n"), doubling(40));
    EXPECT_TRUE(parser.OverLimit());
    EXPECT_TRUE(parser.Exceptions.ToString().contains(QString::number(QVNParser::kDefaultMaxText)));
}

// A model applies its section variables to each template once and the rest of every table's set
// afterwards: the two steps must give exactly what one expansion of the whole set gives.
#include "QVNParser.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <random>

namespace {

QString pickOne(std::mt19937& rng, const QStringList& items)
{
    return items.at(std::uniform_int_distribution<qsizetype>(0, items.size() - 1)(rng));
}

// Section-like values: tags, variables of later columns, line breaks around block tags.
const QStringList kLeadValues = {
    QStringLiteral("<ORVE>c</ORVE>"),
    QStringLiteral("<ORVE_SELECT><ORVE_CASE>\"<ORVE>c</ORVE>\" = \"1\"</ORVE_CASE><ORVE_CASEDATA>one</ORVE_CASEDATA>"
                   "<ORVE_ELSEDATA>other</ORVE_ELSEDATA></ORVE_SELECT>"),
    QStringLiteral("\n<ORVE_CALC>1+<ORVE>n</ORVE></ORVE_CALC>\n"),
    QStringLiteral("<ORVE>s2</ORVE>-<ORVE>s1</ORVE>"),
    QStringLiteral("<ORVE_ENCODE><ORVE_DATA><ORVE>c</ORVE></ORVE_DATA><ORVE_AS>pystr</ORVE_AS></ORVE_ENCODE>"),
    QStringLiteral("plain"),
    QString()};
const QStringList kRestValues = {
    QStringLiteral("1"),    QStringLiteral("x y"), QString(), QStringLiteral("<b>"), QStringLiteral("<ORVE>s1</ORVE>"),
    QStringLiteral("\"q\"")};
const QStringList kFragments = {QStringLiteral("<ORVE>s1</ORVE>"),
                                QStringLiteral("<ORVE>s2</ORVE>"),
                                QStringLiteral("<ORVE>c</ORVE>"),
                                QStringLiteral("<ORVE>n</ORVE>"),
                                QStringLiteral("<ORVE_R>"),
                                QStringLiteral("</ORVE_R>"),
                                QStringLiteral("<ORVE>r</ORVE>"),
                                QStringLiteral("<ORVE>ORVE_R_ROW_INDEX</ORVE>"),
                                QStringLiteral("\n"),
                                QStringLiteral("\r\n"),
                                QStringLiteral("  "),
                                QStringLiteral("<ORVE_SELECT>"),
                                QStringLiteral("</ORVE_SELECT>"),
                                QStringLiteral("<ORVE_CASE>1=1</ORVE_CASE>"),
                                QStringLiteral("<ORVE_CASEDATA>"),
                                QStringLiteral("</ORVE_CASEDATA>"),
                                QStringLiteral("text"),
                                QStringLiteral("<ORVE"),
                                QStringLiteral("</ORVE>")};

} // namespace

TEST(QVNParserPrepared, TwoStepsGiveTheWholeExpansion)
{
    std::mt19937 rng(4242);
    auto dice = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int changed = 0;
    for (int round = 0; round < 4000; ++round) {
        QString text;
        for (int i = dice(1, 30); i > 0; --i)
            text += pickOne(rng, kFragments);

        auto lead = TQXCols::Create();
        lead->Add(TQXValue(pickOne(rng, kLeadValues)), QStringLiteral("s1"));
        if (dice(0, 1))
            lead->Add(TQXValue(pickOne(rng, kLeadValues)), QStringLiteral("s2"));

        auto rows = TQXRows::Create();
        rows->SetTag(QStringLiteral("R"));
        for (int i = dice(0, 3); i > 0; --i) {
            auto row = TQXCols::Create();
            row->Add(TQXValue(pickOne(rng, kRestValues)), QStringLiteral("r"));
            row->Add(TQXValue(pickOne(rng, kRestValues)), QStringLiteral("c"));
            rows->Add(row, QStringLiteral("k%1").arg(i));
        }
        auto rest = TQXCols::Create();
        if (dice(0, 1))
            rest->Add(TQXValue(pickOne(rng, kRestValues)), QStringLiteral("c"));
        rest->Add(TQXValue(rows), QStringLiteral("R"));
        rest->Add(TQXValue(dice(0, 9)), QStringLiteral("n"));

        auto whole = TQXCols::Create();
        for (const TQXColsPtr& part : {lead, rest}) {
            for (const TQXColPtr& col : *part)
                whole->AddRef(col, col->Key());
        }

        QVNParser once;
        const QString expected = once.ConvertCols(text, whole);
        QVNParser twice;
        const QString prepared = twice.PrepareCols(text, lead);
        ASSERT_EQ(twice.ConvertColsPrepared(prepared, rest), expected)
            << "round " << round << ", template: " << text.toStdString();
        changed += expected != text;
    }
    EXPECT_GT(changed, 3000); // the templates did expand
}

TEST(QVNParserPrepared, EachStepReportsItsOwnLimit)
{
    auto lead = TQXCols::Create();
    lead->Add(TQXValue(QStringLiteral("<ORVE>a</ORVE><ORVE>a</ORVE>")), QStringLiteral("a"));
    QVNParser engine;
    engine.SetLimits(64, qint64(1) << 20);
    QString text;
    for (int i = 0; i < 20; ++i)
        text += QStringLiteral("<ORVE>a</ORVE>");
    engine.PrepareCols(text, lead);
    EXPECT_TRUE(engine.OverLimit());
    EXPECT_FALSE(engine.Exceptions.IsEmpty());

    // The next call starts afresh.
    engine.ConvertColsPrepared(QStringLiteral("<ORVE>b</ORVE>"), TQXCols::Create());
    EXPECT_FALSE(engine.OverLimit());
}

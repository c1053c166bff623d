// The engine substitutes a run of plain columns with one scan when the order of substitution
// provably cannot matter. This test drives it with random texts full of partial and complete
// markers and compares it with the literal rule: replace each column's variable everywhere, one
// column after another, in column order.
#include "EngineTestData.h"
#include "QVNParser.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <random>

namespace {

QString literalSubstitution(QString text, const TQXColsPtr& cols)
{
    for (const TQXColPtr& c : *cols)
        text.replace(QStringLiteral("<ORVE>") + c->Key() + QStringLiteral("</ORVE>"), c->Value().ToText());
    return text;
}

template <size_t N> QString pick(std::mt19937& rng, const char* const (&items)[N])
{
    return QString::fromUtf8(items[std::uniform_int_distribution<size_t>(0, N - 1)(rng)]);
}

} // namespace

TEST(QVNParserSubstitution, AgreesWithColumnByColumnReplacementOnRandomTexts)
{
    static const char* const fragments[] = {"<ORVE>",
                                            "</ORVE>",
                                            "<ORVE>a</ORVE>",
                                            "<ORVE>b</ORVE>",
                                            "<ORVE>ab</ORVE>",
                                            "<ORVE></ORVE>",
                                            "<",
                                            ">",
                                            "<OR",
                                            "VE>",
                                            "</OR",
                                            "a",
                                            "b",
                                            " ",
                                            "\n",
                                            "<ORVE_T>",
                                            "x"};
    static const char* const keys[] = {"a", "b", "ab", "", "A", "<ORVE>a", "a>", "c"};
    static const char* const values[] = {"",
                                         "x",
                                         "a",
                                         "b",
                                         "<",
                                         ">",
                                         "<ORVE>",
                                         "</ORVE>",
                                         "<ORVE>b</ORVE>",
                                         "VE>",
                                         "<OR",
                                         "OR",
                                         "long value without markers",
                                         "<ORVE>a"};
    std::mt19937 rng(20240301);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int pieces = std::uniform_int_distribution<int>(0, 12)(rng);
        for (int i = 0; i < pieces; ++i)
            text += pick(rng, fragments);
        auto cols = TQXCols::Create();
        const int columns = std::uniform_int_distribution<int>(1, 5)(rng);
        for (int i = 0; i < columns; ++i) {
            // Column keys repeat and differ in case; the set refuses a duplicate, so add by reference.
            auto col = std::make_shared<TQXCol>();
            col->SetKey(pick(rng, keys));
            col->SetValue(TQXValue(pick(rng, values)));
            cols->AddRef(col, QString());
        }
        QVNParser parser;
        const QString expected = literalSubstitution(text, cols);
        ASSERT_EQ(parser.ConvertColsMarkData(text, cols), expected) << "text: " << text.toStdString();
        // A second call meets the cached spans of the same text.
        ASSERT_EQ(parser.ConvertColsMarkData(text, cols), expected) << "text: " << text.toStdString();
    }
}

TEST(QVNParserSubstitution, RowPlaceholdersAreReplacedInTheirFixedOrder)
{
    // The row key holds the count placeholder: it is inserted after the count was replaced.
    auto rows = TQXRows::Create();
    rows->SetTag(QStringLiteral("T"));
    rows->Add(TQXCols::Create(), QStringLiteral("<ORVE>ORVE_T_ROW_COUNT</ORVE>"));
    QVNParser parser;
    EXPECT_EQ(parser.ConvertRowsMarkData(QStringLiteral("<ORVE_T><ORVE>ORVE_T_ROW_KEY</ORVE>|"
                                                        "<ORVE>ORVE_T_ROW_COUNT</ORVE></ORVE_T>"),
                                         rows),
              QStringLiteral("<ORVE>ORVE_T_ROW_COUNT</ORVE>|1"));
}

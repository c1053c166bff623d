// The conversion of a design-model text into a template: sample names, identifiers and their tags.

#include "QVNUMLConvert.h"

#include <gtest/gtest.h>

namespace {
QString tag(const char* n)
{
    return QStringLiteral("<ORVE>RVG_HEXTIME</ORVE>") + QLatin1String(n);
}
} // namespace

TEST(UMLConvert, SampleNamesAreReplacedWithoutRegardToCase)
{
    TQXColsPtr ids;
    EXPECT_EQ(QVNUMLConvert::Convert(QStringLiteral("Tb_Test TB_TEST 测试 TestID testid"), ids),
              QStringLiteral("<ORVE>TL_NAME</ORVE> <ORVE>TL_NAME</ORVE> <ORVE>TL_CNAME2</ORVE> <ORVE>TL_PK</ORVE> "
                             "<ORVE>TL_PK</ORVE>"));
    EXPECT_EQ(ids->Count(), 0);
}

TEST(UMLConvert, OneIdentifierKeepsOneNumberOnEveryLine)
{
    const QString text = QStringLiteral("(object Class \"Order\"\r\n"
                                        "    QUID \"3A1B0C\"\r\n"
                                        "  (object Role\r\n"
                                        "    quidu \"4F00AA\"\r\n"
                                        "    ref \"3a1b0c\")\r\n"
                                        "    quid \"\"\r\n"
                                        "    quid \"unclosed\r\n"
                                        "    quid \"4F00AA\"");
    TQXColsPtr ids;
    const QString result = QVNUMLConvert::Convert(text, ids);
    ASSERT_EQ(ids->Count(), 2) << "an empty pair and a lone quote give nothing; a repeat is held once";
    EXPECT_EQ(ids->Item(1)->Value().ToText(), QStringLiteral("3A1B0C"));
    EXPECT_EQ(result, QStringLiteral("(object Class \"Order\"\r\n"
                                     "    QUID \"") +
                          tag("001") +
                          QStringLiteral("\"\r\n"
                                         "  (object Role\r\n"
                                         "    quidu \"") +
                          tag("002") +
                          QStringLiteral("\"\r\n"
                                         "    ref \"") +
                          tag("001") +
                          QStringLiteral("\")\r\n"
                                         "    quid \"\"\r\n"
                                         "    quid \"unclosed\r\n"
                                         "    quid \"") +
                          tag("002") + QStringLiteral("\""));
}

TEST(UMLConvert, ShorterIdentifierIsReplacedInsideLongerOnesButNeverInsideTags)
{
    TQXColsPtr ids;
    // "AB" is found first and replaced inside "ABCD" as well; "E" and "001" must not touch the tags.
    const QString result =
        QVNUMLConvert::Convert(QStringLiteral("quid \"AB\"\nquid \"ABCD\"\nquid \"E\"\nquid \"001\"\nx ABCD E"), ids);
    EXPECT_EQ(result, QStringLiteral("quid \"") + tag("001") + QStringLiteral("\"\nquid \"") + tag("001") +
                          QStringLiteral("CD\"\nquid \"") + tag("003") + QStringLiteral("\"\nquid \"") + tag("004") +
                          QStringLiteral("\"\nx ") + tag("001") + QStringLiteral("CD ") + tag("003"));
}

TEST(UMLConvert, SuffixesHaveThreeDigitsAndBeginAndEndMarksIgnoreCase)
{
    EXPECT_EQ(QVNUMLConvert::Suffix(1), QStringLiteral("001"));
    EXPECT_EQ(QVNUMLConvert::Suffix(999), QStringLiteral("999"));
    EXPECT_EQ(QVNUMLConvert::Suffix(1000), QStringLiteral("000"));
    EXPECT_EQ(QVNUMLConvert::Suffix(1234), QStringLiteral("234"));

    int b = 0, e = 0;
    EXPECT_EQ(QVNUMLConvert::GetBeginEndData(QStringLiteral("x<A>in</a><A>y</A>"), QStringLiteral("<a>"),
                                             QStringLiteral("</A>"), b, e),
              QStringLiteral("in"));
    EXPECT_EQ(b, 2);
    EXPECT_EQ(e, 7);
    EXPECT_EQ(
        QVNUMLConvert::GetBeginEndData(QStringLiteral("<a> open"), QStringLiteral("<a>"), QStringLiteral("</a>"), b, e),
        QString());
    EXPECT_EQ(b, -1);
    EXPECT_EQ(e, -1);
}

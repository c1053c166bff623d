// The expression evaluator against what VBScript answers (the text CStr makes of the result).
#include "VBEvaluator.h"

#include "QtPrinters.h"
#include "VBValue.h"

#include <gtest/gtest.h>

#include <clocale>
#include <utility>
#include <vector>

namespace {

using Cases = std::vector<std::pair<const char*, const char*>>;

void expectAll(const Cases& cases)
{
    VBEvaluator evaluator;
    for (const auto& [expression, expected] : cases)
        EXPECT_EQ(evaluator.EvaluateToText(QString::fromUtf8(expression)), QString::fromUtf8(expected))
            << "expression: " << expression;
}

} // namespace

TEST(VBEvaluator, OperatorPrecedenceAndAssociativity)
{
    expectAll({{"1+2*3", "7"},
               {"(1+2)*3", "9"},
               {"-2^2", "-4"},
               {"2^-1", "0.5"},
               {"2^3^2", "64"},
               {"5 \\ 2 * 2", "1"},
               {"5 Mod 3 \\ 2", "0"},
               {"2 + 3 Mod 2", "3"},
               {"1 + 2 & 3 + 4", "37"},
               {"1 < 2 = True", "True"},
               {"Not 1 = 2", "True"},
               {"Not True Or True", "True"},
               {"True Or False And False", "True"},
               {"True Xor True Or True", "False"},
               {"False Imp False Eqv True", "True"},
               {"1 + Not 0", "0"},
               {"10 - 2 - 3", "5"},
               {"-3 Mod 2", "-1"},
               {"7.5 \\ 2", "4"},
               {"6.5 Mod 4", "2"}});
}

TEST(VBEvaluator, LiteralsAndConstants)
{
    expectAll({{"&HFF", "255"},
               {"&HFFFF", "-1"},
               {"&H10000", "65536"},
               {"&HFFFFFFFF", "-1"},
               {"&O17", "15"},
               {"1.5E3", "1500"},
               {".5", "0.5"},
               {"\"say \"\"hi\"\"\"", "say \"hi\""},
               {"#1/31/2020#", "1/31/2020"},
               {"#2020-01-31 15:04:05#", "1/31/2020 3:04:05 PM"},
               {"#3:04 PM#", "3:04:00 PM"},
               {"True", "True"},
               {"Empty", ""},
               {"Null", ""},
               {"Len(vbCrLf & vbTab & vbCr & vbLf)", "5"},
               {"vbNullString = \"\"", "True"},
               {"VBCRLF = Chr(13) & Chr(10)", "True"},
               {"undeclared", ""},
               {"IsEmpty(undeclared)", "True"},
               {"[any name]", ""}});
}

TEST(VBEvaluator, ArithmeticKeepsNarrowTypesAndWidensOnOverflow)
{
    expectAll({{"TypeName(1)", "Integer"},
               {"TypeName(32767 + 1)", "Long"},
               {"TypeName(40000)", "Long"},
               {"100000 * 100000", "10000000000"},
               {"TypeName(2147483647 + 1)", "Double"},
               {"TypeName(1.5)", "Double"},
               {"TypeName(10 / 2)", "Double"},
               {"10 / 4", "2.5"},
               {"TypeName(CByte(200) + CByte(100))", "Integer"},
               {"TypeName(CSng(1) + 1)", "Single"},
               {"TypeName(CSng(1) + 40000)", "Double"},
               {"CCur(1.23456) * 2", "2.4692"},
               {"TypeName(CCur(1) + 1)", "Currency"},
               {"True + True", "-2"},
               {"TypeName(#1/1/2020# + 1)", "Date"},
               {"#1/1/2020# + 1", "1/2/2020"},
               {"#1/3/2020# - #1/1/2020#", "2"},
               {"0.1 + 0.2", "0.3"},
               {"1 / 3", "0.333333333333333"},
               {"2 ^ 0.5", "1.4142135623731"}});
}

TEST(VBEvaluator, TextAndNumberCoercions)
{
    expectAll({{"1 + \"1\"", "2"},
               {"\"1\" + \"1\"", "11"},
               {"\"3\" - \"1\"", "2"},
               {"\"2\" * \"3\"", "6"},
               {"1 & 2", "12"},
               {"\"a\" & 1.5 & True", "a1.5True"},
               {"Empty + 1", "1"},
               {"Empty & \"x\"", "x"},
               {"Empty + Empty", "0"},
               {"\" 12 \" + 0", "12"},
               {"\"1,000.5\" + 0", "1000.5"},
               {"\"&H10\" + 0", "16"},
               {"CDbl(\"1e3\")", "1000"}});
}

TEST(VBEvaluator, ComparisonsFollowTheVariantRules)
{
    expectAll({{"\"abc\" = \"ABC\"", "False"},
               {"\"a\" < \"B\"", "False"},
               {"\"10\" < \"9\"", "True"},
               {"10 < \"9\"", "False"},
               {"1 = \"1\"", "True"},
               {"Len(\"abc\") = \"3\"", "True"},
               {"CStr(1) = 1", "True"},
               {"Len(\"abc\") = CStr(3)", "False"},
               {"Len(\"abc\") < CStr(1)", "True"},
               {"Empty = 0", "True"},
               {"Empty = \"\"", "True"},
               {"True = -1", "True"},
               {"True = \"True\"", "True"},
               {"#1/1/2020# < #1/2/2020#", "True"},
               {"Nothing Is Nothing", "True"},
               {"2 >= 2", "True"},
               {"2 <> 2", "False"}});
}

TEST(VBEvaluator, NullPropagatesAndLogicTreatsItAsUnknown)
{
    expectAll({{"IsNull(Null + 1)", "True"},
               {"IsNull(Null = Null)", "True"},
               {"IsNull(\"a\" < Null)", "True"},
               {"\"x\" & Null", "x"},
               {"IsNull(Null & Null)", "True"},
               {"Null And False", "False"},
               {"IsNull(Null And True)", "True"},
               {"Null Or True", "True"},
               {"IsNull(Null Or False)", "True"},
               {"False Imp Null", "True"},
               {"IsNull(Null Xor True)", "True"},
               {"IsNull(Not Null)", "True"},
               {"IsNull(Len(Null))", "True"},
               {"IsNull(UCase(Null))", "True"},
               {"IsNull(Mid(Null, 1))", "True"},
               {"Not 0", "-1"},
               {"True And 5", "5"},
               {"12 And 10", "8"},
               {"12 Or 3", "15"},
               {"5 Xor 1", "4"}});
}

TEST(VBEvaluator, TextFunctions)
{
    expectAll({{"Len(\"hello\")", "5"},
               {"Len(123)", "3"},
               {"Left(\"hello\", 2) & Right(\"hello\", 2)", "helo"},
               {"Left(\"hi\", 10)", "hi"},
               {"Mid(\"hello\", 2, 3)", "ell"},
               {"Mid(\"hello\", 4)", "lo"},
               {"Mid(\"hello\", 9)", ""},
               {"UCase(\"abc\") & LCase(\"DEF\")", "ABCdef"},
               {"\"[\" & Trim(\"  a b  \") & \"]\"", "[a b]"},
               {"\"[\" & LTrim(\"  a  \") & \"]\"", "[a  ]"},
               {"\"[\" & RTrim(\"  a  \") & \"]\"", "[  a]"},
               {"Replace(\"a-b-c\", \"-\", \"+\")", "a+b+c"},
               {"Replace(\"aaa\", \"a\", \"b\", 2)", "bb"},
               {"Replace(\"aaaa\", \"a\", \"b\", 1, 2)", "bbaa"},
               {"Replace(\"AbA\", \"a\", \"x\", 1, -1, 1)", "xbx"},
               {"InStr(\"hello\", \"l\")", "3"},
               {"InStr(4, \"hello\", \"l\")", "4"},
               {"InStr(\"hello\", \"z\")", "0"},
               {"InStr(1, \"HELLO\", \"l\", 1)", "3"},
               {"InStrRev(\"abcabc\", \"bc\")", "5"},
               {"InStrRev(\"abcabc\", \"bc\", 4)", "2"},
               {"\"[\" & Space(3) & \"]\"", "[   ]"},
               {"String(3, \"xy\")", "xxx"},
               {"String(2, 65)", "AA"},
               {"StrReverse(\"abc\")", "cba"},
               {"StrComp(\"a\", \"B\")", "1"},
               {"StrComp(\"a\", \"B\", 1)", "-1"},
               {"StrComp(\"a\", \"a\")", "0"},
               {"Asc(\"A\")", "65"},
               {"Asc(\"\xe2\x82\xac\")", "128"},
               {"AscW(\"\xe2\x82\xac\")", "8364"},
               {"Chr(65) & Chr(128)", "A\xe2\x82\xac"},
               {"ChrW(8364)", "\xe2\x82\xac"}});
}

TEST(VBEvaluator, ConversionsRoundHalfToEven)
{
    expectAll({{"CInt(2.5)", "2"},
               {"CInt(3.5)", "4"},
               {"CInt(-2.5)", "-2"},
               {"CLng(\"12.5\")", "12"},
               {"CByte(255)", "255"},
               {"CBool(\"True\")", "True"},
               {"CBool(0)", "False"},
               {"CBool(\"0\")", "False"},
               {"CStr(1.0)", "1"},
               {"CDbl(\"2.50\")", "2.5"},
               {"CSng(0.1)", "0.1"},
               {"CSng(1) / 3", "0.3333333"},
               {"CCur(1.23456)", "1.2346"},
               {"CCur(922337203685477)", "922337203685477"},
               {"CDate(\"January 31, 2020\")", "1/31/2020"},
               {"CDate(\"31/1/2020\")", "1/31/2020"},
               {"CDate(0)", "12:00:00 AM"},
               {"CDate(43861.5)", "1/31/2020 12:00:00 PM"},
               {"Hex(255)", "FF"},
               {"Hex(-1)", "FFFF"},
               {"Hex(-65536)", "FFFF0000"},
               {"Oct(8)", "10"},
               {"Int(-2.5)", "-3"},
               {"Fix(-2.5)", "-2"},
               {"Round(2.5)", "2"},
               {"Round(3.5)", "4"},
               {"Round(-2.5)", "-2"},
               {"Round(3.14159, 2)", "3.14"},
               {"Round(1.005, 2)", "1"}});
}

TEST(VBEvaluator, MathAndInspectionFunctions)
{
    expectAll({{"Abs(-5)", "5"},
               {"TypeName(Abs(-32768))", "Long"},
               {"Sgn(-3) & Sgn(0) & Sgn(7)", "-101"},
               {"Sqr(16)", "4"},
               {"Exp(0)", "1"},
               {"Log(Exp(1))", "1"},
               {"Atn(1) * 4", "3.14159265358979"},
               {"Sin(0) + Cos(0) + Tan(0)", "1"},
               {"IsNumeric(\"12.5\")", "True"},
               {"IsNumeric(\"abc\")", "False"},
               {"IsNumeric(\"\")", "False"},
               {"IsNumeric(Empty)", "True"},
               {"IsDate(\"2020-01-31\")", "True"},
               {"IsDate(\"tomorrow\")", "False"},
               {"IsEmpty(Empty)", "True"},
               {"IsNull(Null)", "True"},
               {"TypeName(\"a\") & TypeName(Empty) & TypeName(Null) & TypeName(Nothing)", "StringEmptyNullNothing"},
               {"TypeName(True) & TypeName(CByte(1)) & TypeName(CCur(1)) & TypeName(Now)", "BooleanByteCurrencyDate"},
               {"VarType(1.5) & VarType(\"x\") & VarType(Empty)", "580"}});
}

TEST(VBEvaluator, DateFunctions)
{
    expectAll({{"Year(#2/29/2020#) & Month(#2/29/2020#) & Day(#2/29/2020#)", "2020229"},
               {"Hour(#3:04:05 PM#) & \":\" & Minute(#3:04:05 PM#) & \":\" & Second(#3:04:05 PM#)", "15:4:5"},
               {"Weekday(#1/31/2020#)", "6"},
               {"Weekday(#1/31/2020#, vbMonday)", "5"},
               {"DateSerial(2020, 13, 1)", "1/1/2021"},
               {"DateSerial(2020, 3, 0)", "2/29/2020"},
               {"DateSerial(99, 1, 1)", "1/1/1999"},
               {"TimeSerial(13, 0, 0)", "1:00:00 PM"},
               {"TimeSerial(0, 90, 0)", "1:30:00 AM"},
               {"DateAdd(\"m\", 1, #1/31/2020#)", "2/29/2020"},
               {"DateAdd(\"d\", 1, #12/31/2020#)", "1/1/2021"},
               {"DateAdd(\"h\", 25, #1/1/2020#)", "1/2/2020 1:00:00 AM"},
               {"DateAdd(\"yyyy\", -1, #2/29/2020#)", "2/28/2019"},
               {"DateDiff(\"d\", #1/1/2020#, #3/1/2020#)", "60"},
               {"DateDiff(\"yyyy\", #12/31/2019#, #1/1/2020#)", "1"},
               {"DateDiff(\"m\", #1/31/2020#, #2/1/2020#)", "1"},
               {"DateDiff(\"h\", #1:59:00 AM#, #2:00:00 AM#)", "1"},
               {"DateDiff(\"ww\", #1/4/2020#, #1/5/2020#)", "1"},
               {"DatePart(\"q\", #8/15/2020#)", "3"},
               {"DatePart(\"y\", #2/1/2020#)", "32"},
               {"DatePart(\"ww\", #1/1/2020#)", "1"},
               {"DatePart(\"ww\", #12/31/2020#)", "53"},
               {"MonthName(2) & MonthName(2, True)", "FebruaryFeb"},
               {"WeekdayName(1) & WeekdayName(1, True, vbMonday)", "SundayMon"},
               {"DateValue(\"1/31/2020 3:04 PM\")", "1/31/2020"},
               {"TimeValue(#1/31/2020 3:04:05 PM#)", "3:04:05 PM"},
               {"Year(Now) >= 2020", "True"},
               {"Date <= Now", "True"},
               {"Time < 1", "True"}});
}

TEST(VBEvaluator, FormattingFunctionsUseEnUsForms)
{
    expectAll({{"FormatNumber(1234.5)", "1,234.50"},
               {"FormatNumber(1234567.891, 2)", "1,234,567.89"},
               {"FormatNumber(0.125, 2)", "0.13"},
               {"FormatNumber(2.5, 0)", "3"},
               {"FormatNumber(-1234.567, 1)", "-1,234.6"},
               {"FormatNumber(0.5, 2, False)", ".50"},
               {"FormatNumber(-3, 0, True, True)", "(3)"},
               {"FormatNumber(1234.5, 1, True, False, False)", "1234.5"},
               {"FormatNumber(999.999, 2)", "1,000.00"},
               {"FormatPercent(0.5)", "50.00%"},
               {"FormatPercent(0.1234, 1)", "12.3%"},
               {"FormatDateTime(#1/31/2020 3:04:05 PM#)", "1/31/2020 3:04:05 PM"},
               {"FormatDateTime(#1/31/2020#, vbLongDate)", "Friday, January 31, 2020"},
               {"FormatDateTime(#1/31/2020#, 2)", "1/31/2020"},
               {"FormatDateTime(#3:04:05 PM#, vbLongTime)", "3:04:05 PM"},
               {"FormatDateTime(#3:04:05 PM#, vbShortTime)", "15:04"}});
}

TEST(VBEvaluator, DoublesBecomeTextWithFifteenDigitsAndVBScriptExponents)
{
    expectAll({{"1E+20", "1E+20"},
               {"1E15", "1E+15"},
               {"123456789012345", "123456789012345"},
               {"1234567890123456", "1.23456789012346E+15"},
               {"0.0001", "0.0001"},
               {"0.00001", "1E-05"},
               {"1.5E-7", "1.5E-07"},
               {"-0.0", "0"},
               {"1E100", "1E+100"},
               {"-2.5E-10", "-2.5E-10"},
               {"1 / 7", "0.142857142857143"}});
    EXPECT_EQ(VBValue::FormatDouble(123.456), QStringLiteral("123.456"));
}

// Optional arguments may be left out between commas, as in FormatNumber(x, , 0); the function then
// uses its default. A required argument cannot be left out.
TEST(VBEvaluator, OmittedOptionalArgumentsTakeTheirDefaults)
{
    expectAll({{"FormatNumber(.5,,0)", ".50"},
               {"FormatNumber(1234.5,,,,0)", "1234.50"},
               {"FormatNumber(-1234.5,,,-1)", "(1,234.50)"},
               {"FormatPercent(0.5,,,,)", "50.00%"},
               {"Round(2.5,)", "2"},
               {"InStr(1, \"aBc\", \"b\",)", "0"},
               {"Mid(\"abc\", 2, )", "bc"},
               {"DateDiff(\"ww\", #1/1/2020#, #3/1/2020#, , )", "9"},
               {"WeekdayName(1, , 2)", "Monday"},
               {"Mid(\"abc\", , 1)", ""},
               {"Left(, 1)", ""},
               {"Len()", ""},
               {"Len(,)", ""}});
}

TEST(VBEvaluator, FormattingIgnoresTheMachineLocale)
{
    // A locale with a decimal comma must not leak into the texts.
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        std::setlocale(LC_ALL, "C");
    expectAll({{"2.5 * 1", "2.5"}, {"1E-7", "1E-07"}, {"CSng(0.5)", "0.5"}, {"FormatNumber(1234.5)", "1,234.50"}});
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(VBEvaluator, ErrorsGiveTheEmptyText)
{
    expectAll({{"1 +", ""},
               {"(1", ""},
               {"1 2", ""},
               {"\"unterminated", ""},
               {"1/0", ""},
               {"0/0", ""},
               {"5 \\ 0", ""},
               {"5 Mod 0", ""},
               {"\"a\" + 1", ""},
               {"CInt(\"12abc\")", ""},
               {"CInt(40000)", ""},
               {"CByte(-1)", ""},
               {"CStr(Null)", ""},
               {"Left(\"abc\", -1)", ""},
               {"Mid(\"abc\", 0)", ""},
               {"Chr(300)", ""},
               {"Asc(\"\")", ""},
               {"Sqr(-1)", ""},
               {"Log(0)", ""},
               {"(-8) ^ (1/3)", ""},
               {"1E308 * 10", ""},
               {"1E309", ""},
               {"Len(\"a\", \"b\")", ""},
               {"Len", ""},
               {"NoSuchFunction(1)", ""},
               {"vbCrLf(1)", ""},
               {"\"a\" Is Nothing", ""},
               {"Nothing = Nothing", ""},
               {"x.y", ""},
               {"If", ""},
               {"1 : 2", ""},
               {"MonthName(13)", ""},
               {"DateAdd(\"x\", 1, Now)", ""},
               {"#not a date#", ""},
               {"Space(-1)", ""},
               {"Space(2000000000)", ""},
               {"Len(Space(60000000) & Space(60000000))", ""},
               {"", ""}});
}

TEST(VBEvaluator, DeepOrLongExpressionsFailCleanlyOrEvaluate)
{
    VBEvaluator evaluator;
    QString deep = QString(100000, QLatin1Char('(')) + QStringLiteral("1") + QString(100000, QLatin1Char(')'));
    EXPECT_EQ(evaluator.EvaluateToText(deep), QString());
    QString chain = QStringLiteral("1");
    for (int i = 0; i < 100000; ++i)
        chain += QStringLiteral("+1");
    EXPECT_EQ(evaluator.EvaluateToText(chain), QString()); // too deep to evaluate safely
    QString shortChain = QStringLiteral("0");
    for (int i = 0; i < 300; ++i)
        shortChain += QStringLiteral("+1");
    EXPECT_EQ(evaluator.EvaluateToText(shortChain), QStringLiteral("300"));
    EXPECT_EQ(evaluator.EvaluateToText(shortChain), QStringLiteral("300")); // from the cache
    EXPECT_EQ(evaluator.EvaluateToText(QStringLiteral("\r\n 1 + 1 ' a comment\r\n")), QStringLiteral("2"));
    EXPECT_EQ(evaluator.EvaluateToText(QStringLiteral("1 + _\r\n 1")), QStringLiteral("2"));
    EXPECT_EQ(evaluator.EvaluateToText(QStringLiteral("1 +\r\n 1")), QString());
}

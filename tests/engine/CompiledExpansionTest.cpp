// The compiled expansion against the rewriting steps it stands in for, on random templates built
// like real ones (nested repetition, selection, encode, calculated and fixed-length blocks, unknown
// and shadowed keys, both line breaks) with a share of malformed pieces, and random data whose
// values sometimes hold '<' or '>' or could complete a tag.
#include "EngineTestData.h"
#include "QVNDiagnostics.h"
#include "QVNParser.h"
#include "QtPrinters.h"
#include "ReferenceParser.h"

#include <gtest/gtest.h>

#include <random>

namespace {

class Generator
{
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    int Dice(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

    template <size_t N> QString Pick(const char* const (&items)[N])
    {
        return QString::fromUtf8(items[static_cast<size_t>(Dice(0, static_cast<int>(N) - 1))]);
    }

    QString Variable()
    {
        static const char* const keys[] = {"a",
                                           "b",
                                           "n",
                                           "c",
                                           "A",
                                           "unknown",
                                           "",
                                           "ORVE_T_ROW_INDEX",
                                           "ORVE_T_ROW_COUNT",
                                           "ORVE_T_ROW_KEY",
                                           "ORVE_U_ROW_INDEX",
                                           "ORVE_U_ROW_KEY"};
        return QStringLiteral("<ORVE>") + Pick(keys) + QStringLiteral("</ORVE>");
    }

    QString Literal()
    {
        static const char* const texts[] = {"x",     " ",   "  ", "\n",    "\r\n",      "  \n", "1",
                                            "=",     "a<b", "<",  ">",     "Entity<",   "<OR",  "VE>",
                                            "<ORVE", "q>",  "\"", "1 = 1", "</ORVE_U>", "y ",   ";"};
        return Pick(texts);
    }

    QString Block(const QString& name, int depth) { return Tag(name) + Items(depth + 1) + EndTag(name); }

    QString Select(int depth)
    {
        QString s = Tag(QStringLiteral("SELECT"));
        for (int i = Dice(1, 2); i > 0; --i) {
            static const char* const conditions[] = {"1 = 1",
                                                     "1 = 2",
                                                     "\"<ORVE>a</ORVE>\" = \"x\"",
                                                     "\"<ORVE>b</ORVE>\" = \"1\"",
                                                     "<ORVE>n</ORVE> < 4",
                                                     "\"<ORVE>n</ORVE>\" = \"7\"",
                                                     "\"<ORVE>c</ORVE>\" = \"\"",
                                                     "",
                                                     "  ",
                                                     "1+"};
            QString condition = Pick(conditions);
            if (Dice(0, 5) == 0)
                condition = QStringLiteral("\"") + FixLength() + QStringLiteral("\" = \"x  \"");
            s += Tag(QStringLiteral("CASE")) + condition + EndTag(QStringLiteral("CASE"));
            s += Tag(QStringLiteral("CASEDATA")) + Items(depth + 1) + EndTag(QStringLiteral("CASEDATA"));
        }
        if (Dice(0, 2) == 0)
            s += Tag(QStringLiteral("ELSEDATA")) + Items(depth + 1) + EndTag(QStringLiteral("ELSEDATA"));
        return s + EndTag(QStringLiteral("SELECT"));
    }

    QString FixLength()
    {
        QString s = Tag(QStringLiteral("FIXLENGTH")) + Tag(QStringLiteral("DATA"));
        for (int i = Dice(0, 3); i > 0; --i)
            s += Dice(0, 1) ? Variable() : QStringLiteral("ab");
        s += EndTag(QStringLiteral("DATA"));
        static const char* const lengths[] = {"3", "8", "0", "<ORVE>n</ORVE>", "-2"};
        s += Tag(QStringLiteral("LENGTH")) + Pick(lengths) + EndTag(QStringLiteral("LENGTH"));
        if (Dice(0, 2) == 0)
            s += QStringLiteral("<ORVE_STEP>4</ORVE_STEP>");
        if (Dice(0, 2) == 0)
            s += QStringLiteral("<ORVE_PADRIGHT>2</ORVE_PADRIGHT>");
        return s + EndTag(QStringLiteral("FIXLENGTH"));
    }

    QString Encode()
    {
        static const char* const forms[] = {"HTML", "vbstr", "sqlid", "bogus"};
        return Tag(QStringLiteral("ENCODE")) + QStringLiteral("<ORVE_DATA>") + Variable() + Items(3) +
               QStringLiteral("</ORVE_DATA><ORVE_AS>") + Pick(forms) + QStringLiteral("</ORVE_AS>") +
               EndTag(QStringLiteral("ENCODE"));
    }

    QString Items(int depth)
    {
        QString s;
        for (int i = Dice(0, depth > 2 ? 2 : 5); i > 0; --i) {
            const int kind = Dice(0, 19);
            if (kind < 6)
                s += Literal();
            else if (kind < 11)
                s += Variable();
            else if (depth > 3)
                s += Literal();
            else if (kind < 13)
                s += Block(QStringLiteral("T"), depth);
            else if (kind < 15)
                s += Block(QStringLiteral("U"), depth);
            else if (kind == 15)
                s += Select(depth);
            else if (kind == 16)
                s += FixLength();
            else if (kind == 17)
                s += Encode();
            else if (kind == 18)
                s += Tag(QStringLiteral("CALC")) + QStringLiteral("1+<ORVE>n</ORVE>") +
                     (Dice(0, 1) ? FixLength() : QString()) + EndTag(QStringLiteral("CALC"));
            else
                s += Block(QStringLiteral("W"), depth); // a name no set has
        }
        return s;
    }

    QString Template()
    {
        m_malformed = Dice(0, 4) == 0; // one template in five may lose or repeat a tag
        return Items(0);
    }

    QString Value()
    {
        static const char* const values[] = {
            "x",   "",        "1", "0", " y ", "\n", "ORVE", "/ORVE", "ab", "\"&'", "<b>", "a>b", "<ORVE>b</ORVE>",
            "1=1", "ORVE_T>", "  "};
        // Mostly values without angle brackets, as in generated code.
        return Dice(0, 5) == 0 ? Pick(values) : Pick(values).remove(QLatin1Char('<')).remove(QLatin1Char('>'));
    }

    TQXColsPtr Data()
    {
        auto u = TQXRows::Create();
        u->SetTag(QStringLiteral("U"));
        for (int i = Dice(0, 3); i > 0; --i) {
            auto c = TQXCols::Create();
            c->Add(TQXValue(Value()), QStringLiteral("b"));
            if (Dice(0, 1))
                c->Add(TQXValue(Value()), QStringLiteral("c"));
            u->Add(c, QStringLiteral("u%1").arg(i));
        }
        auto t = TQXRows::Create();
        t->SetTag(QStringLiteral("T"));
        for (int i = Dice(0, 3); i > 0; --i) {
            auto c = TQXCols::Create();
            c->Add(TQXValue(Value()), QStringLiteral("a"));
            if (Dice(0, 1))
                c->Add(TQXValue(u), QStringLiteral("U"));
            if (Dice(0, 2))
                c->Add(TQXValue(Value()), QStringLiteral("b"));
            if (Dice(0, 3) == 0)
                c->Add(TQXValue(Dice(0, 9)), QStringLiteral("n")); // shadows the outer n
            t->Add(c, Dice(0, 3) == 0 ? QStringLiteral("k<%1>").arg(i) : QStringLiteral("k%1").arg(i));
        }
        auto nested = TQXCols::Create();
        nested->Add(TQXValue(Value()), QStringLiteral("c"));
        auto g = TQXCols::Create();
        g->SetTag(QStringLiteral("G"));
        if (Dice(0, 1))
            g->Add(TQXValue(Value()), QStringLiteral("a"));
        if (Dice(0, 1))
            g->Add(TQXValue(nested), QStringLiteral("N"));
        g->Add(TQXValue(t), QStringLiteral("T"));
        if (Dice(0, 1))
            g->Add(TQXValue(u), QStringLiteral("U")); // expands what the rows of T left
        g->Add(TQXValue(Value()), QStringLiteral("b"));
        g->Add(TQXValue(Dice(0, 9)), QStringLiteral("n"));
        if (Dice(0, 5) == 0)
            g->Add(TQXValue(g), QStringLiteral("self")); // a set that contains itself
        return g;
    }

private:
    QString Tag(const QString& name)
    {
        if (m_malformed && Dice(0, 9) == 0)
            return Dice(0, 1) ? QString() : QStringLiteral("<ORVE_") + name + QStringLiteral("><ORVE_") + name + u'>';
        return QStringLiteral("<ORVE_") + name + u'>';
    }
    QString EndTag(const QString& name)
    {
        if (m_malformed && Dice(0, 9) == 0)
            return QString();
        return QStringLiteral("</ORVE_") + name + u'>';
    }

    std::mt19937 m_rng;
    bool m_malformed = false;
};

} // namespace

TEST(QVNParserCompiled, AgreesWithTheRewritingStepsOnRandomTemplatesAndData)
{
    Generator gen(4711);
    int compiled = 0;
    const int rounds = 20000;
    for (int round = 0; round < rounds; ++round) {
        QString text = gen.Template();
        if (gen.Dice(0, 1))
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const TQXColsPtr data = gen.Data();
        QVNParser fast;
        QVNParser literal;
        literal.SetCompiledExpansion(false);
        const QString expected = literal.ConvertCols(text, data);
        ASSERT_EQ(fast.ConvertCols(text, data), expected) << "round " << round << ", template: " << text.toStdString();
        QVNDiagnostics diagnostics;
        QVNParser diagnosed;
        diagnosed.SetDiagnostics(&diagnostics);
        ASSERT_EQ(diagnosed.ConvertCols(text, data), expected) << "round " << round << " with diagnostics";
        compiled += fast.UsedCompiledExpansion();
        ASSERT_FALSE(literal.UsedCompiledExpansion());

        // The same template over the row set alone.
        const TQXRowsPtr rows = data->Item(QStringLiteral("T"))->Value().rows();
        ASSERT_EQ(fast.ConvertRows(text, rows), literal.ConvertRows(text, rows))
            << "round " << round << " (rows), template: " << text.toStdString();
        data->Remove(QStringLiteral("self")); // no reference cycle left behind
    }
    // Most templates and data are ones the compiled expansion takes (the rest checks the fall-back).
    EXPECT_GT(compiled, rounds / 3);
}

TEST(QVNParserCompiled, FallsBackWhereTheTextCouldMakeOrBreakATag)
{
    auto cols = makeCols({{QStringLiteral("a"), TQXValue(QStringLiteral("ORVE"))},
                          {QStringLiteral("b"), TQXValue(QStringLiteral("<ORVE>a</ORVE>"))},
                          {QStringLiteral("c"), TQXValue(QStringLiteral("T"))},
                          {QStringLiteral("d"), TQXValue(QStringLiteral("String"))}});
    struct Case
    {
        const char16_t* text;
        const char16_t* expected;
        bool compiled;
    };
    const Case cases[] = {
        {u"List<<ORVE>d</ORVE>>", u"List<String>", true},
        // A value completing "<ORVE>" with the text around it, and a value holding a variable of an
        // earlier column: leading columns like these are substituted before the walk.
        {u"<<ORVE>a</ORVE>>d</ORVE>", u"String", true},
        {u"<ORVE>b</ORVE>", u"<ORVE>a</ORVE>", true},
        // A '<' left open before a tag, markers that do not alternate, a key holding '<'.
        {u"<ORVE_<ORVE_X>x</ORVE_X>", u"<ORVE_<ORVE_X>x</ORVE_X>", false},
        {u"<ORVE>d</ORVE></ORVE>", u"String</ORVE>", false},
        {u"<ORVE>a<b</ORVE>", u"<ORVE>a<b</ORVE>", false},
        // Blocks that overlap, or a second begin before the end.
        {u"<ORVE_SELECT><ORVE_CALC></ORVE_SELECT></ORVE_CALC>", u"", false},
        {u"<ORVE_CALC>1<ORVE_CALC>2</ORVE_CALC>", u"", false},
    };
    for (const Case& c : cases) {
        QVNParser parser;
        QVNParser literal;
        literal.SetCompiledExpansion(false);
        const QString text = QString::fromUtf16(c.text);
        const QString result = parser.ConvertCols(text, cols);
        EXPECT_EQ(result, literal.ConvertCols(text, cols)) << text.toStdString();
        if (c.compiled || QStringView(c.expected) != u"") {
            EXPECT_EQ(result, QString::fromUtf16(c.expected)) << text.toStdString();
        }
        EXPECT_EQ(parser.UsedCompiledExpansion(), c.compiled) << text.toStdString();
    }
}

TEST(QVNParserCompiled, AModelTemplateTakesTheCompiledWayAndKeepsItsLimits)
{
    auto columns = TQXRows::Create();
    columns->SetTag(QStringLiteral("COLUMNS"));
    for (int i = 0; i < 3; ++i)
        columns->Add(makeCols({{QStringLiteral("CL_NAME"), TQXValue(QStringLiteral("c%1").arg(i))},
                               {QStringLiteral("CL_PK"), TQXValue(i == 0 ? 1 : 0)}}));
    auto tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    tables->Add(makeCols(
        {{QStringLiteral("TL_NAME"), TQXValue(QStringLiteral("t"))}, {QStringLiteral("COLUMNS"), TQXValue(columns)}}));
    const QString text =
        QStringLiteral("<ORVE_TABLES>\nclass <ORVE>TL_NAME</ORVE> {\n    <ORVE_COLUMNS>\n"
                       "    <ORVE_SELECT><ORVE_CASE>\"<ORVE>CL_PK</ORVE>\" = \"1\"</ORVE_CASE><ORVE_CASEDATA>@Id"
                       "</ORVE_CASEDATA></ORVE_SELECT>\n"
                       "    <ORVE_FIXLENGTH><ORVE_DATA><ORVE>CL_NAME</ORVE></ORVE_DATA><ORVE_LENGTH>4</ORVE_LENGTH>"
                       "</ORVE_FIXLENGTH>; // <ORVE>ORVE_COLUMNS_ROW_INDEX</ORVE>/<ORVE>ORVE_COLUMNS_ROW_COUNT</ORVE>\n"
                       "    </ORVE_COLUMNS>\n}\n</ORVE_TABLES>\n");
    QVNParser parser;
    QVNParser literal;
    literal.SetCompiledExpansion(false);
    const QString expanded = parser.ConvertRows(text, tables);
    EXPECT_EQ(expanded, literal.ConvertRows(text, tables));
    EXPECT_TRUE(expanded.contains(QStringLiteral("    @Id\n    c0  ; // 1/3\n")));
    EXPECT_TRUE(expanded.contains(QStringLiteral("    c2  ; // 3/3\n")));
    EXPECT_FALSE(expanded.contains(QStringLiteral("<ORVE")));
    EXPECT_TRUE(parser.UsedCompiledExpansion());

    // Over a bound the compiled way gives up and the steps report the limit as always.
    parser.SetLimits(40, qint64(1) << 30);
    parser.ConvertRows(text, tables);
    EXPECT_TRUE(parser.OverLimit());
    EXPECT_EQ(parser.Exceptions.Count(), 1);

    // A cancel during the walk: the steps stop at their first check, as they would on their own.
    parser.SetLimits(QVNParser::kDefaultMaxText, QVNParser::kDefaultMaxWork);
    int checks = 0;
    parser.SetProgressListener([&](const QString& m, bool& cancel) {
        if (m.isEmpty() && ++checks >= 2)
            cancel = true;
    });
    const QString partial = parser.ConvertRows(text, tables);
    EXPECT_TRUE(parser.Canceled());
    EXPECT_TRUE(partial.contains(QStringLiteral("<ORVE")));
}

TEST(QVNParserCompiled, ACopyWithAVariableALaterColumnResolvesKeepsItsSelectionForTheLastStep)
{
    // Decided on the copy, the empty selection would keep its line; decided on the whole text, its
    // line goes.
    auto t = makeRows(QStringLiteral("T"), QStringLiteral("a"), {QStringLiteral("x")});
    auto g = makeCols({{QStringLiteral("T"), TQXValue(t)}, {QStringLiteral("n"), TQXValue(7)}});
    const QString text = QStringLiteral("x\n<ORVE_T> <ORVE_SELECT><ORVE_CASE>\"<ORVE>n</ORVE>\" = \"8\"</ORVE_CASE>"
                                        "<ORVE_CASEDATA>eight</ORVE_CASEDATA></ORVE_SELECT>\n</ORVE_T>y");
    QVNParser parser;
    EXPECT_EQ(parser.ConvertCols(text, g), QStringLiteral("x\ny"));
    EXPECT_TRUE(parser.UsedCompiledExpansion());
}

TEST(QVNParserCompiled, RepeatedConditionsKeepGivingTheirOwnChoices)
{
    // One parser for all: conditions it has seen before (remembered when they call no function)
    // must choose as the plain rules do, an all-space condition included.
    static const char* const conditions[] = {"  ", "1 = 2", "1 = 1", "\"a\" = \"a\"", "Len(\"ab\") = 2",
                                             "x",  "1+",    "False"};
    QVNParser parser;
    ReferenceParser reference;
    auto cols = makeCols({{QStringLiteral("a"), TQXValue(QStringLiteral("v"))}});
    std::mt19937 rng(5);
    for (int i = 0; i < 200; ++i) {
        const QString condition = QString::fromUtf8(conditions[rng() % std::size(conditions)]);
        const QString text = QStringLiteral("<ORVE_SELECT><ORVE_CASE>") + condition +
                             QStringLiteral("</ORVE_CASE><ORVE_CASEDATA>yes</ORVE_CASEDATA><ORVE_ELSEDATA>no"
                                            "</ORVE_ELSEDATA></ORVE_SELECT><ORVE>a</ORVE>");
        ASSERT_EQ(parser.ConvertCols(text, cols), reference.ConvertCols(text, cols)) << condition.toStdString();
    }
}

TEST(QVNParserCompiled, LeadingValuesThatHoldTagsAreInsertedFirstAndTheRestIsCompiled)
{
    // A variable file's sections come first in a model's set and insert template text for the
    // columns after them.
    auto t = makeRows(QStringLiteral("T"), QStringLiteral("c"), {QStringLiteral("x"), QStringLiteral("y")});
    auto cols =
        makeCols({{QStringLiteral("HEADER"), TQXValue(QStringLiteral("// <ORVE>NAME</ORVE> <ORVE>LATE</ORVE>"))},
                  {QStringLiteral("LINE"), TQXValue(QStringLiteral("<ORVE>c</ORVE>;"))},
                  {QStringLiteral("NAME"), TQXValue(QStringLiteral("n"))},
                  {QStringLiteral("T"), TQXValue(t)},
                  {QStringLiteral("LATE"), TQXValue(QStringLiteral("l"))}});
    const QString text = QStringLiteral("<ORVE>HEADER</ORVE>\n<ORVE_T><ORVE>LINE</ORVE></ORVE_T>");
    QVNParser parser;
    EXPECT_EQ(parser.ConvertCols(text, cols), QStringLiteral("// n l\nx;y;"));
    EXPECT_TRUE(parser.UsedCompiledExpansion());

    // A section that opens a block the template closes pairs with it, as in the steps.
    auto open =
        makeCols({{QStringLiteral("OPEN"), TQXValue(QStringLiteral("<ORVE_T>"))}, {QStringLiteral("T"), TQXValue(t)}});
    QVNParser literal;
    literal.SetCompiledExpansion(false);
    const QString split = QStringLiteral("<ORVE>OPEN</ORVE><ORVE>c</ORVE></ORVE_T>");
    EXPECT_EQ(parser.ConvertCols(split, open), literal.ConvertCols(split, open));
    EXPECT_EQ(parser.ConvertCols(split, open), QStringLiteral("xy"));
}

TEST(QVNParserCompiled, AValueThatHoldsATagAfterARowSetIsLeftToTheSteps)
{
    auto t = makeRows(QStringLiteral("T"), QStringLiteral("c"), {QStringLiteral("x")});
    auto cols = makeCols({{QStringLiteral("T"), TQXValue(t)},
                          {QStringLiteral("v"), TQXValue(QStringLiteral("<ORVE>w</ORVE>"))},
                          {QStringLiteral("w"), TQXValue(QStringLiteral("2"))}});
    const QString text = QStringLiteral("<ORVE_T><ORVE>c</ORVE></ORVE_T>|<ORVE>v</ORVE>");
    QVNParser parser;
    EXPECT_EQ(parser.ConvertCols(text, cols), QStringLiteral("x|2"));
    EXPECT_FALSE(parser.UsedCompiledExpansion());
}

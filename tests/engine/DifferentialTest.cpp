// The engine against ReferenceParser, the rules written down without any shortcut, on random
// templates made of tags, partial tags, variables, conditions and line breaks.
#include "QVNDiagnostics.h"
#include "QVNParser.h"
#include "QtPrinters.h"
#include "ReferenceParser.h"

#include <gtest/gtest.h>

#include <random>

namespace {

template <size_t N> QString pickOne(std::mt19937& rng, const char* const (&items)[N])
{
    return QString::fromUtf8(items[std::uniform_int_distribution<size_t>(0, N - 1)(rng)]);
}

const char* const kValues[] = {"x",   "",       "1",  "<ORVE>b</ORVE>", "<ORVE_T>",    "</ORVE_U>", "1=1", "\n",
                               " y ", "<ORVE>", "ab", "\"<&'",          "</ORVE_DATA>"};

TQXColsPtr randomData(std::mt19937& rng)
{
    auto dice = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto u = TQXRows::Create();
    u->SetTag(QStringLiteral("U"));
    for (int i = dice(0, 2); i > 0; --i) {
        auto c = TQXCols::Create();
        c->Add(TQXValue(pickOne(rng, kValues)), QStringLiteral("b"));
        u->Add(c, QStringLiteral("u%1").arg(i));
    }
    auto t = TQXRows::Create();
    t->SetTag(QStringLiteral("T"));
    for (int i = dice(0, 3); i > 0; --i) {
        auto c = TQXCols::Create();
        c->Add(TQXValue(pickOne(rng, kValues)), QStringLiteral("a"));
        if (dice(0, 1))
            c->Add(TQXValue(u), QStringLiteral("U"));
        c->Add(TQXValue(pickOne(rng, kValues)), QStringLiteral("b"));
        t->Add(c, QStringLiteral("k%1").arg(i));
    }
    auto g = TQXCols::Create();
    g->SetTag(QStringLiteral("G"));
    if (dice(0, 1))
        g->Add(TQXValue(pickOne(rng, kValues)), QStringLiteral("a"));
    g->Add(TQXValue(t), QStringLiteral("T"));
    g->Add(TQXValue(pickOne(rng, kValues)), QStringLiteral("b"));
    g->Add(TQXValue(dice(0, 9)), QStringLiteral("n"));
    return g;
}

} // namespace

TEST(QVNParserDifferential, AgreesWithThePlainRulesOnRandomTemplates)
{
    static const char* const fragments[] = {"<ORVE_T>",
                                            "</ORVE_T>",
                                            "<ORVE_U>",
                                            "</ORVE_U>",
                                            "<ORVE>a</ORVE>",
                                            "<ORVE>b</ORVE>",
                                            "<ORVE>n</ORVE>",
                                            "<ORVE>ORVE_T_ROW_INDEX</ORVE>",
                                            "<ORVE>ORVE_T_ROW_COUNT</ORVE>",
                                            "<ORVE>ORVE_U_ROW_KEY</ORVE>",
                                            "<ORVE_SELECT>",
                                            "</ORVE_SELECT>",
                                            "<ORVE_CASE>",
                                            "</ORVE_CASE>",
                                            "<ORVE_CASEDATA>",
                                            "</ORVE_CASEDATA>",
                                            "<ORVE_ELSEDATA>",
                                            "</ORVE_ELSEDATA>",
                                            "<ORVE_CALC>",
                                            "</ORVE_CALC>",
                                            "<ORVE_FIXLENGTH>",
                                            "</ORVE_FIXLENGTH>",
                                            "<ORVE_DATA>",
                                            "</ORVE_DATA>",
                                            "<ORVE_LENGTH>",
                                            "</ORVE_LENGTH>",
                                            "<ORVE_PADRIGHT>2",
                                            "<ORVE_ENCODE>",
                                            "</ORVE_ENCODE>",
                                            "<ORVE_AS>",
                                            "</ORVE_AS>",
                                            "<ORVE_AS>vbstr</ORVE_AS>",
                                            "<ORVE_AS>HTML</ORVE_AS>",
                                            "sqlid",
                                            "</ORVE_PADRIGHT>",
                                            "\"<ORVE>a</ORVE>\" = \"x\"",
                                            "1=1",
                                            "1=2",
                                            "1+",
                                            "3",
                                            "x",
                                            " ",
                                            "  ",
                                            "\n",
                                            "\r\n",
                                            "<",
                                            ">",
                                            "<ORVE",
                                            "<ORVE_",
                                            "</ORVE>",
                                            "<ORVE>",
                                            "VE>",
                                            "<OR"};
    std::mt19937 rng(977);
    int expanded = 0;
    for (int round = 0; round < 30000; ++round) {
        QString text;
        const int pieces = std::uniform_int_distribution<int>(1, 40)(rng);
        for (int i = 0; i < pieces; ++i)
            text += pickOne(rng, fragments);
        const TQXColsPtr data = randomData(rng);
        // Diagnostics on: they must never change a result, malformed templates included.
        QVNDiagnostics diagnostics;
        diagnostics.AddSource(QStringLiteral("t"), text);
        diagnostics.CheckStructure();
        QVNParser engine;
        engine.SetDiagnostics(&diagnostics);
        ReferenceParser reference;
        const QString out = engine.ConvertCols(text, data);
        diagnostics.CheckOutput(out);
        ASSERT_EQ(out, reference.ConvertCols(text, data)) << "round " << round << ", template: " << text.toStdString();
        expanded += out != text;
    }
    EXPECT_GT(expanded, 15000); // the generator does exercise the rules
}

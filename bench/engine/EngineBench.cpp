// Google Benchmark of the template engine alone: the data set is read once, then the model
// template is expanded over it repeatedly. Run bench/engine/compare.py for the Jinja2 comparison.
#include "Mdl_Main.h"
#include "QVNFunction.h"
#include "QVNJsonData.h"
#include "QVNParser.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

struct Inputs
{
    QString text;
    TQXValue data;
    bool ok = false;
};

const Inputs& inputs()
{
    static const Inputs in = [] {
        Inputs i;
        i.text = Mdl_Main::Function().ReadFile(QStringLiteral(ENGINE_BENCH_TEMPLATE));
        QString error;
        i.ok = QVNJsonData::ReadFile(QStringLiteral(ENGINE_BENCH_DATA), i.data, error) && !i.text.isEmpty();
        if (!i.ok)
            std::fprintf(stderr, "engine_bench: %s\n", qPrintable(error));
        return i;
    }();
    return in;
}

/// state.range(0): 1 for the compiled expansion (the default), 0 for the rewriting steps alone.
void BM_ExpandModel(benchmark::State& state)
{
    const Inputs& in = inputs();
    if (!in.ok) {
        state.SkipWithError("the benchmark inputs could not be read");
        return;
    }
    qsizetype size = 0;
    for (auto _ : state) {
        QVNParser parser;
        parser.SetCompiledExpansion(state.range(0) != 0);
        const QString out = parser.ConvertRows(in.text, in.data.rows());
        size = out.size();
        benchmark::DoNotOptimize(out.constData());
    }
    state.counters["output_chars"] = static_cast<double>(size);
}

// Reading alone: the sets of one round are freed outside the timing (quorvin-cli never frees them).
void BM_ReadData(benchmark::State& state)
{
    for (auto _ : state) {
        TQXValue data;
        QString error;
        benchmark::DoNotOptimize(QVNJsonData::ReadFile(QStringLiteral(ENGINE_BENCH_DATA), data, error));
        state.PauseTiming();
        data = TQXValue();
        state.ResumeTiming();
    }
}

void BM_EvaluateCondition(benchmark::State& state)
{
    QVNParser parser;
    for (auto _ : state)
        benchmark::DoNotOptimize(parser.GetCalcData(QStringLiteral("\"1\" = \"1\" And Len(\"abc\") > 2")));
}

} // namespace

BENCHMARK(BM_ExpandModel)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadData)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EvaluateCondition)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

// Timed builds: each shipped model over the sample table set repeated to N tables (the sample's 11
// tables, renamed per copy), and the listing of the shipped models.
#include "Mdl_Main.h"
#include "QVNGenerate.h"
#include "QVNJsonData.h"
#include "QVNLanguage.h"
#include "QVNModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

TQXRowsPtr SampleTables(int copies)
{
    static TQXRowsPtr sample;
    if (!sample) {
        TQXValue value;
        QString error;
        QVNJsonData::ReadFile(QStringLiteral(QUORVIN_SOURCE_DIR "/resources/sample/tables.json"), value, error);
        sample = value.rows();
    }
    auto tables = TQXRows::Create();
    tables->SetTag(QStringLiteral("TABLES"));
    for (int c = 0; c < copies; ++c) {
        auto copy = TQXRows::Create();
        copy->Copy(sample);
        for (const TQXRowPtr& row : *copy) {
            const QString name = row->Key() + (c ? QStringLiteral("_%1").arg(c) : QString());
            row->Cols()->Item(QStringLiteral("TL_NAME"))->SetValue(TQXValue(name));
            tables->Add(row->Cols(), name);
        }
    }
    return tables;
}

TQXColsPtr Variables(const QString& out)
{
    TQXColsPtr vars;
    QString error;
    QVNGenerate::BuildVariables(nullptr, out, {}, {QStringLiteral("MV_PACKAGE=bench_models")}, vars, error);
    return vars;
}

void BM_Build(benchmark::State& state, const char* model)
{
    QTemporaryDir dir;
    const TQXRowsPtr tables = SampleTables(static_cast<int>(state.range(0)));
    const QString package =
        QStringLiteral(QUORVIN_APP_DIR "/models/") + QString::fromUtf8(model) + QStringLiteral(".qvnm");
    for (auto _ : state) {
        QVNModel qvnModel;
        const QString out = dir.path() + QStringLiteral("/out/");
        if (!qvnModel.BuildProcess(package, out, Variables(out), tables))
            state.SkipWithError(qvnModel.Exceptions.ToString().toUtf8().constData());
    }
    state.counters["tables"] = static_cast<double>(tables->Count());
}

QVNBuildRequest Request(const char* model, const QString& out, const TQXRowsPtr& tables)
{
    QVNBuildRequest r;
    r.model = QStringLiteral(QUORVIN_APP_DIR "/models/") + QString::fromUtf8(model) + QStringLiteral(".qvnm");
    r.outDir = out;
    r.tables = tables;
    r.overrides.insert(QStringLiteral("MV_PACKAGE"), QStringLiteral("bench_models"));
    return r;
}

// The whole road of a build: staging, checks, classification and publishing. Arg 0: into a fresh
// folder each time; arg 1: over the previous build (every file compared, none written). The counter
// classify_ms is the classification alone (the preview list is ready when it is).
void BM_StagedBuild(benchmark::State& state, const char* model)
{
    QTemporaryDir dir;
    const TQXRowsPtr tables = SampleTables(91); // 1 001 tables
    const bool over = state.range(0) == 1;
    double classify = 0;
    int files = 0;
    int run = 0;
    for (auto _ : state) {
        const QString out = dir.path() + (over ? QStringLiteral("/out/") : QStringLiteral("/out%1/").arg(run++));
        QVNGenerate generate;
        if (!generate.Prepare(Request(model, out, tables))) {
            state.SkipWithError(generate.Exceptions.ToString().toUtf8().constData());
            break;
        }
        state.PauseTiming();
        QElapsedTimer clock;
        clock.start();
        generate.Output().Classify();
        classify += double(clock.nsecsElapsed()) / 1e6;
        files = int(generate.Output().Files().size());
        state.ResumeTiming();
        if (!generate.Publish())
            state.SkipWithError(generate.Exceptions.ToString().toUtf8().constData());
    }
    state.counters["files"] = files;
    state.counters["classify_ms"] = benchmark::Counter(classify, benchmark::Counter::kAvgIterations);
}

void BM_GetAllModels(benchmark::State& state)
{
    for (auto _ : state) {
        QVNModel model;
        benchmark::DoNotOptimize(model.GetAllModels(QStringLiteral(QUORVIN_APP_DIR "/models")));
    }
}

// What listing would cost if every package were unpacked completely, for comparison.
void BM_OpenAndDeleteEveryModel(benchmark::State& state)
{
    const QStringList packages = QDir(QStringLiteral(QUORVIN_APP_DIR "/models")).entryList(QDir::Files);
    for (auto _ : state) {
        QVNModel model;
        for (const QString& p : packages) {
            const QString tmp =
                model.OpenModel(QStringLiteral(QUORVIN_APP_DIR "/models/") + p, QVNModel::ModelPassword());
            QDir(tmp).removeRecursively();
        }
    }
}

BENCHMARK_CAPTURE(BM_Build, datadict, "datadict")->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Build, sqlddl, "sqlddl")->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Build, python, "python")->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Build, python_1001, "python")->Arg(91)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_StagedBuild, python_1001, "python")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GetAllModels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndDeleteEveryModel)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir appDir;
    Mdl_Main::AppPath = appDir.path() + QStringLiteral("/");
    QDir().mkpath(Mdl_Main::AppPath + QStringLiteral("temp"));
    Mdl_Main::Language().SetLanguagePath(QStringLiteral(QUORVIN_APP_DIR "/language"));
    Mdl_Main::Language().SetLanguage(QStringLiteral("1033"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

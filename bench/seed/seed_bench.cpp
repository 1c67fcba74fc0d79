// How long the demo club database takes to generate: 100,000 members is the benchmark data of
// the campaigns and the sender, and must be made in seconds.
//   build/bench/seed/bench_seed [--benchmark_filter=...]
#include "seed/demo_database.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void BM_GenerateDemoDatabase(benchmark::State& state) {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    velocast::seed::DemoOptions options;
    options.path = dir.filePath(QStringLiteral("club.db"));
    options.members = static_cast<int>(state.range(0));
    options.date = QDate(2024, 3, 15);
    options.force = true;  // each iteration replaces the previous file
    for (auto _ : state) {
        QString error;
        if (!velocast::seed::writeDemoDatabase(options, &error)) {
            state.SkipWithError(error.toUtf8().constData());
            break;
        }
    }
    state.counters["members"] =
        benchmark::Counter(static_cast<double>(options.members), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = static_cast<double>(QFile(options.path).size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_GenerateDemoDatabase)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // the SQL driver plugins need it
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

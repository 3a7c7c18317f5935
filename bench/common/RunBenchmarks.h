#pragma once

#include <benchmark/benchmark.h>

namespace Orvane {
namespace Bench {

// The main of a benchmark program whose figures go through a reporter of its own, such as
// one that prints ratios in its Finalize.
inline int RunBenchmarks(int argc, char** argv, benchmark::BenchmarkReporter& reporter)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace Bench
} // namespace Orvane

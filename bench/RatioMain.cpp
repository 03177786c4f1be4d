// Benchmark entry point that, after the usual table, prints each declared
// ratio of two benchmarks measured in the same run. Machines are noisy;
// ratios between neighbours in one run are what we compare over time, in
// CPU time: on a shared machine the wall clock also counts other programs.
#include <cstdio>
#include <map>
#include <string>

#include "bench/Ratio.h"

namespace qm::bench {

std::vector<RatioPair>& Ratios()
{
    static std::vector<RatioPair> ratios;
    return ratios;
}

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                seconds[run.benchmark_name()] = run.GetAdjustedCPUTime();
                wallSeconds[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
    }
    std::map<std::string, double> seconds, wallSeconds;
};

} // namespace
} // namespace qm::bench

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    qm::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    for (const auto& r : qm::bench::Ratios()) {
        const auto& seconds = r.wallClock ? reporter.wallSeconds : reporter.seconds;
        const auto a = seconds.find(r.subject), b = seconds.find(r.peer), m = seconds.find(r.minus);
        if (a == seconds.end() || b == seconds.end() || b->second <= 0 || (!r.minus.empty() && m == seconds.end()))
            continue;
        const double subject = a->second - (r.minus.empty() ? 0.0 : m->second);
        const std::string name = r.minus.empty() ? r.subject : "(" + r.subject + " - " + r.minus + ")";
        std::printf("ratio  %-40s / %-24s = %6.2f\n", name.c_str(), r.peer.c_str(), subject / b->second);
    }
    return 0;
}

// Peak memory of the service's executable while one cycle applies a 50 MB feed answer (segment
// rules, each written through PROC_DIRADOR), next to the peak of the same cycle on a feed of ten
// rules. The cycle runs in a process of its own (VevoveRazara /ONCE), so that the peak the kernel
// reports is the cycle's alone and not this generator's. Prints figures; never fails on a size.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "bench/cycle/ChildProcess.h"
#include "bench/cycle/CycleBench.h"

namespace {

namespace bench = vr::bench;

struct Run {
    bench::ChildEnd end;
    std::size_t feedBytes = 0;
    long long segmentRows = 0;
};

Run RunCycle(int segments) {
    bench::Store store;
    bench::Service service(0, segments);
    bench::UseStandin(service.server());
    const bench::ServiceDir dir(store);
    const std::filesystem::path executable = dir.CopyExecutable(VR_SERVICE_BINARY);
    // VR_BENCH_WRAPPER (e.g. /usr/bin/heaptrack) runs the cycle under a memory profiler.
    const char* wrapper = std::getenv("VR_BENCH_WRAPPER");
    bench::ChildProcess child = wrapper != nullptr && *wrapper != '\0'
                                    ? bench::ChildProcess(wrapper, {wrapper, executable.string(), "/ONCE"})
                                    : bench::ChildProcess(executable, {"VevoveRazara", "/ONCE"});
    Run run;
    run.end = child.Wait();
    run.feedBytes = service.FeedSize();
    run.segmentRows = store.Count("SEGMENTOS_TRIBUTOS");
    return run;
}

double Mb(double bytes) { return bytes / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv) {
    const double targetMb = argc > 1 ? std::atof(argv[1]) : 50.0;
    try {
        const double perSegment = static_cast<double>(bench::FeedAnswer(0, 3000).size()) / 3000.0;
        const int segments = static_cast<int>(targetMb * 1024 * 1024 / perSegment) + 1;

        const Run small = RunCycle(10);
        const Run large = RunCycle(segments);

        const double smallPeak = static_cast<double>(small.end.peakResidentKb) * 1024.0;
        const double largePeak = static_cast<double>(large.end.peakResidentKb) * 1024.0;
        const double growth = largePeak - smallPeak;
        std::printf("Peak resident set of VevoveRazara /ONCE applying a feed answer\n");
        std::printf("  feed of %9d segment rules: %8.1f MB answer, peak %7.1f MB (exit %d, %lld rows, %.1f s CPU)\n",
                    10, Mb(static_cast<double>(small.feedBytes)), Mb(smallPeak), small.end.exitStatus,
                    small.segmentRows, small.end.cpuSeconds);
        std::printf("  feed of %9d segment rules: %8.1f MB answer, peak %7.1f MB (exit %d, %lld rows, %.1f s CPU)\n",
                    segments, Mb(static_cast<double>(large.feedBytes)), Mb(largePeak), large.end.exitStatus,
                    large.segmentRows, large.end.cpuSeconds);
        std::printf("  growth of the peak: %.1f MB = %.2f times the answer's size (goal: at most 3)\n", Mb(growth),
                    growth / static_cast<double>(large.feedBytes));
        const bool applied = small.end.exitStatus == 0 && large.end.exitStatus == 0 && small.segmentRows == 10 &&
                             large.segmentRows == segments;
        if (!applied) std::printf("  a cycle did not apply its whole feed\n");
        return applied ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_cycle_memory: %s\n", e.what());
    }
    return 1;
}

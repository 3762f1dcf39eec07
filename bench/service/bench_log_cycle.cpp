// The activity log's weight on a cycle and on memory, each next to a baseline measured in the
// same run. Prints figures; it never fails on a time.
//
// 1. One update cycle, by a fresh service module (as the first cycle of a new process, which
//    examines the whole log), applying a feed of 500 segment rules that the database refuses,
//    so that the cycle writes 500 entries: with no log file (the baseline), with a 100 MB log in
//    the log's form, and with a 100 MB log that must be rewritten (lone LF line breaks). Goal:
//    the 100 MB log within 1.5 times the baseline.
// 2. The peak memory of a process writing one entry, measured in a child each: with no log file
//    (the baseline), with a 2 GiB log in the log's form, and with a 2 GiB log that must be
//    rewritten. The 2 GiB files are sparse and removed at the end; the rewrite needs 2 GiB of
//    free disk and is skipped without it. Goal: under 32 MiB more than the baseline.
//
// Usage: bench_log_cycle [rounds] [entries] [megabytes]
// Needs the local Firebird server.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "bench/cycle/CycleBench.h"
#include "common/Clock.h"
#include "platform/SystemClock.h"
#include "service/ActivityLog.h"
#include "service/UVevoveRazara.h"
#include "tests/standin/Standin.h"
#include "tests/support/TestDatabase.h"

namespace {

namespace fs = std::filesystem;
namespace bench = vr::bench;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Segment rules without an identifier: the procedure refuses each with its exception, and the
// cycle logs each refusal and goes on.
std::string RefusedFeed(int entries) {
    std::string feed = R"({"erro":0,"mensagem":"Atualizações encontradas","produtos_troca_segmento":[],"tributos":[)";
    for (int i = 0; i < entries; ++i) {
        if (i > 0) feed += ',';
        feed += R"({"idsegmento":0,"ncm":"1905.90.90","cest":"","idlista":3,"piscofins_cst_entrada":"50",)"
                R"("piscofins_cst_saida":"01","piscofins_naturezarec":"","ipi":0,"icms_saida_csosn":"0102",)"
                R"("icms_saida_cst":"","icms_saida":0,"base_reduzida":0,"mva":0,"icms_fcp":0,)"
                R"("cod_beneficio":"","cfop_venda":"5102","desoneracao_icms":0})";
    }
    return feed + "]}";
}

// A log of about the given size, 8-bit text, in the log's form or with lone LF line breaks.
void FillLog(const fs::path& file, std::size_t bytes, bool crLf) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::string block;
    const char* lineBreak = crLf ? "\r\n" : "\n";
    for (int i = 0; block.size() < (1u << 20); ++i) {
        block += std::string(lineBreak) + "05/03/2024 07:08:09 - Falha na conex\xE3o com o banco de dados, tentativa " +
                 std::to_string(i) + lineBreak;
    }
    for (std::size_t written = 0; written < bytes; written += block.size()) out << block;
}

enum class LogStart { kNone, kInForm, kToRewrite };

struct CycleResult {
    double best = 1e9;
    int problems = 0;
};

// Peak resident memory of this process, in KiB.
long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs work in a child and returns the child's peak memory in KiB, or -1.
template <typename Work>
long PeakOfChild(Work work) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        close(pipeFds[0]);
        long peak = -1;
        try {
            work();
            peak = PeakKiB();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_log_cycle: %s\n", e.what());
        }
        if (write(pipeFds[1], &peak, sizeof peak) != sizeof peak) _exit(1);
        _exit(0);
    }
    close(pipeFds[1]);
    long peak = -1;
    if (read(pipeFds[0], &peak, sizeof peak) != sizeof peak) peak = -1;
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return peak;
}

class FixedClock final : public vr::Clock {
public:
    vr::LocalDateTime Now() const override { return {2024, 3, 5, 7, 8, 9}; }
};

// A sparse file of the given size ending in a line break (CR LF, or a lone LF).
void SparseLog(const fs::path& file, std::uint64_t size, bool crLf) {
    const std::string end = crLf ? "\r\n" : "\n";
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + file.string());
    bool ok = ftruncate(fd, static_cast<off_t>(size - end.size())) == 0 &&
              pwrite(fd, end.data(), end.size(), static_cast<off_t>(size - end.size())) ==
                  static_cast<ssize_t>(end.size());
    close(fd);
    if (!ok) throw std::runtime_error("cannot write " + file.string());
}

void MemoryPart(const fs::path& scratch) {
    constexpr std::uint64_t kSize = std::uint64_t{2} << 30;
    const fs::path dir = scratch / "memory";
    fs::create_directories(dir);
    const fs::path file = dir / "VevoveRazara.log";
    FixedClock clock;
    vr::RegionalSettings settings;
    settings.ansiCodePage = "ISO-8859-1";
    auto oneEntry = [&] { vr::ActivityLog(dir, settings, clock).Append("Falha na conexão com o banco de dados"); };

    fs::remove(file);
    const long baseline = PeakOfChild(oneEntry);
    SparseLog(file, kSize, true);
    Clock::time_point start = Clock::now();
    const long inForm = PeakOfChild(oneEntry);
    const double inFormSeconds = Seconds(Clock::now() - start);
    fs::remove(file);

    long rewrite = -1;
    double rewriteSeconds = 0;
    std::error_code error;
    const fs::space_info space = fs::space(dir, error);
    const bool room = !error && space.available > kSize + (std::uint64_t{512} << 20);
    if (room) {
        SparseLog(file, kSize, false);
        start = Clock::now();
        rewrite = PeakOfChild(oneEntry);
        rewriteSeconds = Seconds(Clock::now() - start);
    }
    fs::remove(file);
    fs::remove(dir / "VevoveRazara.log.tmp");

    std::printf("\npeak memory of one entry (ru_maxrss of a child each)\n");
    std::printf("  no log file (baseline):          %8.1f MiB\n", baseline / 1024.0);
    std::printf("  2 GiB log in the log's form:     %8.1f MiB  (+%.1f MiB, %.2f s)\n", inForm / 1024.0,
                (inForm - baseline) / 1024.0, inFormSeconds);
    if (room) {
        std::printf("  2 GiB log rewritten:             %8.1f MiB  (+%.1f MiB, %.2f s)\n", rewrite / 1024.0,
                    (rewrite - baseline) / 1024.0, rewriteSeconds);
    } else {
        std::printf("  2 GiB log rewritten:             skipped, less than 2.5 GiB free in %s\n", dir.c_str());
    }
    std::printf("  goal: under 32 MiB more than the baseline\n");
}

// A directory removed at the end, with everything in it.
class Scratch {
public:
    Scratch() {
        path_ = fs::temp_directory_path() / ("vr-bench-log-" + std::to_string(getpid()));
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int entries = argc > 2 ? std::max(1, std::atoi(argv[2])) : 500;
    const long megabytes = argc > 3 ? std::max(1L, std::atol(argv[3])) : 100;
    try {
        // The demo store's schema, whose procedure refuses a segment without identifier.
        vr::test::TestDatabase store({VR_DEMO_SCHEMA});
        store.Execute(
            "INSERT INTO PADRAO (ID, RAZAOSOCIAL, CGC, ESTADO, BRISEN_ID, BRISEN_TOKEN, DIRADOR_DATAULTIMAATUALIZACAO) "
            "VALUES (1, 'Supermercado Boa Esperança Ltda', '12.345.678/0001-95', 'SP', '" +
            std::string(bench::kConta) + "', '" + bench::kToken + "', DATEADD(-7 DAY TO CURRENT_DATE))");
        bench::Service service(0, 1);
        bench::UseStandin(service.server());
        const Scratch dir;
        std::ofstream(dir.path() / "Rivelto.ini", std::ios::binary)
            << "[Rivelto]\r\nServidor=" << vr::test::kServer << "\r\nCaminho=" << store.path() << "\r\n";
        vr::SystemClock clock;
        const fs::path logFile = dir.path() / "VevoveRazara.log";
        vr::standin::Response feed;
        feed.headers = {{"Content-Type", "application/json; charset=utf-8"}};
        feed.body = RefusedFeed(entries);

        const auto runCycle = [&](LogStart start, CycleResult& result) {
            fs::remove(logFile);
            if (start != LogStart::kNone) {
                FillLog(logFile, static_cast<std::size_t>(megabytes) << 20, start == LogStart::kInForm);
            }
            const std::uintmax_t before = start == LogStart::kNone ? 0 : fs::file_size(logFile);
            store.Execute("UPDATE PADRAO SET DIRADOR_DATAULTIMAATUALIZACAO = DATEADD(-7 DAY TO CURRENT_DATE)");
            service.server().ClearRoutes();
            service.server().Route(bench::FeedPath(), feed);
            vr::TModuleSetup setup{dir.path(), vr::RegionalSettings{}, &clock};
            setup.baseAddress = service.server().Origin();
            setup.settings.ansiCodePage = "ISO-8859-1";
            // A fresh module, as the first cycle of a new process: its log examines the file.
            vr::TSrvVevoveRazara module(setup);
            const Clock::time_point started = Clock::now();
            module.TimerTimer();
            result.best = std::min(result.best, Seconds(Clock::now() - started));
            const std::uintmax_t grown = fs::file_size(logFile) - before;
            if (module.ResultadoCiclo != vr::rcConcluida || grown < static_cast<std::uintmax_t>(entries) * 40) {
                std::printf("the cycle did not complete or did not write its %d entries (see %s)\n", entries,
                            logFile.c_str());
                ++result.problems;
            }
        };
        CycleResult none;
        CycleResult inForm;
        CycleResult toRewrite;
        // Rounds alternate so that load from other processes weighs on every case alike.
        for (int round = 0; round < rounds; ++round) {
            runCycle(LogStart::kNone, none);
            runCycle(LogStart::kInForm, inForm);
            runCycle(LogStart::kToRewrite, toRewrite);
        }
        fs::remove(logFile);
        std::printf("one cycle writing %d entries, fresh module each, best of %d alternating rounds\n", entries,
                    rounds);
        std::printf("  no log file (baseline):          %8.3f s\n", none.best);
        std::printf("  %ld MB log in the log's form:    %8.3f s  ratio %.2f (goal: at most 1.5)\n", megabytes,
                    inForm.best, inForm.best / none.best);
        std::printf("  %ld MB log to rewrite:           %8.3f s  ratio %.2f\n", megabytes, toRewrite.best,
                    toRewrite.best / none.best);
        MemoryPart(dir.path());
        return none.problems + inForm.problems + toRewrite.problems == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_log_cycle: %s\n", e.what());
        return 1;
    }
}

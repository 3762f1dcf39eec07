// Entries per second into an empty activity log and into one of 100 MB, side by side: an entry
// should cost about the same whatever the size of the file (ratio at most 1.5). Prints figures
// only; it never fails on a time.
//
// Usage: bench_activity_log [entries] [megabytes]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "common/Clock.h"
#include "service/ActivityLog.h"

namespace {

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

class TickingClock final : public vr::Clock {
public:
    vr::LocalDateTime Now() const override {
        ++tick_;
        return {2024, 3, 5, static_cast<int>(tick_ / 3600 % 24), static_cast<int>(tick_ / 60 % 60),
                static_cast<int>(tick_ % 60)};
    }

private:
    mutable long tick_ = 0;
};

class ScratchDir {
public:
    explicit ScratchDir(const std::string& name) {
        path_ = fs::temp_directory_path() /
                ("vr-bench-" + name + "-" + std::to_string(std::random_device{}()));
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// A log of roughly the given size, in the form the service writes, Latin-1 letters included.
void FillLog(const fs::path& file, std::size_t bytes) {
    std::ofstream out(file, std::ios::binary);
    std::string block;
    for (int i = 0; block.size() < (1u << 20); ++i) {
        block += "\r\n05/03/2024 07:08:09 - Falha na conex\xE3o com o banco de dados, tentativa " +
                 std::to_string(i) + "\r\n";
    }
    for (std::size_t written = 0; written < bytes; written += block.size()) out << block;
}

// One log being written: its first entry (which reads and rewrites the whole file) and the best
// rate of the rounds that follow.
class Subject {
public:
    explicit Subject(const fs::path& directory) : log_(directory, Settings(), clock_) {
        auto start = std::chrono::steady_clock::now();
        log_.Append("Início do serviço");
        takeOverSeconds_ = Seconds(std::chrono::steady_clock::now() - start).count();
    }

    void Round(int entries) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < entries; ++i) {
            log_.Append("Erro ao gravar o produto 7891234567895: violação de chave primária");
        }
        double rate = entries / Seconds(std::chrono::steady_clock::now() - start).count();
        if (rate > bestRate_) bestRate_ = rate;
    }

    double takeOverSeconds() const { return takeOverSeconds_; }
    double bestRate() const { return bestRate_; }

private:
    static vr::RegionalSettings Settings() {
        vr::RegionalSettings settings;
        settings.ansiCodePage = "ISO-8859-1";
        return settings;
    }

    TickingClock clock_;
    vr::ActivityLog log_;
    double takeOverSeconds_ = 0;
    double bestRate_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    int entries = argc > 1 ? std::atoi(argv[1]) : 20000;
    long megabytes = argc > 2 ? std::atol(argv[2]) : 100;
    if (entries < 10 || megabytes <= 0) {
        std::fprintf(stderr, "usage: %s [entries] [megabytes]\n", argv[0]);
        return 2;
    }
    try {
        ScratchDir empty("empty");
        ScratchDir large("large");
        FillLog(large.path() / "VevoveRazara.log", static_cast<std::size_t>(megabytes) << 20);

        Subject small(empty.path());
        Subject big(large.path());
        // Rounds alternate between the two logs and each keeps its best, so that load from other
        // processes weighs on both sides alike.
        constexpr int kRounds = 10;
        for (int round = 0; round < kRounds; ++round) {
            small.Round(entries / kRounds);
            big.Round(entries / kRounds);
        }
        std::printf("activity log, %d entries each, best of %d alternating rounds\n", entries,
                    kRounds);
        std::string largeName = std::to_string(megabytes) + " MB log";
        std::printf("%-22s %16s %16s\n", "", "empty log", largeName.c_str());
        std::printf("%-22s %16.0f %16.0f\n", "entries per second", small.bestRate(),
                    big.bestRate());
        std::printf("%-22s %16.3f %16.3f\n", "first entry (s)", small.takeOverSeconds(),
                    big.takeOverSeconds());
        std::printf("ratio empty / large: %.2f (goal: at most 1.5)\n",
                    small.bestRate() / big.bestRate());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_activity_log: %s\n", e.what());
        return 1;
    }
    return 0;
}

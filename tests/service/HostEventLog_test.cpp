#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/JournalEventLog.h"
#include "service/CycleReport.h"
#include "service/Intervals.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

// Without a journal to write to, entries must still reach someone: standard error.
TEST(HostEventLog, EntriesGoToTheFallbackWithoutAJournal) {
    test::TempDir temp;
    std::ostringstream fallback;
    JournalEventLog log(fallback, temp.path() / "journal-socket");
    log.ReportError("SrvVevoveRazara", "Service failed on execute: banco indisponível");
    log.ReportError("VevoveRazara", "linha 1\nlinha 2 com 100%s");
    EXPECT_EQ(fallback.str(),
              "SrvVevoveRazara: Service failed on execute: banco indisponível\n"
              "VevoveRazara: linha 1\nlinha 2 com 100%s\n");
}

// One entry of the journal's native protocol: "NAME=value" lines, or for a value with a line
// break "NAME", a line break, its length as 64 bits little-endian, the value and a line break.
std::map<std::string, std::string> ParseEntry(const std::string& datagram) {
    std::map<std::string, std::string> fields;
    std::size_t at = 0;
    while (at < datagram.size()) {
        const std::size_t end = datagram.find('\n', at);
        if (end == std::string::npos) break;
        const std::string line = datagram.substr(at, end - at);
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            fields[line.substr(0, equals)] = line.substr(equals + 1);
            at = end + 1;
            continue;
        }
        std::uint64_t length = 0;
        for (int i = 0; i < 8; ++i) {
            length |= std::uint64_t(static_cast<unsigned char>(datagram[end + 1 + i])) << (8 * i);
        }
        fields[line] = datagram.substr(end + 9, length);
        at = end + 9 + length + 1;
    }
    return fields;
}

// The journal's socket is a fixed path, so the entries are caught in a child that has a mount
// namespace of its own with a socket of the test's at that path; the child hands each datagram
// it receives to the test.
std::vector<std::string> CaughtEntries(const std::function<void(EventLog&)>& report, bool& skipped) {
    int out[2];
    if (::pipe(out) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", "/run", "tmpfs", 0, nullptr) != 0) {
            ::_exit(77);
        }
        ::mkdir("/run/systemd", 0755);
        ::mkdir("/run/systemd/journal", 0755);
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/run/systemd/journal/socket");
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) ::_exit(78);
        std::ostringstream unused;
        JournalEventLog log(unused);
        report(log);
        if (!unused.str().empty()) ::_exit(79);  // went to the fallback
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got <= 0) break;
            const std::uint32_t size = static_cast<std::uint32_t>(got);
            [[maybe_unused]] ssize_t w = ::write(out[1], &size, sizeof size);
            w = ::write(out[1], buffer, size);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string all;
    char chunk[4096];
    for (ssize_t got; (got = ::read(out[0], chunk, sizeof chunk)) > 0;) all.append(chunk, static_cast<std::size_t>(got));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    skipped = WIFEXITED(status) && WEXITSTATUS(status) == 77;
    EXPECT_TRUE(skipped || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << "child status " << status;
    std::vector<std::string> entries;
    for (std::size_t at = 0; at + 4 <= all.size();) {
        std::uint32_t size = 0;
        std::memcpy(&size, all.data() + at, 4);
        entries.push_back(all.substr(at + 4, size));
        at += 4 + size;
    }
    return entries;
}

// The cycle's entries at information or warning priority with their fields, errors at error
// priority, and none carrying the place in the source (an absolute path of the build machine).
TEST(HostEventLog, CycleEntriesCarryTheirFieldsAndNoSourceLocation) {
    TRelatorioCiclo applied;
    applied.resultado = rcConcluida;
    applied.fim = {2024, 3, 10, 9, 15, 0};
    applied.produtosGravados = 12;
    applied.segmentosGravados = 3;
    applied.gravacoesRecusadas = 1;
    applied.consultasIgnoradas = 2;
    applied.ultimaAtualizacao = "2024-03-10";
    applied.proximoCicloMs = IntervaloOK;
    TRelatorioCiclo failed;
    failed.fim = {2024, 3, 10, 9, 15, 0};
    failed.ultimaAtualizacao = "2024-03-01";
    failed.erro = "HTTP/1.1 503 Service Unavailable";
    failed.proximoCicloMs = IntervaloFalha;
    bool skipped = false;
    const std::vector<std::string> entries = CaughtEntries(
        [&](EventLog& log) {
            for (const TRelatorioCiclo* r : {&applied, &failed}) {
                const CycleEntry entry = CycleLogEntry(*r);
                log.ReportActivity(entry.severity, "SrvVevoveRazara", entry.message, entry.fields);
            }
            log.ReportError("SrvVevoveRazara", "Service failed on execute: linha 1\nlinha 2");
        },
        skipped);
    if (skipped) GTEST_SKIP() << "no mount namespace for a journal of the test's own";
    ASSERT_EQ(entries.size(), 3u);

    const auto first = ParseEntry(entries[0]);
    const std::map<std::string, std::string> expected = {
        {"MESSAGE",
         "update cycle applied, 12 products and 3 segments written, 1 write refused, 2 consultations skipped; "
         "next cycle at 2024-03-10 12:15:00"},
        {"PRIORITY", "6"},
        {"SYSLOG_IDENTIFIER", "SrvVevoveRazara"},
        {"VR_OUTCOME", "applied"},
        {"VR_PRODUCTS_WRITTEN", "12"},
        {"VR_SEGMENTS_WRITTEN", "3"},
        {"VR_WRITES_REFUSED", "1"},
        {"VR_CONSULTATIONS_SKIPPED", "2"},
        {"VR_LAST_UPDATE", "2024-03-10"},
        {"VR_NEXT_CYCLE_SECONDS", "10800"},
    };
    EXPECT_EQ(first, expected);

    const auto second = ParseEntry(entries[1]);
    EXPECT_EQ(second.at("PRIORITY"), "4");
    EXPECT_EQ(second.at("VR_OUTCOME"), "failed");
    EXPECT_EQ(second.at("VR_ERROR"), "HTTP/1.1 503 Service Unavailable");
    EXPECT_EQ(second.at("VR_LAST_UPDATE"), "2024-03-01");
    EXPECT_EQ(second.at("VR_NEXT_CYCLE_SECONDS"), "1800");

    const auto third = ParseEntry(entries[2]);
    EXPECT_EQ(third.at("PRIORITY"), "3");
    EXPECT_EQ(third.at("MESSAGE"), "Service failed on execute: linha 1\nlinha 2");
    for (const auto& entry : {first, second, third}) {
        for (const char* location : {"CODE_FILE", "CODE_LINE", "CODE_FUNC"}) EXPECT_EQ(entry.count(location), 0u);
    }
}

}  // namespace
}  // namespace vr

// The update cycle on a machine without the Firebird client library (fbclient.dll or
// fbembed.dll): the connection fails, the failure is logged once with the loader's reasons and
// the timer is armed again for the next try. Runs where no client library can be found.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform/CodePage.h"
#include "service/EventLoop.h"
#include "service/Intervals.h"
#include "service/MonotonicClock.h"
#include "service/UVevoveRazara.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

class FixedClock final : public Clock {
public:
    LocalDateTime Now() const override { return {2024, 3, 10, 9, 15, 0}; }
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CycleWithoutClient : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device device;
        directory_ = fs::temp_directory_path() /
                     ("sem-cliente-" + std::to_string(device()) + std::to_string(device()));
        fs::create_directories(directory_);
        std::ofstream(directory_ / "Rivelto.ini", std::ios::binary)
            << "[Rivelto]\r\nServidor=127.0.0.1\r\nCaminho=C:\\Dados\\RIVELTO.FDB\r\n";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    fs::path directory_;
    FixedClock clock_;
};

TEST_F(CycleWithoutClient, LogsTheLoaderFailureOnceAndArmsTheTimerForTheNextTry) {
    TModuleSetup setup;
    setup.directory = directory_;
    setup.settings.ansiCodePage = "WINDOWS-1252";
    setup.clock = &clock_;
    TSrvVevoveRazara module(setup);
    SteadyClock steady;
    EventLoop loop(steady, [](const std::exception&) {});
    module.ServiceCreate(loop);

    module.TimerTimer();

    EXPECT_TRUE(module.Timer.Enabled());
    EXPECT_EQ(module.Timer.Interval(), IntervaloFalha);
    EXPECT_EQ(module.ResultadoCiclo, rcNaoConcluida);

    const std::string log = codepage::ToUtf8(Slurp(directory_ / "VevoveRazara.log"), "WINDOWS-1252");
    const std::string prefix = "\r\n10/03/2024 09:15:00 - Falha na conexão com o banco de dados: ";
    ASSERT_TRUE(log.starts_with(prefix)) << log;
    EXPECT_EQ(log.find(" - ", prefix.size()), std::string::npos) << "one entry only: " << log;
    // The loader's error names both libraries it tried, in order.
    const std::size_t client = log.find("fbclient.dll");
    const std::size_t embedded = log.find("fbembed.dll");
    EXPECT_NE(client, std::string::npos) << log;
    EXPECT_NE(embedded, std::string::npos) << log;
    EXPECT_LT(client, embedded) << log;
    EXPECT_FALSE(fs::exists(directory_ / "BRISEN_RESPOSTA.LOG"));
    module.ServiceDestroy();
}

}  // namespace
}  // namespace vr

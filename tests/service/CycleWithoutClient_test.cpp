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
#include "tests/support/ManualClock.h"
#include "tests/support/TempDir.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

class CycleWithoutClient : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(directory_ / "Rivelto.ini", std::ios::binary)
            << "[Rivelto]\r\nServidor=127.0.0.1\r\nCaminho=C:\\Dados\\RIVELTO.FDB\r\n";
    }
    const test::TempDir scratch_{"sem-cliente-"};
    const fs::path directory_ = scratch_.path();
    test::ManualClock clock_{{2024, 3, 10, 9, 15, 0}};
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

    const std::string log = codepage::ToUtf8(test::Slurp(directory_ / "VevoveRazara.log"), "WINDOWS-1252");
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

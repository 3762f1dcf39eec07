#include "tests/support/StandinEnvironment.h"

#include <memory>

#include <gtest/gtest.h>

#include "tests/standin/StandinPlatform.h"

namespace vr::test {

namespace {

std::unique_ptr<standin::Server>& Instance() {
    static std::unique_ptr<standin::Server> server;
    return server;
}

class StandinEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        if (Instance()) standin::DistrustTestCa(Instance()->CaFile());
        Instance().reset();
    }
};

[[maybe_unused]] const ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new StandinEnvironment);

}  // namespace

standin::Server& Standin() {
    std::unique_ptr<standin::Server>& server = Instance();
    if (!server) {
        server = std::make_unique<standin::Server>(standin::Options{
            VR_STANDIN_PROGRAM, VR_STANDIN_PYTHON, VR_STANDIN_CERT_DIR});
        // Tests run before any exchange thread exists, so changing the environment is safe here.
        standin::TrustTestCa(server->CaFile());
        standin::SetVariable("no_proxy", "127.0.0.1,localhost");
        standin::SetVariable("NO_PROXY", "127.0.0.1,localhost");
    }
    return *server;
}

THttpsTrust StandinTrust() { return THttpsTrust{Standin().CaFile().string(), ""}; }

}  // namespace vr::test

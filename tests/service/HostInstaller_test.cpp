// Registration and removal as the operator sees them, against a service manager that does what
// the test says: the messages, their kind and the exit codes.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "service/ServiceInstaller.h"
#include "tests/service/HostTestSupport.h"

namespace vr {
namespace {

// Records what it was asked to do; refuses with `refusal` when one is set.
class ScriptedServiceManager final : public ServiceManager {
public:
    struct Calls {
        std::vector<ServiceRegistration> created;
        std::vector<std::string> deleted;
        std::vector<ServiceAdditions> applied;
        std::vector<ServiceAdditions> removed;
        std::vector<std::filesystem::path> messageFiles;
    };
    // `alreadySo`: the refusal says that the state asked for is already there.
    ScriptedServiceManager(Calls& calls, std::string refusal, bool alreadySo = false)
        : calls_(calls), refusal_(std::move(refusal)), alreadySo_(alreadySo) {}
    void CreateService(const ServiceRegistration& service) override {
        calls_.created.push_back(service);
        if (refusal_.empty()) return;
        if (alreadySo_) throw ServiceAlreadyExists(refusal_);
        throw Error(refusal_);
    }
    void DeleteService(std::string_view name) override {
        calls_.deleted.emplace_back(name);
        if (refusal_.empty()) return;
        if (alreadySo_) throw ServiceDoesNotExist(refusal_);
        throw Error(refusal_);
    }

    void ApplyAdditions(std::string_view name, const std::filesystem::path& executable,
                        const ServiceAdditions& additions) noexcept override {
        EXPECT_EQ(name, "SrvVevoveRazara");
        calls_.applied.push_back(additions);
        calls_.messageFiles.push_back(executable);
    }
    void RemoveAdditions(const ServiceAdditions& additions) noexcept override {
        calls_.removed.push_back(additions);
    }

private:
    Calls& calls_;
    std::string refusal_;
    bool alreadySo_;
};

const char* const kExecutable = "C:\\Program Files\\Brisen\\VevoveRazara.exe";

TEST(HostInstaller, OutcomesAndMessages) {
    enum class Manager { Works, Refuses, AlreadySo, Unavailable };
    struct Case {
        const char* name;
        bool install;
        bool silent;
        Manager manager;
        std::vector<test::ResultMessage> messages;
        int exitCode;
    };
    const std::string installFailure =
        "Service \"Brisen Fiscal - Atualizador Fiscal\" failed to install with error: \"";
    const std::string uninstallFailure =
        "Service \"Brisen Fiscal - Atualizador Fiscal\" failed to uninstall with error: \"";
    const std::string refusal = "O gerenciador de serviços recusou o pedido.";
    const std::string unavailable = "System Error.  Code: 5.\r\nAcesso negado.";
    const Case cases[] = {
        {"install", true, false, Manager::Works, {{false, "Service installed successfully"}}, 0},
        {"silent install", true, true, Manager::Works, {}, 0},
        {"uninstall", false, false, Manager::Works, {{false, "Service uninstalled successfully"}}, 0},
        {"silent uninstall", false, true, Manager::Works, {}, 0},
        // Refused: the service is not in the state asked for, and the exit code says so.
        {"install refused", true, false, Manager::Refuses, {{true, installFailure + refusal + "\""}}, 1},
        {"silent install refused", true, true, Manager::Refuses,
         {{true, installFailure + refusal + "\""}}, 1},
        {"silent uninstall refused", false, true, Manager::Refuses,
         {{true, uninstallFailure + refusal + "\""}}, 1},
        // Already registered, or already absent: the refusal is shown, but the state is right.
        {"install over an existing service", true, false, Manager::AlreadySo,
         {{true, installFailure + refusal + "\""}}, 0},
        {"uninstall of an absent service", false, true, Manager::AlreadySo,
         {{true, uninstallFailure + refusal + "\""}}, 0},
        {"install without manager", true, true, Manager::Unavailable,
         {{true, unavailable}}, 1},
        {"uninstall without manager", false, false, Manager::Unavailable,
         {{true, unavailable}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServiceManager::Calls calls;
        test::RecordingResultMessages messages;
        ServiceInstaller installer(
            [&]() -> std::unique_ptr<ServiceManager> {
                if (c.manager == Manager::Unavailable) throw ServiceManagerUnavailable(unavailable);
                return std::make_unique<ScriptedServiceManager>(
                    calls, c.manager == Manager::Works ? "" : refusal, c.manager == Manager::AlreadySo);
            },
            kExecutable, messages);
        EXPECT_EQ(c.install ? installer.Install(c.silent) : installer.Uninstall(c.silent), c.exitCode);
        EXPECT_EQ(messages.messages, c.messages);
        const bool reached = c.manager != Manager::Unavailable;
        if (c.install) {
            ASSERT_EQ(calls.created.size(), reached ? 1u : 0u);
            if (reached) {
                EXPECT_EQ(calls.created[0].name, "SrvVevoveRazara");
                EXPECT_EQ(calls.created[0].displayName, "Brisen Fiscal - Atualizador Fiscal");
                EXPECT_EQ(calls.created[0].executable, std::filesystem::path(kExecutable));
            }
            EXPECT_TRUE(calls.deleted.empty());
        } else {
            EXPECT_EQ(calls.deleted, reached ? std::vector<std::string>{"SrvVevoveRazara"}
                                             : std::vector<std::string>{});
            EXPECT_TRUE(calls.created.empty());
        }
    }
}

// What the service manager learns beyond the registration, whichever way the service comes:
// only with a registration made (or removed) here, or at the installer's request.
TEST(HostInstaller, AdditionsGoWithTheRegistration) {
    enum class Step { Install, Uninstall, Configure, Unconfigure };
    struct Case {
        const char* name;
        Step step;
        bool refused, alreadySo;
        bool applied, removed;
        int exitCode;
    };
    const Case cases[] = {
        {"installed", Step::Install, false, false, true, false, 0},
        {"install refused", Step::Install, true, false, false, false, 1},
        {"already registered", Step::Install, true, true, false, false, 0},
        {"uninstalled", Step::Uninstall, false, false, false, true, 0},
        {"uninstall refused", Step::Uninstall, true, false, false, false, 1},
        {"already absent", Step::Uninstall, true, true, false, true, 0},
        {"configured by the installer", Step::Configure, false, false, true, false, 0},
        {"unconfigured by the installer", Step::Unconfigure, false, false, false, true, 0},
    };
    const std::filesystem::path executable = "C:/Program Files/VevoveRazara/VevoveRazara.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServiceManager::Calls calls;
        test::RecordingResultMessages messages;
        ServiceInstaller installer(
            [&]() -> std::unique_ptr<ServiceManager> {
                return std::make_unique<ScriptedServiceManager>(calls, c.refused ? "recusado" : "",
                                                                c.alreadySo);
            },
            executable, messages);
        const int exitCode = c.step == Step::Install     ? installer.Install(true)
                             : c.step == Step::Uninstall ? installer.Uninstall(true)
                             : c.step == Step::Configure ? installer.Configure()
                                                         : installer.Unconfigure();
        EXPECT_EQ(exitCode, c.exitCode);
        ASSERT_EQ(calls.applied.size(), c.applied ? 1u : 0u);
        ASSERT_EQ(calls.removed.size(), c.removed ? 1u : 0u);
        if (c.step == Step::Configure || c.step == Step::Unconfigure) {
            EXPECT_TRUE(messages.messages.empty());
            EXPECT_TRUE(calls.created.empty() && calls.deleted.empty());
        }
        for (const ServiceAdditions& additions : calls.applied) {
            using namespace std::chrono_literals;
            EXPECT_FALSE(additions.description.empty());
            EXPECT_EQ(additions.restartDelays, (std::vector<std::chrono::seconds>{30s, 30s, 300s}));
            EXPECT_EQ(additions.failureCountReset, 86400s);
            EXPECT_TRUE(additions.restartOnNonCrashFailures);
            EXPECT_TRUE(additions.delayedStart);
            EXPECT_EQ(calls.messageFiles[0], executable);
        }
        for (const auto& additions : {calls.applied, calls.removed}) {
            for (const ServiceAdditions& a : additions) {
                EXPECT_EQ(a.eventSources, (std::vector<std::string>{"SrvVevoveRazara", "VevoveRazara.exe"}));
            }
        }
    }
}

}  // namespace
}  // namespace vr

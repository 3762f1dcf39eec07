// Program entry of the service executable.

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLog.h"
#include "database/TConnection.h"
#include "platform/ExecutablePath.h"
#include "platform/ProcessEnd.h"
#include "platform/RegionalSettingsReader.h"
#include "platform/ResultMessages.h"
#include "platform/SystemClock.h"
#include "service/CommandLine.h"
#include "service/EventLoop.h"
#include "service/ModuleHost.h"
#include "service/MonotonicClock.h"
#include "service/ServiceHost.h"
#include "service/ServiceNames.h"
#include "service/UVevoveRazara.h"
#include "webservice/Endpoints.h"

namespace {

// ServiceDestroy runs on every way out once the module exists.
class ModuleEnd {
public:
    explicit ModuleEnd(vr::TSrvVevoveRazara& module) : module_(module) {}
    ~ModuleEnd() { module_.ServiceDestroy(); }
    ModuleEnd(const ModuleEnd&) = delete;
    ModuleEnd& operator=(const ModuleEnd&) = delete;

private:
    vr::TSrvVevoveRazara& module_;
};

// The executable's file name, the source of the process's own event log entries. argv[0] is
// only how the program was called (on Windows without ".exe" when typed so, and in the ANSI
// code page), so it serves only when the real path cannot be found.
std::string ProcessName(int argc, char** argv) {
    try {
        const std::u8string name = vr::ExecutablePath().filename().u8string();
        return std::string(name.begin(), name.end());
    } catch (const std::exception&) {
        return argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "VevoveRazara";
    }
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<vr::EventLog> eventLog = vr::OpenSystemEventLog();
    const std::string processName = ProcessName(argc, argv);
    int code = 1;
    try {
        const std::filesystem::path executable = vr::ExecutablePath();
        const std::filesystem::path directory = executable.parent_path();
        vr::SteadyClock steadyClock;
        vr::EventLoop loop(steadyClock, [&](const std::exception& error) {
            eventLog->ReportError(processName, error.what());
        });
        vr::SystemClock clock;
        vr::TModuleSetup setup;
        setup.directory = directory;
        setup.settings = vr::ReadRegionalSettings();
        setup.clock = &clock;
        // A test or demo service instead of the real one; only the entry reads the environment.
        const char* baseAddress = std::getenv("VEVOVERAZARA_BASE_URL");
        setup.baseAddress = vr::BaseAddress(baseAddress != nullptr ? baseAddress : "");
        // Certificates trusted besides the system's store, named as OpenSSL's tools name them.
        setup.httpsTrust.caFile = Variable("SSL_CERT_FILE");
        setup.httpsTrust.caDirectory = Variable("SSL_CERT_DIR");

        vr::TSrvVevoveRazara SrvVevoveRazara(setup);
        SrvVevoveRazara.ServiceCreate(loop);
        const ModuleEnd end(SrvVevoveRazara);

        vr::TModuleHost hosted(SrvVevoveRazara);
        vr::HostEnvironment environment;
        environment.eventLog = eventLog.get();
        environment.processName = processName;
        environment.executable = executable;
        const std::unique_ptr<vr::ResultMessages> messages =
            vr::OpenResultMessages(vr::NomeExibicaoServico);
        environment.messages = messages.get();
        vr::ServiceHost host(hosted, loop, environment);

        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        code = host.Run(vr::ParseCommandLine(arguments));
    } catch (const std::exception& error) {
        eventLog->ReportError(processName, error.what());
        code = 1;
    }
    // An attach given up at its bound may still be inside the database client, blocked in a TCP
    // connect for minutes. The client's clean-up at exit would wait for it and then free what
    // it still uses; everything of ours is written by now, so the process ends without it.
    if (vr::db::TConnection::AttachesStillRunning() > 0) vr::EndProcessWithoutCleanUp(code);
    return code;
}

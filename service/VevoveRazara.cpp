// Program entry of the service executable.

#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/EventLog.h"
#include "platform/ExecutablePath.h"
#include "platform/RegionalSettingsReader.h"
#include "platform/SystemClock.h"
#include "service/CommandLine.h"
#include "service/EventLoop.h"
#include "service/ModuleHost.h"
#include "service/MonotonicClock.h"
#include "service/ServiceHost.h"
#include "service/UVevoveRazara.h"

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

}  // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<vr::EventLog> eventLog = vr::OpenSystemEventLog();
    const std::string processName =
        argc > 0 ? std::filesystem::path(argv[0]).filename().string() : std::string("VevoveRazara");
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

        vr::TSrvVevoveRazara SrvVevoveRazara(setup);
        SrvVevoveRazara.ServiceCreate(loop);
        const ModuleEnd end(SrvVevoveRazara);

        vr::TModuleHost hosted(SrvVevoveRazara);
        vr::HostEnvironment environment;
        environment.eventLog = eventLog.get();
        environment.processName = processName;
        environment.executable = executable;
        environment.out = &std::cout;
        vr::ServiceHost host(hosted, loop, environment);

        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        return host.Run(vr::ParseCommandLine(arguments));
    } catch (const std::exception& error) {
        eventLog->ReportError(processName, error.what());
        return 1;
    }
}

#pragma once

// The service module: one instance holds the service's components as fields and offers its
// operations as methods. Each subsystem defines its methods in its own folder.

#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/Clock.h"
#include "common/RegionalSettings.h"
#include "service/ActivityLog.h"

namespace vr {

// What the module takes from its surroundings. The program entry fills it from the platform;
// tests fill it with a temporary directory, chosen settings and a clock they drive.
struct TModuleSetup {
    std::filesystem::path directory;  // the executable's directory: INI file, log, answer dump
    RegionalSettings settings;
    const Clock* clock = nullptr;  // required
};

class TSrvVevoveRazara {
public:
    explicit TSrvVevoveRazara(TModuleSetup setup);
    ~TSrvVevoveRazara();
    TSrvVevoveRazara(const TSrvVevoveRazara&) = delete;
    TSrvVevoveRazara& operator=(const TSrvVevoveRazara&) = delete;

    const TModuleSetup& setup() const { return setup_; }

    // --- Activity log (service/) ---

    // Appends one entry to the activity log; throws vr::Error when the file cannot be written.
    void DoSaveLog(std::string_view Msg);
    // The handler for errors that leave an event handler: logs the error's message.
    void ManipulaExcecoes(const std::exception& E);

    // --- Tax rules (tax/) ---

    std::string ExtraiNumero(std::string_view texto) const;

    // --- Update cycle (service/) ---

    // One update cycle: the handler of Timer's ticks.
    void TimerTimer();

    // --- Service host (service/) ---

    // --- Database access (database/) ---

private:
    TModuleSetup setup_;
    ActivityLog log_;
};

}  // namespace vr

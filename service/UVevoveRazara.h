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
#include "service/CycleOutcome.h"
#include "service/EventLoop.h"
#include "service/ServiceThread.h"
#include "service/Timer.h"

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

    // The update cycle's timer: disarmed until the service runs; its ticks run TimerTimer on
    // the main thread. The service thread arms and disarms it, each cycle disarms and re-arms.
    TTimer Timer;
    // What the last cycle did; TimerTimer sets it, the foreground run (/ONCE) reports it.
    TResultadoCiclo ResultadoCiclo = rcNaoConcluida;

    // Main thread, once, right after creation: disarms Timer, sets IntervaloInicial, binds
    // Timer to TimerTimer and to the main loop, and makes ManipulaExcecoes the handler of
    // errors that leave the loop's events.
    void ServiceCreate(EventLoop& MainLoop);
    // Service thread: arms Timer, serves control requests until told to stop, disarms Timer.
    void ServiceExecute(ServiceThread& Sender);
    // Main thread, at the end of the process: disarms Timer.
    void ServiceDestroy();

    // --- Database access (database/) ---

private:
    TModuleSetup setup_;
    ActivityLog log_;
};

}  // namespace vr

#pragma once

// What the service control manager is told for each state the service reports.

#include <windows.h>

#include <optional>

#include "platform/ServiceNotifier.h"

namespace vr::win {

class ServiceStatusSequence {
public:
    // The status for `state`: stop, pause/continue and shutdown accepted except while starting,
    // a wait hint of five seconds, and a checkpoint that counts the reports of the same pending
    // state after its first, so that the manager sees progress.
    SERVICE_STATUS Next(ServiceState state);

private:
    std::optional<ServiceState> last_;
    DWORD checkPoint_ = 0;
};

}  // namespace vr::win

// The service module's lifecycle events.

#include <exception>

#include "service/HostedService.h"
#include "service/UVevoveRazara.h"

namespace vr {

void TSrvVevoveRazara::ServiceCreate(EventLoop& MainLoop) {
    mainLoop_ = &MainLoop;
    Timer.SetOnTimer([this] { TimerTimer(); });
    PrepareServiceTimer(Timer, MainLoop, [this](const std::exception& E) { ManipulaExcecoes(E); });
}

void TSrvVevoveRazara::ServiceExecute(ServiceThread& Sender) { ServeControlRequests(Timer, Sender); }

void TSrvVevoveRazara::ServiceDestroy() { Timer.SetEnabled(false); }

// A consultation lets the main loop's waiting events run between products, as the service has
// always done: the cycle runs on the main thread, and a long feed must not hold back what the
// loop has queued meanwhile (a timer change from the service thread, a stop being reported).
void TSrvVevoveRazara::ProcessaMensagens() {
    if (AoProgredir) AoProgredir();
    if (mainLoop_ != nullptr) mainLoop_->ProcessMessages();
}

}  // namespace vr

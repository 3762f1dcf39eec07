#include "service/HostedService.h"

#include <utility>

#include "service/Intervals.h"

namespace vr {

void PrepareServiceTimer(TTimer& timer, EventLoop& loop, EventLoop::ErrorHandler onError) {
    timer.SetEnabled(false);
    timer.SetInterval(IntervaloInicial);
    loop.Attach(timer);
    loop.SetErrorHandler(std::move(onError));
}

void ServeControlRequests(TTimer& timer, ServiceThread& thread) {
    timer.SetEnabled(true);
    while (!thread.Terminated()) thread.ProcessRequests(true);
    timer.SetEnabled(false);
}

}  // namespace vr

// Sends one control code to a service through the service manager and prints the status that
// comes back, for the Wine tests (Wine's sc and net know only start and stop):
//   ServiceControl <service> <code>
// prints "state <n> accepted <n> checkpoint <n> wait <n>" and exits 0, or prints the error
// code and exits 1.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ServiceControl <service> <code>\n");
        return 2;
    }
    const DWORD code = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service =
        manager == nullptr ? nullptr : OpenServiceW(manager, argv[1], SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    const bool sent = service != nullptr && ControlService(service, code, &status);
    const DWORD error = sent ? NO_ERROR : GetLastError();
    if (service != nullptr) CloseServiceHandle(service);
    if (manager != nullptr) CloseServiceHandle(manager);
    if (!sent) {
        std::printf("error %lu\n", static_cast<unsigned long>(error));
        return 1;
    }
    std::printf("state %lu accepted %lu checkpoint %lu wait %lu\n",
                static_cast<unsigned long>(status.dwCurrentState),
                static_cast<unsigned long>(status.dwControlsAccepted),
                static_cast<unsigned long>(status.dwCheckPoint),
                static_cast<unsigned long>(status.dwWaitHint));
    return 0;
}

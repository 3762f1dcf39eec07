// Registration and removal against the real service control manager (Wine's, in the tests'
// prefix), under a name of the test's own so that nothing else is touched.

#include <windows.h>

// winsvc.h maps CreateService to CreateServiceW, which would rename the interface's member here.
#undef CreateService

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/Error.h"
#include "platform/ServiceManager.h"
#include "platform/windows/WindowsText.h"

namespace vr {
namespace {

std::string UniqueName() {
    std::random_device random;
    return "VrHostTest" + std::to_string(random());
}

// The registration as the service manager keeps it; empty when there is none.
struct Configuration {
    std::wstring binaryPath;
    std::wstring displayName;
    std::wstring account;
    std::wstring dependencies;
    std::wstring loadOrderGroup;
    DWORD serviceType = 0;
    DWORD startType = 0;
    DWORD errorControl = 0;
    DWORD tagId = 0;
};

std::optional<Configuration> ReadConfiguration(const std::string& name) {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) throw Error("OpenSCManagerW: " + win::SystemMessage(GetLastError()));
    const SC_HANDLE service = OpenServiceW(manager, win::Widen(name).c_str(), SERVICE_QUERY_CONFIG);
    std::optional<Configuration> result;
    if (service != nullptr) {
        DWORD needed = 0;
        QueryServiceConfigW(service, nullptr, 0, &needed);
        std::vector<unsigned char> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (needed > 0 && QueryServiceConfigW(service, config, needed, &needed)) {
            const auto text = [](const wchar_t* value) { return std::wstring(value ? value : L""); };
            result = Configuration{text(config->lpBinaryPathName),
                                   text(config->lpDisplayName),
                                   text(config->lpServiceStartName),
                                   text(config->lpDependencies),
                                   text(config->lpLoadOrderGroup),
                                   config->dwServiceType,
                                   config->dwStartType,
                                   config->dwErrorControl,
                                   config->dwTagId};
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return result;
}

// Removes the test's service whatever happens in the test.
class ServiceManagerTest : public ::testing::Test {
protected:
    ~ServiceManagerTest() override {
        try {
            OpenServiceManager()->DeleteService(name);
        } catch (const Error&) {
        }
    }
    const std::string name = UniqueName();
};

TEST_F(ServiceManagerTest, RegistersAnAutomaticOwnProcessServiceUnderTheSystemAccount) {
    struct Case {
        const wchar_t* executable;
        const wchar_t* binaryPath;
    };
    const Case cases[] = {
        {L"C:\\Program Files\\Brisen\\VevoveRazara.exe",
         L"\"C:\\Program Files\\Brisen\\VevoveRazara.exe\""},
        {L"C:\\Brisen\\VevoveRazara.exe", L"C:\\Brisen\\VevoveRazara.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(win::Narrow(c.executable));
        OpenServiceManager()->CreateService({name, "Brisen Fiscal - Atualização", c.executable});
        const std::optional<Configuration> config = ReadConfiguration(name);
        ASSERT_TRUE(config.has_value());
        EXPECT_EQ(config->binaryPath, c.binaryPath);
        EXPECT_EQ(config->displayName, L"Brisen Fiscal - Atualiza\u00e7\u00e3o");
        EXPECT_EQ(config->serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(config->startType, static_cast<DWORD>(SERVICE_AUTO_START));
        EXPECT_EQ(config->errorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
        EXPECT_EQ(config->account, L"LocalSystem");
        EXPECT_EQ(config->dependencies, L"");
        EXPECT_EQ(config->loadOrderGroup, L"");
        EXPECT_EQ(config->tagId, 0u);
        OpenServiceManager()->DeleteService(name);
        EXPECT_FALSE(ReadConfiguration(name).has_value());
    }
}

// Refusals carry the system's own text for the error.
TEST_F(ServiceManagerTest, RefusalsCarryTheSystemMessage) {
    const auto message = [](auto&& operation) {
        try {
            operation();
        } catch (const Error& error) {
            return std::string(error.what());
        }
        return std::string("(no error)");
    };
    EXPECT_EQ(message([&] { OpenServiceManager()->DeleteService(name); }),
              win::SystemMessage(ERROR_SERVICE_DOES_NOT_EXIST));
    OpenServiceManager()->CreateService({name, name, "C:\\Brisen\\VevoveRazara.exe"});
    EXPECT_EQ(message([&] {
                  OpenServiceManager()->CreateService({name, name, "C:\\Outro\\VevoveRazara.exe"});
              }),
              win::SystemMessage(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(ReadConfiguration(name)->binaryPath, L"C:\\Brisen\\VevoveRazara.exe");
    // Both refusals mean the state asked for is already there, which the exit codes rely on.
    EXPECT_THROW(OpenServiceManager()->CreateService({name, name, "C:\\Brisen\\VevoveRazara.exe"}),
                 ServiceAlreadyExists);
    OpenServiceManager()->DeleteService(name);
    EXPECT_THROW(OpenServiceManager()->DeleteService(name), ServiceDoesNotExist);
}

}  // namespace
}  // namespace vr
